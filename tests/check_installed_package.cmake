# Installs the build tree into a scratch prefix, builds a project against it
# as a host would (find_package with the release's version) and runs the
# program it makes: the package works outside this tree.
#
#   -DBUILD=<build tree> -DSOURCE=<project> -DWORK=<scratch folder> -DCXX=<compiler>
#   -DPROGRAM=<executable the project makes> -DVERSION=<the release>
#   -DLIBDIR=<CMAKE_INSTALL_LIBDIR>
#   [-DARGUMENTS=<list>]      arguments for the program; "@WORK@" stands for WORK
#                             as the program sees it
#   [-DEXPECT=<regex>]        the program's output must match it (default: anything)
#   [-DEXACT_LINES=<a|b|...>] ... or be exactly these lines
#   [-DVERSION_CHECKS=ON]     also: the project, asked for the next minor and the
#                             next major release, must fail to find the package
#   [-DPKG_CONFIG_BUILD=ON]   also: build SOURCE/main.cc with the compiler and
#                             `pkg-config --cflags --libs kelabexperiment` only,
#                             and run that too
#   [-DSETTINGS=<file>]       may set CONSUMER_OPTIONS (the project's configure
#                             options), RUN_CONSUMER (the command that starts a
#                             program), EXE_SUFFIX, PATH_PREFIX (how the program
#                             sees this machine's paths) and PKG_CONFIG_CFLAGS /
#                             PKG_CONFIG_LIBS (added to the pkg-config build); it
#                             may use ${prefix}.
cmake_minimum_required(VERSION 3.25)
set(prefix "${WORK}/prefix")
set(CONSUMER_OPTIONS)
set(RUN_CONSUMER)
set(EXE_SUFFIX)
set(PATH_PREFIX)
set(PKG_CONFIG_CFLAGS)
set(PKG_CONFIG_LIBS "-Wl,-rpath,${prefix}/${LIBDIR}")
if(SETTINGS)
  include("${SETTINGS}")
endif()
string(REPLACE "@WORK@" "${PATH_PREFIX}${WORK}" ARGUMENTS "${ARGUMENTS}")
if(DEFINED EXACT_LINES)
  string(REPLACE "|" "\n" EXACT "${EXACT_LINES}\n")
endif()

# Runs the program at `path` and checks its exit status and output.
function(run_program path what)
  execute_process(COMMAND ${RUN_CONSUMER} "${path}" ${ARGUMENTS}
    RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${what} gave ${result}:\n${out}${err}")
  endif()
  if(DEFINED EXACT AND NOT out STREQUAL EXACT)
    message(FATAL_ERROR "${what} printed\n${out}\ninstead of\n${EXACT}")
  endif()
  if(DEFINED EXPECT AND NOT out MATCHES "${EXPECT}")
    message(FATAL_ERROR "${what} printed nothing matching '${EXPECT}':\n${out}${err}")
  endif()
  message(STATUS "${what}:\n${out}")
endfunction()

file(REMOVE_RECURSE "${WORK}")
execute_process(COMMAND ${CMAKE_COMMAND} --install "${BUILD}" --prefix "${prefix}"
  RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "install failed")
endif()
foreach(file include/kelabexperiment/kelabexperiment.h include/kelabexperiment/version.h
        include/kelcore/locale.h include/kelscripting/threads/ui_thread.h
        ${LIBDIR}/cmake/kelabexperiment/kelabexperimentConfig.cmake
        ${LIBDIR}/cmake/kelabexperiment/kelabexperimentConfigVersion.cmake
        ${LIBDIR}/pkgconfig/kelabexperiment.pc ${LIBDIR}/pkgconfig/kelcore.pc
        ${LIBDIR}/pkgconfig/kelappsupport.pc ${LIBDIR}/pkgconfig/kelscripting.pc)
  if(NOT EXISTS "${prefix}/${file}")
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()
if(NOT EXISTS "${prefix}/bin/kelab${EXE_SUFFIX}")
  message(FATAL_ERROR "not installed: bin/kelab${EXE_SUFFIX}")
endif()

# Configures the project into `build` asking for `version`; the result, the
# output, in `result_var` and `out_var`.
function(configure build version result_var out_var)
  execute_process(COMMAND ${CMAKE_COMMAND} -S "${SOURCE}" -B "${build}" -G Ninja
    "-DCMAKE_PREFIX_PATH=${prefix}" "-DCMAKE_CXX_COMPILER=${CXX}" ${CONSUMER_OPTIONS}
    ${version}
    RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
  set(${result_var} ${result} PARENT_SCOPE)
  set(${out_var} "${out}" PARENT_SCOPE)
endfunction()

configure("${WORK}/build" "-DKELAB_VERSION=${VERSION}" result out)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "configure against the installed package failed:\n${out}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build "${WORK}/build"
  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "build against the installed package failed:\n${out}")
endif()
run_program("${WORK}/build/${PROGRAM}${EXE_SUFFIX}" "${PROGRAM} (CMake package)")

if(VERSION_CHECKS)
  # The compatibility the README promises: while the major version is 0 the
  # same major.minor only, from 1.0.0 on the same major version.
  string(REPLACE "." ";" parts "${VERSION}")
  list(GET parts 0 major)
  list(GET parts 1 minor)
  math(EXPR next_minor "${minor} + 1")
  math(EXPR next_major "${major} + 1")
  set(refused "${major}.${next_minor}.0" "${next_major}.0.0")
  if(major EQUAL 0)
    set(accepted "${major}.${minor}")
  else()
    set(accepted "${major}.0")
  endif()
  foreach(version IN LISTS refused accepted)
    configure("${WORK}/version-${version}" "-DKELAB_VERSION=${version}" result out)
    if(version IN_LIST refused AND result EQUAL 0)
      message(FATAL_ERROR "find_package(kelabexperiment ${version}) accepted release ${VERSION}")
    elseif(version IN_LIST accepted AND NOT result EQUAL 0)
      message(FATAL_ERROR "find_package(kelabexperiment ${version}) refused release ${VERSION}:\n${out}")
    endif()
  endforeach()
  list(JOIN refused ", " refused)
  message(STATUS "find_package: ${accepted} accepted, ${refused} refused")
endif()

if(PKG_CONFIG_BUILD)
  # Only the installed .pc files: nothing of this machine's pkg-config path.
  find_program(pkg_config NAMES pkg-config pkgconf REQUIRED)
  set(ENV{PKG_CONFIG_LIBDIR} "${prefix}/${LIBDIR}/pkgconfig")
  unset(ENV{PKG_CONFIG_PATH})
  execute_process(COMMAND ${pkg_config} --modversion kelabexperiment
    RESULT_VARIABLE result OUTPUT_VARIABLE pc_version OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT result EQUAL 0 OR NOT pc_version STREQUAL VERSION)
    message(FATAL_ERROR "pkg-config --modversion kelabexperiment gave '${pc_version}', not ${VERSION}")
  endif()
  execute_process(COMMAND ${pkg_config} --cflags --libs "kelabexperiment = ${VERSION}"
    RESULT_VARIABLE result OUTPUT_VARIABLE flags ERROR_VARIABLE err
    OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "pkg-config --cflags --libs kelabexperiment failed: ${err}")
  endif()
  separate_arguments(flags UNIX_COMMAND "${flags}")
  set(program "${WORK}/pkg-config/${PROGRAM}${EXE_SUFFIX}")
  file(MAKE_DIRECTORY "${WORK}/pkg-config")
  # pkg-config cannot carry the C++ standard: the README says to give it.
  execute_process(COMMAND "${CXX}" -std=c++17 ${PKG_CONFIG_CFLAGS} "${SOURCE}/main.cc" ${flags}
    ${PKG_CONFIG_LIBS} -o "${program}"
    RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "build with pkg-config's flags (${flags}) failed:\n${out}")
  endif()
  run_program("${program}" "${PROGRAM} (pkg-config: ${flags})")
endif()

file(REMOVE_RECURSE "${WORK}")
message(STATUS "installed package builds and runs ${PROGRAM}")
