# kelab_add_shared_library(<name> <sources>...): one of the project's shared
# libraries, with its public headers in ./include, a generated export header
# <name>/<name>_export.h, an alias kelab::<name> and the warning policy.
function(kelab_add_shared_library name)
  add_library(${name} SHARED ${ARGN})
  add_library(kelab::${name} ALIAS ${name})
  generate_export_header(${name}
    EXPORT_FILE_NAME ${CMAKE_CURRENT_BINARY_DIR}/include/${name}/${name}_export.h)
  target_include_directories(${name} PUBLIC
    $<BUILD_INTERFACE:${CMAKE_CURRENT_SOURCE_DIR}/include>
    $<BUILD_INTERFACE:${CMAKE_CURRENT_BINARY_DIR}/include>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
  kelab_set_warnings(${name})
endfunction()
