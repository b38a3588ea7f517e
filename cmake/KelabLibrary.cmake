# kelab_add_shared_library(<name> <sources>...): one of the project's shared
# libraries, with its public headers in ./include, a generated export header
# <name>/<name>_export.h, an alias kelab::<name>, the warning policy, the
# release's VERSION and SOVERSION (on Windows: the DLL's image version and a
# version resource), and C++17 as a requirement of every user of its headers.
function(kelab_add_shared_library name)
  add_library(${name} SHARED ${ARGN})
  add_library(kelab::${name} ALIAS ${name})
  # The public headers include their export header before anything that needs
  # C++17, so a host compiling them as C++14 without the CMake package (which
  # raises the standard) reads this line first, not a missing std::string_view.
  set(language_check [[
#if (defined(_MSVC_LANG) ? _MSVC_LANG : __cplusplus) < 201703L
#error "kelabexperiment needs C++17 or later (compile with -std=c++17)"
#endif]])
  generate_export_header(${name}
    EXPORT_FILE_NAME ${CMAKE_CURRENT_BINARY_DIR}/include/${name}/${name}_export.h
    CUSTOM_CONTENT_FROM_VARIABLE language_check)
  target_include_directories(${name} PUBLIC
    $<BUILD_INTERFACE:${CMAKE_CURRENT_SOURCE_DIR}/include>
    $<BUILD_INTERFACE:${CMAKE_CURRENT_BINARY_DIR}/include>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
  # The headers use std::string_view and nested namespaces: a host compiling
  # them as C++14 gets C++17 raised for it, through the exported target.
  target_compile_features(${name} INTERFACE cxx_std_17)
  set_target_properties(${name} PROPERTIES
    VERSION ${PROJECT_VERSION}
    SOVERSION ${KELAB_SOVERSION})
  if(WIN32)
    kelab_add_version_resource(${name})
  endif()
  kelab_set_warnings(${name})
endfunction()

# kelab_add_version_resource(<target>): a Windows VERSIONINFO resource for the
# DLL of <target> (FileVersion and ProductVersion: the release), generated
# from cmake/windows/version.rc.in and compiled by the toolchain's windres.
function(kelab_add_version_resource target)
  set(KELAB_RC_NAME ${target})
  set(KELAB_RC_FILE_NAME ${CMAKE_SHARED_LIBRARY_PREFIX}${target}${CMAKE_SHARED_LIBRARY_SUFFIX})
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/windows/version.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()
