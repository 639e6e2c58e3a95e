# `cmake --build build-windows --target package` makes the portable zip and the
# NSIS installer: the panel and tq905 with the Qt and MinGW runtime DLLs they
# need, the windows platform plugin and the Windows style, so nothing else need
# be installed. tq905 is a console program: no Start-menu entry.

# The panel's icon, made from the SVG at build time (ImageMagick), in the
# executable's resources, so Explorer, the taskbar and the Start menu show it.
# (On a Windows host only as `magick`: its convert.exe converts file systems.)
if(CMAKE_HOST_WIN32)
    find_program(TQ905_MAGICK magick REQUIRED)
else()
    find_program(TQ905_MAGICK convert REQUIRED)
endif()
set(tq905_icon ${CMAKE_CURRENT_BINARY_DIR}/tq905-panel.ico)
add_custom_command(OUTPUT ${tq905_icon}
    COMMAND ${TQ905_MAGICK} -background none ${PROJECT_SOURCE_DIR}/data/tq905-panel.svg
            -define icon:auto-resize=256,48,32,16 ${tq905_icon}
    DEPENDS ${PROJECT_SOURCE_DIR}/data/tq905-panel.svg VERBATIM)
# A target of its own: the panel is defined in another folder, which sees no
# custom command of this one.
add_custom_target(tq905_panel_icon DEPENDS ${tq905_icon})
add_dependencies(tq905-panel tq905_panel_icon)
# Named IDI_ICON1: Qt's platform plugin gives the window that icon, for its
# title bar, Alt+Tab and the taskbar; Explorer takes the first icon of any name.
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/tq905-panel.rc "IDI_ICON1 ICON \"${tq905_icon}\"\n")
set_source_files_properties(${CMAKE_CURRENT_BINARY_DIR}/tq905-panel.rc
                            TARGET_DIRECTORY tq905-panel PROPERTIES OBJECT_DEPENDS ${tq905_icon})
target_sources(tq905-panel PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/tq905-panel.rc)

# Everything in one folder: Windows finds DLLs beside the program, Qt its plugins
# in the folders below it.
install(TARGETS tq905-panel tq905 RUNTIME DESTINATION .)
set(tq905_runtime_dlls)
foreach(library Core Gui Widgets Network SerialPort)
    list(APPEND tq905_runtime_dlls $<TARGET_FILE:Qt6::${library}>)
endforeach()
# The MinGW runtime where the compiler tells where it is (Debian's does; MSYS2's
# keeps it on PATH, where windeployqt finds it).
foreach(library libgcc_s_seh-1.dll libstdc++-6.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${library}
                    OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(IS_ABSOLUTE "${path}")
        list(APPEND tq905_runtime_dlls ${path})
    endif()
endforeach()
install(FILES ${tq905_runtime_dlls} DESTINATION .)
install(FILES $<TARGET_FILE:Qt6::QWindowsIntegrationPlugin> DESTINATION platforms)
install(FILES $<TARGET_FILE:Qt6::QWindowsVistaStylePlugin> DESTINATION styles)
# The DLLs come with their symbols (libstdc++ alone is 23 MB); stripped as the
# program is where stripping is asked for (CPack does).
install(CODE "
    if(CMAKE_INSTALL_DO_STRIP)
        file(GLOB_RECURSE dlls \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/*.dll\")
        execute_process(COMMAND ${CMAKE_STRIP} --strip-unneeded \${dlls})
    endif()")

set(CPACK_GENERATOR ZIP NSIS)
set(CPACK_PACKAGE_NAME tq905-panel)
set(CPACK_PACKAGE_VENDOR "TQ905 panel maintainers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME tq905-panel-${PROJECT_VERSION}-win64)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Test panel for the TQ905 microcontroller board")
set(CPACK_PACKAGE_INSTALL_DIRECTORY "TQ905 Panel")
set(CPACK_PACKAGE_EXECUTABLES tq905-panel "TQ905 Test Panel")
set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_DISPLAY_NAME "TQ905 Test Panel")
set(CPACK_NSIS_PACKAGE_NAME "TQ905 Test Panel")
set(CPACK_NSIS_MUI_ICON ${tq905_icon})
set(CPACK_NSIS_MUI_UNIICON ${tq905_icon})
set(CPACK_NSIS_INSTALLED_ICON_NAME tq905-panel.exe)
# A 64-bit installer, like the program: one that needs no 32-bit Windows (WOW64).
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY "TQ905 Panel")
set(CPACK_NSIS_DEFINES "Target amd64-unicode
!define TQ905_REGISTRY_KEY '${CPACK_PACKAGE_INSTALL_REGISTRY_KEY}'
!include '${PROJECT_SOURCE_DIR}/cmake/ClosedPrograms.nsh'")
# Before any file is touched, neither program may run. An upgrade uninstalls
# the installed version then, rather than as CPack's own step does: that one
# runs before anything can be checked, and asks with a box even when silent
# once the uninstaller has refused.
set(CPACK_NSIS_EXTRA_PREINSTALL_COMMANDS
    "!insertmacro TQ905_WAIT_UNTIL_CLOSED\n  !insertmacro TQ905_REMOVE_INSTALLED_VERSION")
set(CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS "!insertmacro TQ905_WAIT_UNTIL_CLOSED")
set(CPACK_STRIP_FILES ON)
set(CPACK_SOURCE_GENERATOR "")
include(CPack)
