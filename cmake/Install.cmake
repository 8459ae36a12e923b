# Install layout and the Debian package.
#
#   <prefix>/bin/markwell, markwell-cli
#   <prefix>/share/applications/markwell.desktop
#   <prefix>/share/icons/hicolor/{16x16 .. 256x256}/apps/markwell.png, scalable/apps/markwell.svg
#   <prefix>/share/man/man1/markwell.1.gz, markwell-cli.1.gz
#
# The optional skin and cursor files are not shipped; an administrator may put them into
# <prefix>/share/markwell/, where the program looks after its own folder.
#
# `cmake --install BUILD --prefix /usr` lays it out; `cpack -G DEB` in the build tree makes the
# package markwell_<version>_<arch>.deb with /usr as its prefix.

include(GNUInstallDirs)
include(Icons)

set(MARKWELL_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)

foreach(program markwell markwell-cli)
    if(TARGET ${program})
        install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    endif()
endforeach()

install(FILES ${MARKWELL_PACKAGING_DIR}/markwell.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

foreach(size IN LISTS MARKWELL_ICON_SIZES)
    install(FILES ${MARKWELL_ICON_DIR}/markwell-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME markwell.png)
endforeach()
install(FILES ${MARKWELL_ICON_SVG} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# Manual pages, compressed as Debian expects them when gzip is there.
find_program(MARKWELL_GZIP gzip)
set(man_pages)
foreach(page markwell.1 markwell-cli.1)
    if(MARKWELL_GZIP)
        set(out ${PROJECT_BINARY_DIR}/man/${page}.gz)
        add_custom_command(
            OUTPUT ${out}
            COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
            COMMAND ${MARKWELL_GZIP} -9 -n -c ${MARKWELL_PACKAGING_DIR}/${page} > ${out}
            DEPENDS ${MARKWELL_PACKAGING_DIR}/${page}
            COMMENT "Compressing the manual page ${page}")
        list(APPEND man_pages ${out})
    else()
        list(APPEND man_pages ${MARKWELL_PACKAGING_DIR}/${page})
    endif()
endforeach()
add_custom_target(markwell-manpages ALL DEPENDS ${man_pages})
install(FILES ${man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The Debian package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME markwell)
set(CPACK_PACKAGE_VENDOR "Markwell Software")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "gradebook workbooks for teachers")
set(CPACK_PACKAGE_DESCRIPTION
    "Markwell Software turns a class setup (school, teacher, class, the tests with their possible\n"
    "points and the students with their IDs and points) into a ready-to-use gradebook workbook\n"
    "(.xls) whose formulas compute averages, letter grades and grade points. It carries its own\n"
    "spreadsheet engine. markwell-cli runs the same job from a shell.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_NAME markwell)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Markwell Software")
set(CPACK_DEBIAN_PACKAGE_SECTION education)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The fonts stand in for the ones the gradebook and the windows are designed with.
set(markwell_fonts "fonts-liberation2, fonts-urw-base35")
find_program(MARKWELL_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(MARKWELL_DPKG_SHLIBDEPS)
    # The libraries actually linked (the Qt 6 runtime, libxlsxwriter, the C++ runtime) with their versions.
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "${markwell_fonts}")
else()
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6widgets6, libqt6gui6, libqt6core6, libxlsxwriter4, ${markwell_fonts}")
endif()
include(CPack)
