# The Debian package: `cpack` in the build folder (scripts/package) makes vigix_<version>_amd64.deb from the
# install rules. Everything is installed under /usr; the user's tests and settings live in the home folder and
# are never part of the package.
include(GNUInstallDirs)

# What the program reads beside itself, found through ../share/vigix/ from the installed program.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/resources/help DESTINATION ${CMAKE_INSTALL_DATADIR}/vigix)
install(FILES ${PROJECT_SOURCE_DIR}/resources/sample/1001.txt DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)

# Debian wants the copyright beside the documentation, and the changelog of a package without a Debian
# revision compressed without a time stamp.
install(FILES ${PROJECT_SOURCE_DIR}/packaging/debian/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
# Its version is the project's.
configure_file(${PROJECT_SOURCE_DIR}/packaging/debian/changelog.in ${CMAKE_CURRENT_BINARY_DIR}/changelog @ONLY)
set(changelog ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz)
add_custom_command(OUTPUT ${changelog}
    COMMAND gzip -9n -c ${CMAKE_CURRENT_BINARY_DIR}/changelog > ${changelog}
    DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/changelog
    VERBATIM)
add_custom_target(debian_changelog ALL DEPENDS ${changelog})
install(FILES ${changelog} DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vigix)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "VIGIX maintainers")
set(CPACK_PACKAGE_CONTACT "VIGIX maintainers <maintainers@users.noreply.c-seed-57c43e89.example>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "attention test for children with distractors (continuous performance test)")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "VIGIX measures a child's attention with a continuous-performance test with\n"
    "distractors: a red circle (press) or cross (do not press) flashes in the\n"
    "centre of a black screen, sometimes with a tone or a triangle as a\n"
    "distractor. Every press is stored with its reaction time in milliseconds;\n"
    "the program scores each test and shows a list of tests, cards, a results\n"
    "table, three charts and a printed A4 report. The user interface is Japanese.\n"
    "vigix-score scores stored tests from the command line.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded at run time, so not seen by dpkg-shlibdeps: the Japanese gothic the windows are laid out for, Qt's
# Japanese texts, and the SVG plugins that draw every icon. The xcb platform plugin comes with libqt6gui6, which
# dpkg-shlibdeps finds.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-noto-cjk, qt6-translations-l10n, libqt6svg6")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
