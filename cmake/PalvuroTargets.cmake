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
