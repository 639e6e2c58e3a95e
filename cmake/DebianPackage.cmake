# `cmake --build build --target package` makes build/tq905-panel_<version>_<arch>.deb.
# dpkg-shlibdeps finds the shared libraries; what it cannot see is added here: the
# platform plugin Qt loads at run time and the fonts the panel asks for by name.
set(TQ905_FONT_PACKAGES fonts-liberation fonts-symbola)
list(JOIN TQ905_FONT_PACKAGES ", " tq905_font_depends)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tq905-panel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, ${tq905_font_depends}")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_PACKAGE_CONTACT "TQ905 panel maintainers <maintainers@users.noreply.c-seed-13d95719.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "test panel for the TQ905 microcontroller board")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "One window for exercising a TQ905 board over a serial port at 9600 baud: switch\n"
    "and write the bits of port B and its direction, sound the buzzer, set the two\n"
    "PWM outputs, and read the input ports and the four analog channels. Every\n"
    "action is one short ASCII frame, shown in the window as it is sent or received.\n"
    "\n"
    "The package also holds tq905, the same commands from a shell for test rigs\n"
    "and scripts; tq905-demo, the panel together with a virtual board on a\n"
    "pseudo-terminal for trying it without hardware; and tq905-board, the virtual\n"
    "board alone, as the far end for scripts.")
set(CPACK_STRIP_FILES ON)
set(CPACK_SOURCE_GENERATOR "")
include(CPack)
