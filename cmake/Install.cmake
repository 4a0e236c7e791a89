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

if(TARGET hoopwatch AND WIN32 AND NOT CMAKE_CROSSCOMPILING)
    # Built on Windows: the Qt libraries, plugins and translations the application needs, and
    # the compiler's runtime libraries, copied beside it (hoopwatch-cli.exe and z62-sim.exe use
    # them too). A cross build lays its folder out in scripts/build-windows.
    get_target_property(_hoopwatch_qmake Qt6::qmake IMPORTED_LOCATION)
    get_filename_component(_hoopwatch_qt_bin "${_hoopwatch_qmake}" DIRECTORY)
    find_program(HOOPWATCH_WINDEPLOYQT windeployqt HINTS "${_hoopwatch_qt_bin}")
    if(NOT HOOPWATCH_WINDEPLOYQT)
        message(FATAL_ERROR "windeployqt not found beside ${_hoopwatch_qmake}")
    endif()
    install(CODE "
        execute_process(
            COMMAND \"${HOOPWATCH_WINDEPLOYQT}\" --release --compiler-runtime
                \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/hoopwatch.exe\"
            RESULT_VARIABLE _result)
        if(NOT _result EQUAL 0)
            message(FATAL_ERROR \"windeployqt failed: \${_result}\")
        endif()")
endif()
if(TARGET hoopwatch AND NOT WIN32)
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
# Installed programs carry no symbols: the package holds what runs, not what debugs.
set(CPACK_STRIP_FILES TRUE)
if(WIN32)
    # An NSIS installer: Start-menu entry, uninstaller, and an inbound firewall rule for the
    # machines' answers on UDP port 8040 (removed again by the uninstaller).
    set(CPACK_GENERATOR "NSIS")
    set(CPACK_NSIS_PACKAGE_NAME "Hoopwatch")
    set(CPACK_NSIS_DISPLAY_NAME "Hoopwatch")
    set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
    set(CPACK_NSIS_MODIFY_PATH OFF)
    set(CPACK_PACKAGE_EXECUTABLES "hoopwatch" "Hoopwatch")
    set(CPACK_NSIS_EXTRA_INSTALL_COMMANDS [=[
    nsExec::ExecToLog 'netsh advfirewall firewall delete rule name="Hoopwatch UDP 8040"'
    nsExec::ExecToLog 'netsh advfirewall firewall add rule name="Hoopwatch UDP 8040" dir=in action=allow protocol=UDP localport=8040 program="$INSTDIRin\hoopwatch.exe"'
]=])
    set(CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS [=[
    nsExec::ExecToLog 'netsh advfirewall firewall delete rule name="Hoopwatch UDP 8040"'
]=])
else()
    set(CPACK_GENERATOR "DEB")
endif()
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Hoopwatch developers <hoopwatch@localhost>")
set(CPACK_DEBIAN_PACKAGE_SECTION "graphics")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libqt6widgets6 (>= 6.4), libqt6gui6 (>= 6.4), libqt6core6 (>= 6.4), qt6-qpa-plugins, libssl3, fonts-wqy-microhei, libcpp-httplib0.11, libmosquitto1, libsqlite3-0, zlib1g")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Runs a group of networked Z62 embroidery machines from one PC.\nReads DST, DSB, TBF and DSR designs, finds the machines on the local subnet,\nsends designs and commands, and shows the sewing progress. Chinese and English.")
include(CPack)
