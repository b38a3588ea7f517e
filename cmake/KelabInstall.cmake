# Installs the library, the host libraries, their headers and the tool, with
# a CMake package that a host project finds with
# find_package(kelabexperiment <version>), a pkg-config file for each
# library, the licence, the documentation and kelab's man page.

# A host may call none of the module's exports: it only needs the module
# loaded, for the start-up registration and the script class. A linker run
# with --as-needed (the default of some distributions' toolchains) drops such
# a library from the program, so both the CMake target and kelabexperiment.pc
# wrap the module in --no-as-needed. PE imports only what a program calls, so
# on Windows a host that calls no export loads the DLL itself.
if(WIN32)
  set(KELAB_MODULE_LINK_BEGIN "")
  set(KELAB_MODULE_LINK_END "")
else()
  set(KELAB_MODULE_LINK_BEGIN "-Wl,--push-state,--no-as-needed")
  set(KELAB_MODULE_LINK_END "-Wl,--pop-state")
endif()
# The installed kelab::kelabexperiment is an interface target
# (kelabexperimentConfig.cmake) around the module's own, which is exported
# as kelab::kelabexperiment_module.
set_target_properties(kelabexperiment PROPERTIES EXPORT_NAME kelabexperiment_module)
set(KELAB_MODULE_LINK_ITEMS ${KELAB_MODULE_LINK_BEGIN} kelab::kelabexperiment_module
  ${KELAB_MODULE_LINK_END})
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

# pkg-config files. Their prefix is the one installed into, written when
# installing (cmake --install --prefix takes effect then), so that
# pkg-config prints plain paths (/usr/include, not /usr/lib/pkgconfig/../../include)
# and can leave out the compiler's own folders. A tree moved elsewhere
# afterwards needs pkg-config --define-variable=prefix=<new place>.
set(pkgconfig_dir ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}" OR IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
  message(FATAL_ERROR "the pkg-config files need CMAKE_INSTALL_LIBDIR and CMAKE_INSTALL_INCLUDEDIR relative to the prefix")
endif()
set(kelcore_pc_description "kelabexperiment's host core: strings, allocator, JSON, files, start-up registry")
set(kelcore_pc_requires "")
set(kelappsupport_pc_description "kelabexperiment's host feature service: overrides and default-value notifications")
set(kelappsupport_pc_requires "kelcore = ${PROJECT_VERSION}")
set(kelscripting_pc_description "kelabexperiment's host scripting: script classes, call dispatch, the UI-thread queue")
set(kelscripting_pc_requires "kelcore = ${PROJECT_VERSION}")
set(kelabexperiment_pc_description "A/B-experiment assignments carried into a host's feature overrides")
set(kelabexperiment_pc_requires
  "kelappsupport = ${PROJECT_VERSION}, kelscripting = ${PROJECT_VERSION}, kelcore = ${PROJECT_VERSION}")
set(kelabexperiment_pc_libs "${KELAB_MODULE_LINK_BEGIN} -lkelabexperiment ${KELAB_MODULE_LINK_END}")
string(STRIP "${kelabexperiment_pc_libs}" kelabexperiment_pc_libs)
set(KELAB_PC_PREFIX "@KELAB_PC_PREFIX@")
foreach(library kelcore kelappsupport kelscripting kelabexperiment)
  set(KELAB_PC_NAME ${library})
  set(KELAB_PC_DESCRIPTION "${${library}_pc_description}")
  set(KELAB_PC_REQUIRES "${${library}_pc_requires}")
  if(DEFINED ${library}_pc_libs)
    set(KELAB_PC_LIBS "${${library}_pc_libs}")
  else()
    set(KELAB_PC_LIBS "-l${library}")
  endif()
  # Everything but the prefix now (it stays a placeholder); the prefix at
  # install time.
  set(pc ${PROJECT_BINARY_DIR}/pkgconfig/${library}.pc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/kelab.pc.in ${pc}.in @ONLY)
  install(CODE "get_filename_component(KELAB_PC_PREFIX \"\${CMAKE_INSTALL_PREFIX}\" ABSOLUTE)
    configure_file(\"${pc}.in\" \"${pc}\" @ONLY)")
  install(FILES ${pc} DESTINATION ${pkgconfig_dir})
endforeach()

# The licence and its notice (both go with every copy), and the documents.
file(GLOB kelab_docs CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/docs/*)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/NOTICE ${kelab_docs}
  DESTINATION ${CMAKE_INSTALL_DOCDIR})

# kelab.1, made from the built kelab's own --help texts, so that the two never
# differ. It runs kelab at build time: not for a cross build.
if(NOT CMAKE_CROSSCOMPILING)
  set(man_page ${PROJECT_BINARY_DIR}/man/kelab.1)
  add_custom_command(OUTPUT ${man_page}
    COMMAND ${CMAKE_COMMAND} -DKELAB=$<TARGET_FILE:kelab> -DVERSION=${PROJECT_VERSION}
            -DDOCDIR=${CMAKE_INSTALL_DOCDIR} -DOUTPUT=${man_page}
            -P ${PROJECT_SOURCE_DIR}/cmake/generate_man_page.cmake
    DEPENDS kelab ${PROJECT_SOURCE_DIR}/cmake/generate_man_page.cmake
            ${PROJECT_SOURCE_DIR}/cmake/KelabHelpCommands.cmake
    COMMENT "Generating kelab.1 from kelab --help")
  add_custom_target(kelab_man_page ALL DEPENDS ${man_page})
  install(FILES ${man_page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
