# Install layout and the Debian package made from it by CPack.
#
#   lib/winvarno/WinVarno, WinVarno.hlp   the program finds its help file beside itself
#   lib/winvarno/varno-sim                the simulated exchange
#   lib/winvarno/winvarno-report(-plot)   the charge history; beside the program, it
#                                         finds the charge log as WinVarno does
#   lib/winvarno/winvarno-diff            changes between two configurations
#   lib/winvarno/winvarnod                the session as a user service; beside the
#                                         program, it keeps the same charge log
#   bin/winvarno, bin/varno-sim, bin/winvarnod,
#   bin/winvarno-report, bin/winvarno-diff  relative links to them
#   lib/systemd/user/winvarnod.service    its user unit
#   share/dbus-1/interfaces               its D-Bus interface
#   share/applications, share/metainfo, share/icons/hicolor
#   share/man/man1                        winvarno, varno-sim, winvarno-report, winvarno-diff,
#                                         winvarnod
#   share/doc/winvarno                    README.md, copyright, changelog.gz
#   share/lintian/overrides/winvarno      the lintian tags that are deliberate
#
# The program directory is not writable for users, so the charge log goes to
# $XDG_DATA_HOME/WinVarno/ there.

set(WINVARNO_PROGRAM_DIR lib/winvarno)

install(TARGETS WinVarno varno-sim winvarno-report winvarno-report-plot winvarno-diff winvarnod
        RUNTIME DESTINATION ${WINVARNO_PROGRAM_DIR})
install(FILES ${CMAKE_SOURCE_DIR}/assets/WinVarno.hlp DESTINATION ${WINVARNO_PROGRAM_DIR})

# Links made in the build tree and installed as links, so they stay relative under
# any prefix and inside the package.
set(_links ${CMAKE_BINARY_DIR}/install-links)
file(MAKE_DIRECTORY ${_links})
file(CREATE_LINK ../${WINVARNO_PROGRAM_DIR}/WinVarno ${_links}/winvarno SYMBOLIC)
file(CREATE_LINK ../${WINVARNO_PROGRAM_DIR}/varno-sim ${_links}/varno-sim SYMBOLIC)
file(CREATE_LINK ../${WINVARNO_PROGRAM_DIR}/winvarno-report ${_links}/winvarno-report SYMBOLIC)
file(CREATE_LINK ../${WINVARNO_PROGRAM_DIR}/winvarno-diff ${_links}/winvarno-diff SYMBOLIC)
file(CREATE_LINK ../${WINVARNO_PROGRAM_DIR}/winvarnod ${_links}/winvarnod SYMBOLIC)
install(FILES ${_links}/winvarno ${_links}/varno-sim ${_links}/winvarno-report
              ${_links}/winvarno-diff ${_links}/winvarnod DESTINATION bin)

# The user unit goes where systemd looks for a package's units, whatever the prefix.
install(FILES ${CMAKE_SOURCE_DIR}/packaging/winvarnod.service DESTINATION lib/systemd/user)
install(FILES ${CMAKE_SOURCE_DIR}/src/service/de.winvarno.WinVarno.Sitzung1.xml
        DESTINATION share/dbus-1/interfaces)

install(FILES ${CMAKE_SOURCE_DIR}/assets/${WINVARNO_APP_ID}.desktop
        DESTINATION share/applications)
install(FILES ${CMAKE_SOURCE_DIR}/assets/${WINVARNO_APP_ID}.metainfo.xml
        DESTINATION share/metainfo)
install(DIRECTORY ${WINVARNO_ICON_DIR}/ DESTINATION share/icons/hicolor)
install(FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/packaging/copyright
        DESTINATION share/doc/winvarno)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/lintian-overrides DESTINATION share/lintian/overrides
        RENAME winvarno)

# The package's version is the project's; a changelog without an entry for it would
# describe another package.
file(STRINGS ${CMAKE_SOURCE_DIR}/packaging/changelog _changelog_head LIMIT_COUNT 1)
string(REGEX MATCH "^winvarno \\(([^)]+)\\)" _ "${_changelog_head}")
if(NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "packaging/changelog: newest entry is '${CMAKE_MATCH_1}', "
                      "the project is ${PROJECT_VERSION}")
endif()

# Compressed as Debian installs them: best ratio, no name or time stamp in the header,
# so the same sources give the same package.
find_program(WINVARNO_GZIP gzip REQUIRED)
set(_gz_dir ${CMAKE_BINARY_DIR}/packaging)
set(_gz_files)
foreach(_source packaging/changelog assets/man/winvarno.1 assets/man/varno-sim.1
        assets/man/winvarno-report.1 assets/man/winvarno-diff.1 assets/man/winvarnod.1)
  get_filename_component(_name ${_source} NAME)
  add_custom_command(
    OUTPUT ${_gz_dir}/${_name}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${_gz_dir}
    COMMAND ${WINVARNO_GZIP} -9n < ${CMAKE_SOURCE_DIR}/${_source} > ${_gz_dir}/${_name}.gz
    DEPENDS ${CMAKE_SOURCE_DIR}/${_source}
    VERBATIM)
  list(APPEND _gz_files ${_gz_dir}/${_name}.gz)
endforeach()
add_custom_target(winvarno-package-docs ALL DEPENDS ${_gz_files})
install(FILES ${_gz_dir}/changelog.gz DESTINATION share/doc/winvarno)
install(FILES ${_gz_dir}/winvarno.1.gz ${_gz_dir}/varno-sim.1.gz ${_gz_dir}/winvarno-report.1.gz
              ${_gz_dir}/winvarno-diff.1.gz ${_gz_dir}/winvarnod.1.gz DESTINATION share/man/man1)

# A stripped install (CPack's, or cmake --install --strip) also drops what dh_strip
# drops: the compiler's version strings and the notes that no loader reads.
foreach(_target WinVarno varno-sim winvarno-report winvarno-report-plot winvarno-diff winvarnod)
  install(CODE "
    if(CMAKE_INSTALL_DO_STRIP)
      execute_process(
        COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment --remove-section=.note
                \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${WINVARNO_PROGRAM_DIR}/$<TARGET_FILE_NAME:${_target}>\"
        COMMAND_ERROR_IS_FATAL ANY)
    endif()")
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME winvarno)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "WinVarno maintainers <winvarno@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "configures and monitors the Varno KM20/KM50 ISDN exchange")
# Debian wants the extended description's lines within 80 columns.
set(CPACK_PACKAGE_DESCRIPTION
    "WinVarno reads the configuration of a Varno KM20/KM50 ISDN telephone exchange
over a serial port, shows it on German pages, lets you edit and write it back,
prices the charge units, keeps a charge log and publishes units and costs on
D-Bus. The package includes varno-sim, a simulated exchange on a
pseudo-terminal, winvarno-report, the charge history on the command line,
winvarno-diff, the changes between two configurations in plain German, and
winvarnod, a systemd user service that reads, logs and switches the exchange
while nobody is logged in.")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION comm)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://winvarno.example.org/")
# dpkg-shlibdeps finds the linked libraries; the platform plugin and the fallback font
# are loaded at run time, so it cannot see them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# winvarnod serves and finds its session on the user's bus.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "qt6-qpa-plugins, qt6-translations-l10n, fonts-liberation, dbus-user-session | default-dbus-session-bus")
# Where a desktop has Wayland alone, the program runs natively through Qt's Wayland plugin;
# man shows the manual pages, and a minimal system has no man.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland, man-db")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "cups")
include(CPack)
