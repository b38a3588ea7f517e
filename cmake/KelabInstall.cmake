# Installs the library, the host libraries, their headers and the tool, with
# a CMake package that a host project finds with find_package(kelabexperiment).
install(TARGETS kelcore kelappsupport kelscripting kelabexperiment kelab
  EXPORT kelabexperimentTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
foreach(dir hostlibs/kelcore hostlibs/kelappsupport hostlibs/kelscripting kelabexperiment)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/${dir}/include/ ${PROJECT_BINARY_DIR}/${dir}/include/
    DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
endforeach()
install(EXPORT kelabexperimentTargets NAMESPACE kelab::
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/kelabexperiment)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/kelabexperimentConfig.cmake.in
  ${PROJECT_BINARY_DIR}/kelabexperimentConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/kelabexperiment)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/kelabexperimentConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/kelabexperimentConfig.cmake
  ${PROJECT_BINARY_DIR}/kelabexperimentConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/kelabexperiment)
