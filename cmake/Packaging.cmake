# Install layout and the Debian package made from it by CPack.
#
#   lib/winvarno/WinVarno, WinVarno.hlp   the program finds its help file beside itself
#   lib/winvarno/varno-sim                the simulated exchange
#   lib/winvarno/winvarno-report(-plot)   the charge history; beside the program, it
#                                         finds the charge log as WinVarno does
#   bin/winvarno, bin/varno-sim,
#   bin/winvarno-report                   relative links to them
#   share/applications, share/metainfo, share/icons/hicolor
#
# The program directory is not writable for users, so the charge log goes to
# $XDG_DATA_HOME/WinVarno/ there.

set(WINVARNO_PROGRAM_DIR lib/winvarno)

install(TARGETS WinVarno varno-sim winvarno-report winvarno-report-plot
        RUNTIME DESTINATION ${WINVARNO_PROGRAM_DIR})
install(FILES ${CMAKE_SOURCE_DIR}/assets/WinVarno.hlp DESTINATION ${WINVARNO_PROGRAM_DIR})

# Links made in the build tree and installed as links, so they stay relative under
# any prefix and inside the package.
set(_links ${CMAKE_BINARY_DIR}/install-links)
file(MAKE_DIRECTORY ${_links})
file(CREATE_LINK ../${WINVARNO_PROGRAM_DIR}/WinVarno ${_links}/winvarno SYMBOLIC)
file(CREATE_LINK ../${WINVARNO_PROGRAM_DIR}/varno-sim ${_links}/varno-sim SYMBOLIC)
file(CREATE_LINK ../${WINVARNO_PROGRAM_DIR}/winvarno-report ${_links}/winvarno-report SYMBOLIC)
install(FILES ${_links}/winvarno ${_links}/varno-sim ${_links}/winvarno-report DESTINATION bin)

install(FILES ${CMAKE_SOURCE_DIR}/assets/${WINVARNO_APP_ID}.desktop
        DESTINATION share/applications)
install(FILES ${CMAKE_SOURCE_DIR}/assets/${WINVARNO_APP_ID}.metainfo.xml
        DESTINATION share/metainfo)
install(DIRECTORY ${WINVARNO_ICON_DIR}/ DESTINATION share/icons/hicolor)
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION share/doc/winvarno)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME winvarno)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "WinVarno maintainers <winvarno@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "configures and monitors the Varno KM20/KM50 ISDN exchange")
set(CPACK_PACKAGE_DESCRIPTION
    "WinVarno reads the configuration of a Varno KM20/KM50 ISDN telephone exchange over a
serial port, shows it on German pages, lets you edit and write it back, prices the
charge units, keeps a charge log and publishes units and costs on D-Bus. The package
includes varno-sim, a simulated exchange on a pseudo-terminal.")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION comm)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://winvarno.example.org/")
# dpkg-shlibdeps finds the linked libraries; the platform plugin and the fallback font
# are loaded at run time, so it cannot see them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, qt6-translations-l10n, fonts-liberation")
# Where a desktop has Wayland alone, the program runs natively through Qt's Wayland plugin.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "cups")
include(CPack)
