# The Debian package: `make package` (the package preset) builds
# out/package/tilvane_<version>_<arch>.deb with CPack, its dependencies found
# by dpkg-shlibdeps from what the installed programs link.

# The changelog, compressed as Debian keeps it beside the copyright file.
set(changelog_gz ${PROJECT_BINARY_DIR}/changelog.gz)
add_custom_command(
  OUTPUT ${changelog_gz}
  COMMAND gzip -9n -c ${CMAKE_CURRENT_LIST_DIR}/changelog > ${changelog_gz}
  DEPENDS ${CMAKE_CURRENT_LIST_DIR}/changelog
  COMMENT "Compressing the changelog")
add_custom_target(tilvane_changelog ALL DEPENDS ${changelog_gz})
install(FILES ${changelog_gz} DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/tilvane)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tilvane)
set(CPACK_PACKAGE_VENDOR "The Tilvane developers")
set(CPACK_PACKAGE_CONTACT "The Tilvane developers <tilvane@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "texture atlas packer (desktop dialog and command line)")
# One string: a CMake list would join its parts with ";". Lines under 80
# characters, as Debian wants them.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "Tilvane packs a folder of images into one atlas image (a sprite sheet) and\n"
  "writes a text file, plain text, JSON, XML or CSS, that says where every image\n"
  "now lies. It trims transparent margins, keeps a border and spacing, aligns to\n"
  "a pixel grid and can write a mask image beside the atlas.\n"
  "\n"
  "This package holds the Qt desktop dialog tilvane and tilvane-pack, the same\n"
  "work without a window, for scripts and build pipelines.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Beside the libraries found: the launcher that Help!, F1, Op and the result
# dialogs' folder buttons ask to open a file or folder (xdg-open).
set(CPACK_DEBIAN_PACKAGE_DEPENDS "xdg-utils")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
# Folders as Debian wants them, whatever the umask of the one who packs.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
