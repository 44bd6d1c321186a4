include(GNUInstallDirs)

find_program(PALVURO_RSVG_CONVERT rsvg-convert)
if(NOT PALVURO_RSVG_CONVERT)
    message(FATAL_ERROR "rsvg-convert (Debian package librsvg2-bin) draws the programs' icons: make deps")
endif()

# palvuro_icon(NAME SVG PNGS_VAR): the hicolor theme's pictures of one icon, drawn from its SVG at
# the sizes desktops ask for, installed with the SVG; the PNG paths go to PNGS_VAR for programs
# that show the icon themselves.
function(palvuro_icon name svg pngs_var)
    set(pngs)
    foreach(size 16 22 24 32 48 64 128 256)
        set(folder ${CMAKE_BINARY_DIR}/icons/${size}x${size}/apps)
        set(png ${folder}/${name}.png)
        add_custom_command(OUTPUT ${png}
            COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
            COMMAND ${PALVURO_RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${svg}
            DEPENDS ${svg} VERBATIM)
        install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
        list(APPEND pngs ${png})
    endforeach()
    add_custom_target(${name}_icons ALL DEPENDS ${pngs})
    install(FILES ${svg} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
    set(${pngs_var} ${pngs} PARENT_SCOPE)
endfunction()

# palvuro_gzip(SOURCE DESTINATION): installs SOURCE compressed as Debian wants it, with no time
# stamp or name inside so that two builds give the same bytes.
function(palvuro_gzip source destination)
    get_filename_component(name ${source} NAME)
    set(out ${CMAKE_CURRENT_BINARY_DIR}/${name}.gz)
    add_custom_command(OUTPUT ${out}
        COMMAND gzip -9 -n -c ${source} > ${out}
        DEPENDS ${source})
    add_custom_target(gzip_${name} ALL DEPENDS ${out})
    install(FILES ${out} DESTINATION ${destination})
endfunction()
