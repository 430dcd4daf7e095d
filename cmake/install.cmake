include(CMakePackageConfigHelpers)

install(TARGETS tamsel EXPORT tamselTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/tamsel DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT tamselTargets NAMESPACE tamsel:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/tamsel)

configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/tamselConfig.cmake.in
  ${PROJECT_BINARY_DIR}/tamselConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/tamsel)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/tamselConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/tamselConfig.cmake ${PROJECT_BINARY_DIR}/tamselConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/tamsel)

# The public headers need C++20, so Cflags carries it.
file(RELATIVE_PATH TAMSEL_PC_TO_PREFIX ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" TAMSEL_PC_TO_PREFIX "${TAMSEL_PC_TO_PREFIX}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/tamsel.pc.in ${PROJECT_BINARY_DIR}/tamsel.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/tamsel.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
