# What an installation holds and where, and the Debian package made from it
# (`make deb`). Installed, the program finds its templates in
# <prefix>/share/qxebook/template and keeps each user's settings and
# parameter table in the user's XDG folders.
include(GNUInstallDirs)

set(QX_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)
set(QX_PACKAGING_OUT ${PROJECT_BINARY_DIR}/packaging)
# The date of this version, for the manual page and the changelog.
set(QX_RELEASE_DATE "2026-12-09")

install(TARGETS qxebook RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/data/template DESTINATION ${CMAKE_INSTALL_DATADIR}/qxebook)
install(FILES ${QX_PACKAGING_DIR}/qxebook.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${QX_PACKAGING_DIR}/qxebook.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# The manual page and the changelog carry the project's version; Debian
# wants both compressed with gzip -9n (no time stamp in the file).
string(TIMESTAMP QX_MANUAL_DATE "${QX_RELEASE_DATE}")
execute_process(COMMAND date -u -d "${QX_RELEASE_DATE}" "+%a, %d %b %Y 00:00:00 +0000"
                OUTPUT_VARIABLE QX_CHANGELOG_DATE OUTPUT_STRIP_TRAILING_WHITESPACE)
set(QX_MANUAL_DATE "${QX_RELEASE_DATE}")
configure_file(${QX_PACKAGING_DIR}/qxebook.1.in ${QX_PACKAGING_OUT}/qxebook.1 @ONLY)
configure_file(${QX_PACKAGING_DIR}/changelog.in ${QX_PACKAGING_OUT}/changelog @ONLY)
find_program(GZIP_PROGRAM gzip REQUIRED)
add_custom_command(OUTPUT ${QX_PACKAGING_OUT}/qxebook.1.gz ${QX_PACKAGING_OUT}/changelog.gz
    COMMAND ${GZIP_PROGRAM} -9n -c ${QX_PACKAGING_OUT}/qxebook.1 > ${QX_PACKAGING_OUT}/qxebook.1.gz
    COMMAND ${GZIP_PROGRAM} -9n -c ${QX_PACKAGING_OUT}/changelog > ${QX_PACKAGING_OUT}/changelog.gz
    DEPENDS ${QX_PACKAGING_OUT}/qxebook.1 ${QX_PACKAGING_OUT}/changelog
    COMMENT "Compressing the manual page and the changelog")
add_custom_target(qx_packaging_files ALL DEPENDS ${QX_PACKAGING_OUT}/qxebook.1.gz ${QX_PACKAGING_OUT}/changelog.gz)
install(FILES ${QX_PACKAGING_OUT}/qxebook.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${QX_PACKAGING_DIR}/copyright ${QX_PACKAGING_OUT}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/qxebook)

# The Debian package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME qxebook)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "QX e-book maker developers <maintainers@users.noreply.c-seed-c687d0a7.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "turn Chinese TXT novels into HTML, EPUB and CHM e-books")
# CPack puts the summary line first and indents every line of this text.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "QX e-book maker reads a novel kept as one plain text file, in UTF-8,
GBK/GB18030, BIG5 or UTF-16, proposes title and author from the file name,
converts traditional characters to simplified where asked, finds the
volumes and chapters by their headings or by the layout of blank lines,
shows them in a tree to tidy, and writes an HTML e-book directory, an
EPUB 3 file, a CHM file or a packer project.

It is a desktop program with four workflow pages and a command-line
program for converting many books at once.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION text)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "fp-utils")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_OUTPUT_FILE_PREFIX ${PROJECT_BINARY_DIR})
include(CPack)
