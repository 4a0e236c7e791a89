# Installation and the Debian package: the executables, the desktop entry, the icon and the
# sample designs.
include(GNUInstallDirs)

set(_hoopwatch_programs hoopwatch-cli hoopwatch-render z62-sim)
if(TARGET hoopwatch)
    list(PREPEND _hoopwatch_programs hoopwatch)
endif()
foreach(_program IN LISTS _hoopwatch_programs)
    if(TARGET ${_program})
        install(TARGETS ${_program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    endif()
endforeach()

if(TARGET hoopwatch)
    install(FILES ${CMAKE_SOURCE_DIR}/packaging/hoopwatch.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${CMAKE_SOURCE_DIR}/ui/resources/hoopwatch.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
    # The design types, so file managers offer "Open with Hoopwatch" for them. Debian's
    # triggers refresh the databases for a package; a plain install refreshes them itself.
    install(FILES ${CMAKE_SOURCE_DIR}/packaging/hoopwatch-designs.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME hoopwatch.xml)
    install(CODE [[
        if("$ENV{DESTDIR}" STREQUAL "" AND NOT CMAKE_INSTALL_PREFIX MATCHES "_CPack_Packages")
            find_program(_update_mime update-mime-database)
            find_program(_update_desktop update-desktop-database)
            if(_update_mime)
                execute_process(COMMAND ${_update_mime} "${CMAKE_INSTALL_PREFIX}/share/mime"
                    OUTPUT_QUIET ERROR_QUIET)
            endif()
            if(_update_desktop)
                execute_process(COMMAND ${_update_desktop} "${CMAKE_INSTALL_PREFIX}/share/applications"
                    OUTPUT_QUIET ERROR_QUIET)
            endif()
        endif()
    ]])
endif()
install(FILES
    ${CMAKE_SOURCE_DIR}/samples/flower.dst
    ${CMAKE_SOURCE_DIR}/samples/star.dst
    ${CMAKE_SOURCE_DIR}/samples/rings.dst
    ${CMAKE_SOURCE_DIR}/samples/rings.dsb
    ${CMAKE_SOURCE_DIR}/samples/star.tbf
    DESTINATION ${CMAKE_INSTALL_DATADIR}/hoopwatch/samples)

set(CPACK_PACKAGE_NAME "hoopwatch")
set(CPACK_PACKAGE_VENDOR "Hoopwatch developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Runs networked Z62 embroidery machines: designs, transfer, commands, status")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_INSTALL_DIRECTORY "hoopwatch")
set(CPACK_GENERATOR "DEB")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Hoopwatch developers <hoopwatch@localhost>")
set(CPACK_DEBIAN_PACKAGE_SECTION "graphics")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libqt6widgets6 (>= 6.4), libqt6gui6 (>= 6.4), libqt6core6 (>= 6.4), qt6-qpa-plugins, libssl3, fonts-wqy-microhei")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Runs a group of networked Z62 embroidery machines from one PC.\nReads DST, DSB, TBF and DSR designs, finds the machines on the local subnet,\nsends designs and commands, and shows the sewing progress. Chinese and English.")
include(CPack)
