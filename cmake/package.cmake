# cpack -G DEB: one package with the library, headers, tool, SQLite extension, man page and
# completion. Dependencies come from dpkg-shlibdeps, so they follow what was linked.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tamsel)
set(CPACK_PACKAGE_VENDOR "Tamsel developers")
set(CPACK_PACKAGE_CONTACT "Tamsel developers <tamsel@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Supplier price rules for an ERP purchasing module")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "Keeps supplier price rules (tiers, currencies, validity) and answers price look-ups and "
  "comparisons. Contains the C++ library libtamsel with its headers, CMake and pkg-config "
  "files, the tamsel command-line tool with its zh-CN and zh-TW translations, and a loadable "
  "SQLite extension with the collation and conversion functions the suite schema needs.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The package carries libtamsel itself; dpkg-shlibdeps must look for it there.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "libsqliteodbc, unixodbc")
include(CPack)
