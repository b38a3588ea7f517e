# Dependencies of the Windows build cross-compiled on Debian
# (cmake/toolchains/mingw-w64-x86_64.cmake): no Boost or GoogleTest binaries
# for Windows exist there, so Boost and CLI11 are used header-only from the
# build machine's headers and GoogleTest is compiled from the sources Debian
# ships. Test programs run under Wine.

# Header-only libraries come from the build machine's Debian headers,
# reached through a folder that holds only them, so that the cross compiler
# never sees the Linux C headers that sit beside them in /usr/include.
set(KELAB_HOST_INCLUDE_DIR /usr/include CACHE PATH "Folder that holds the Boost and CLI11 headers")
set(_kelab_headers ${PROJECT_BINARY_DIR}/host-headers)
file(MAKE_DIRECTORY ${_kelab_headers})
foreach(library boost CLI)
  if(NOT IS_DIRECTORY ${KELAB_HOST_INCLUDE_DIR}/${library})
    message(FATAL_ERROR "${KELAB_HOST_INCLUDE_DIR}/${library} not found (scripts/setup.sh installs it)")
  endif()
  file(CREATE_LINK ${KELAB_HOST_INCLUDE_DIR}/${library} ${_kelab_headers}/${library} SYMBOLIC)
endforeach()

# Boost: the parts this project uses work header-only on Windows
# (boost::call_once; Boost.JSON once a translation unit of each module that
# uses it includes boost/json/src.hpp). A generated package configuration
# describes it, for this project and for consumers of the installed package.
file(STRINGS ${_kelab_headers}/boost/version.hpp _kelab_boost_version
  REGEX "^#define BOOST_VERSION [0-9]+")
string(REGEX REPLACE ".* " "" _kelab_boost_version "${_kelab_boost_version}")
math(EXPR _kelab_boost_major "${_kelab_boost_version} / 100000")
math(EXPR _kelab_boost_minor "${_kelab_boost_version} / 100 % 1000")
math(EXPR _kelab_boost_patch "${_kelab_boost_version} % 100")
set(KELAB_BOOST_VERSION ${_kelab_boost_major}.${_kelab_boost_minor}.${_kelab_boost_patch})
set(KELAB_HEADERS_DIR ${_kelab_headers})
set(KELAB_BOOST_JSON_SOURCE ${CMAKE_CURRENT_LIST_DIR}/windows/boost_json_src.cc)
set(_kelab_boost_package ${PROJECT_BINARY_DIR}/windows-packages/Boost)
configure_file(${CMAKE_CURRENT_LIST_DIR}/windows/BoostConfig.cmake.in
  ${_kelab_boost_package}/BoostConfig.cmake @ONLY)
write_basic_package_version_file(${_kelab_boost_package}/BoostConfigVersion.cmake
  VERSION ${KELAB_BOOST_VERSION} COMPATIBILITY SameMajorVersion)
find_package(Boost 1.81 REQUIRED COMPONENTS thread json CONFIG
  PATHS ${_kelab_boost_package} NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)

# CLI11 (header-only), where tools/kelab looks for it.
set(CLI11_INCLUDE_DIR ${_kelab_headers} CACHE PATH "Folder that holds CLI/CLI.hpp" FORCE)

# The compiler's runtime DLLs go next to the programs, where Windows looks
# for them first; the whole build shares one C++ runtime, so objects, facets
# and exceptions cross DLL boundaries.
set(KELAB_RUNTIME_DLLS)
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
    OUTPUT_VARIABLE _kelab_dll OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${_kelab_dll}" OR NOT EXISTS "${_kelab_dll}")
    message(FATAL_ERROR "${CMAKE_CXX_COMPILER} does not know where ${dll} is")
  endif()
  file(REAL_PATH ${_kelab_dll} _kelab_dll)
  list(APPEND KELAB_RUNTIME_DLLS ${_kelab_dll})
endforeach()
file(COPY ${KELAB_RUNTIME_DLLS} DESTINATION ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
install(FILES ${KELAB_RUNTIME_DLLS} DESTINATION ${CMAKE_INSTALL_BINDIR})

if(NOT KELAB_BUILD_TESTS)
  return()
endif()

# GoogleTest from /usr/src/googletest (Debian's googletest package), built
# with the cross compiler as static libraries; it names its targets GTest::*
# as its installed package does.
set(KELAB_GOOGLETEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")
if(NOT EXISTS ${KELAB_GOOGLETEST_SOURCE_DIR}/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest sources not found in ${KELAB_GOOGLETEST_SOURCE_DIR} (scripts/setup.sh installs them)")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${KELAB_GOOGLETEST_SOURCE_DIR} ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)

# Test programs run under Wine, in a Wine prefix inside the build folder.
# Building prepares the prefix (it takes a while the first time) so that
# CTest's first runs do not wait for it.
find_program(KELAB_WINE NAMES wine64 wine PATHS /usr/lib/wine
  DOC "Wine's 64-bit program loader")
if(NOT KELAB_WINE)
  message(FATAL_ERROR "Wine not found: scripts/setup.sh --windows installs it")
endif()
set(KELAB_WINE_PREFIX ${PROJECT_BINARY_DIR}/wineprefix)
set(CMAKE_CROSSCOMPILING_EMULATOR
  ${PROJECT_SOURCE_DIR}/cmake/windows/wine-run.sh ${KELAB_WINE} ${KELAB_WINE_PREFIX})
add_custom_command(OUTPUT ${KELAB_WINE_PREFIX}/.kelab-ready
  COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} --prepare
  COMMENT "Preparing the Wine prefix for the tests")
add_custom_target(kelab_wine_prefix ALL DEPENDS ${KELAB_WINE_PREFIX}/.kelab-ready)
