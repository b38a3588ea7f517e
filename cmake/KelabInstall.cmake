# Installs the library, the host libraries, their headers and the tool, with
# a CMake package that a host project finds with
# find_package(kelabexperiment <version>), and a pkg-config file for each
# library.
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
# Which releases find_package(kelabexperiment <version>) accepts: while the
# major version is 0 a new minor version may break the API and ABI, so only
# the same major.minor with a patch level at least the one asked for
# (find_package(kelabexperiment 0.2) takes 0.2.0 and 0.2.7, not 0.3.0);
# from 1.0.0 on, the same major version.
if(PROJECT_VERSION_MAJOR EQUAL 0)
  set(compatibility SameMinorVersion)
else()
  set(compatibility SameMajorVersion)
endif()
write_basic_package_version_file(${PROJECT_BINARY_DIR}/kelabexperimentConfigVersion.cmake
  COMPATIBILITY ${compatibility})
install(FILES ${PROJECT_BINARY_DIR}/kelabexperimentConfig.cmake
  ${PROJECT_BINARY_DIR}/kelabexperimentConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/kelabexperiment)

# pkg-config files, relocatable: each finds the prefix from its own folder.
set(pkgconfig_dir ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}" OR IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
  message(FATAL_ERROR "the pkg-config files need CMAKE_INSTALL_LIBDIR and CMAKE_INSTALL_INCLUDEDIR relative to the prefix")
endif()
file(RELATIVE_PATH KELAB_PC_PREFIX_FROM_PCFILEDIR /prefix/${pkgconfig_dir} /prefix)
string(REGEX REPLACE "/$" "" KELAB_PC_PREFIX_FROM_PCFILEDIR "${KELAB_PC_PREFIX_FROM_PCFILEDIR}")
set(kelcore_pc_description "kelabexperiment's host core: strings, allocator, JSON, files, start-up registry")
set(kelcore_pc_requires "")
set(kelappsupport_pc_description "kelabexperiment's host feature service: overrides and default-value notifications")
set(kelappsupport_pc_requires "kelcore = ${PROJECT_VERSION}")
set(kelscripting_pc_description "kelabexperiment's host scripting: script classes, call dispatch, the UI-thread queue")
set(kelscripting_pc_requires "kelcore = ${PROJECT_VERSION}")
set(kelabexperiment_pc_description "A/B-experiment assignments carried into a host's feature overrides")
set(kelabexperiment_pc_requires
  "kelappsupport = ${PROJECT_VERSION}, kelscripting = ${PROJECT_VERSION}, kelcore = ${PROJECT_VERSION}")
foreach(library kelcore kelappsupport kelscripting kelabexperiment)
  set(KELAB_PC_NAME ${library})
  set(KELAB_PC_DESCRIPTION "${${library}_pc_description}")
  set(KELAB_PC_REQUIRES "${${library}_pc_requires}")
  configure_file(${PROJECT_SOURCE_DIR}/cmake/kelab.pc.in ${PROJECT_BINARY_DIR}/pkgconfig/${library}.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/pkgconfig/${library}.pc DESTINATION ${pkgconfig_dir})
endforeach()
