# One INTERFACE target carries the warning and sanitizer flags for every target.
add_library(palvuro_warnings INTERFACE)
target_compile_options(palvuro_warnings INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Werror
    # QtTest's QSKIP("...") passes no variadic arguments, which clang's pedantic mode flags.
    $<$<CXX_COMPILER_ID:Clang>:-Wno-gnu-zero-variadic-macro-arguments>)
target_compile_definitions(palvuro_warnings INTERFACE
    QT_NO_KEYWORDS
    PALVURO_VERSION="${PROJECT_VERSION}")
if(PALVURO_SANITIZE)
    target_compile_options(palvuro_warnings INTERFACE
        -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_link_options(palvuro_warnings INTERFACE -fsanitize=address,undefined)
endif()

# Product code builds stricter than the tests and benchmarks: no implicit conversion between
# char* and QString (every literal says its encoding), QStringBuilder for concatenation, and
# no C-style casts or casts that drop const.
add_library(palvuro_strict INTERFACE)
target_compile_definitions(palvuro_strict INTERFACE
    QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII QT_USE_QSTRINGBUILDER)
target_compile_options(palvuro_strict INTERFACE -Wold-style-cast -Woverloaded-virtual -Wcast-qual)

# palvuro_layer(NAME DEPS...): a static library of every .cpp/.h in the current
# folder except main.cpp, named palvuro_NAME, built with the product code's strict flags.
function(palvuro_layer name)
    file(GLOB srcs CONFIGURE_DEPENDS
        ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
    list(FILTER srcs EXCLUDE REGEX "/main\\.cpp$")
    add_library(palvuro_${name} STATIC ${srcs})
    target_include_directories(palvuro_${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(palvuro_${name} PUBLIC palvuro_warnings ${ARGN} PRIVATE palvuro_strict)
    set_target_properties(palvuro_${name} PROPERTIES LINKER_LANGUAGE CXX)
endfunction()

# Every library a target links, directly or through others (generator expressions aside).
function(palvuro_link_closure target out_var)
    set(pending ${target})
    set(seen)
    # A list is no loop condition here: one whose last entry ends in "-NOTFOUND" reads as false.
    list(LENGTH pending left)
    while(left GREATER 0)
        list(POP_FRONT pending current)
        list(LENGTH pending left)
        if(current IN_LIST seen OR NOT TARGET ${current})
            continue()
        endif()
        list(APPEND seen ${current})
        get_target_property(imported ${current} IMPORTED)
        set(properties INTERFACE_LINK_LIBRARIES)
        if(NOT imported)
            list(APPEND properties LINK_LIBRARIES)
        endif()
        foreach(property ${properties})
            get_target_property(libs ${current} ${property})
            if(NOT libs)
                continue()
            endif()
            foreach(lib ${libs})
                string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" lib "${lib}")
                if(NOT lib MATCHES "^\\$<")
                    list(APPEND pending ${lib})
                endif()
            endforeach()
        endforeach()
        list(LENGTH pending left)
    endwhile()
    set(${out_var} ${seen} PARENT_SCOPE)
endfunction()

# palvuro_forbid_links(TARGET... FORBIDDEN lib...): configuring fails when one of the targets
# reaches one of the forbidden libraries, so a layer cannot pick up a dependency by accident.
function(palvuro_forbid_links)
    cmake_parse_arguments(arg "" "" "FORBIDDEN" ${ARGN})
    foreach(target ${arg_UNPARSED_ARGUMENTS})
        palvuro_link_closure(${target} closure)
        foreach(forbidden ${arg_FORBIDDEN})
            if(forbidden IN_LIST closure)
                message(FATAL_ERROR "${target} links ${forbidden}; it must not (see CONTRIBUTING.md)")
            endif()
        endforeach()
    endforeach()
endfunction()
