# Installs the build tree into a scratch prefix, builds a project against it
# as a host would (find_package with the release's version) and runs the
# program it makes: the package works outside this tree.
#
#   -DBUILD=<build tree> -DSOURCE=<project> -DWORK=<scratch folder> -DCXX=<compiler>
#   -DPROGRAM=<executable the project makes> -DVERSION=<the release>
#   -DLIBDIR=<CMAKE_INSTALL_LIBDIR> -DTREE=<this source tree>
#   [-DARGUMENTS=<list>]      arguments for the program; "@WORK@" stands for WORK
#                             as the program sees it
#   [-DEXPECT=<regex>]        the program's output must match it (default: anything)
#   [-DEXACT_LINES=<a|b|...>] ... or be exactly these lines
#   [-DVERSION_CHECKS=ON]     also: the project, asked for the next minor and the
#                             next major release, must fail to find the package
#   [-DPKG_CONFIG_BUILD=ON]   also: the .pc files' paths are plain (pkg-config can
#                             leave out system folders), and SOURCE/main.cc built
#                             with the compiler and `pkg-config --cflags --libs
#                             kelabexperiment` only, as the README says, runs too
#   [-DNO_EXPORT_PROGRAM=<p>] also: the project's program <p> (SOURCE/<p>.cc), a host
#                             that calls no export, must print "ABExperimentScript
#                             defined" (and its pkg-config build too)
#   [-DHEADER_CHECK=ON]       also: every installed header compiles as C++14 or
#                             fails first with "needs C++17 or later", and the
#                             library's own headers do fail so
#   [-DMAN_PAGE=ON]           also: kelab.1 is installed and has every command
#                             that the installed kelab --help lists
#   [-DSETTINGS=<file>]       may set CONSUMER_OPTIONS (the project's configure
#                             options), RUN_CONSUMER (the command that starts a
#                             program), EXE_SUFFIX, PATH_PREFIX (how the program
#                             sees this machine's paths), PKG_CONFIG_CFLAGS (added
#                             to every compile without CMake), RUN_PATH (OFF: the
#                             pkg-config build gets no -Wl,-rpath) and AS_NEEDED
#                             (the linker option dropping unused libraries, or
#                             empty); it may use ${prefix}.
#
# Every program is linked with AS_NEEDED (-Wl,--as-needed by default): the
# package keeps the module on the link line under it.
cmake_minimum_required(VERSION 3.25)
set(prefix "${WORK}/prefix")
set(CONSUMER_OPTIONS)
set(RUN_CONSUMER)
set(EXE_SUFFIX)
set(PATH_PREFIX)
set(PKG_CONFIG_CFLAGS)
set(RUN_PATH ON)
set(AS_NEEDED "-Wl,--as-needed")
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
# The licence and its notice go with every copy; the documents as they are.
file(GLOB docs RELATIVE "${TREE}" "${TREE}/docs/*")
foreach(file LICENSE NOTICE ${docs})
  get_filename_component(name "${file}" NAME)
  set(installed "${prefix}/share/doc/kelabexperiment/${name}")
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files "${TREE}/${file}" "${installed}"
    RESULT_VARIABLE differs)
  if(differs)
    message(FATAL_ERROR "${file} is not installed as share/doc/kelabexperiment/${name}")
  endif()
endforeach()

if(MAN_PAGE)
  # Each command the installed kelab lists has its section, with its usage.
  set(man_page "${prefix}/share/man/man1/kelab.1")
  if(NOT EXISTS "${man_page}")
    message(FATAL_ERROR "not installed: share/man/man1/kelab.1")
  endif()
  file(READ "${man_page}" page)
  execute_process(COMMAND "${prefix}/bin/kelab" --help OUTPUT_VARIABLE help)
  include("${TREE}/cmake/KelabHelpCommands.cmake")
  kelab_help_commands("${help}" commands)
  if(NOT commands)
    message(FATAL_ERROR "the installed kelab --help lists no command:\n${help}")
  endif()
  foreach(command IN LISTS commands)
    if(NOT page MATCHES "\n\\.SS ${command}\n\\.nf\n[^\n]*\nUsage: kelab ${command} ")
      message(FATAL_ERROR "kelab.1 has no section for '${command}' with its usage")
    endif()
  endforeach()
  message(STATUS "kelab.1: ${commands}")
endif()

if(HEADER_CHECK)
  # Compiled as C++14, each header either works or stops at the message
  # first; the library's own headers need C++17, so they must stop.
  file(GLOB_RECURSE headers RELATIVE "${prefix}/include" "${prefix}/include/*.h")
  file(WRITE "${WORK}/header.cc" "")
  set(refused)
  foreach(header IN LISTS headers)
    if(header MATCHES "windows_api\\.h$" AND NOT EXE_SUFFIX)
      continue()  # <windows.h> only
    endif()
    execute_process(COMMAND "${CXX}" -std=c++14 -fsyntax-only -Wfatal-errors
      ${PKG_CONFIG_CFLAGS} "-I${prefix}/include" -include "${header}" "${WORK}/header.cc"
      RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
    if(NOT result EQUAL 0)
      if(NOT out MATCHES "kelabexperiment needs C\\+\\+17 or later")
        message(FATAL_ERROR "${header} as C++14 fails without the message:\n${out}")
      endif()
      list(APPEND refused "${header}")
    elseif(header MATCHES "^kelabexperiment/(kelabexperiment|errors)\\.h$")
      message(FATAL_ERROR "${header} compiles as C++14")
    endif()
  endforeach()
  list(LENGTH headers count)
  list(LENGTH refused refused_count)
  message(STATUS "as C++14: ${refused_count} of ${count} headers refuse with the message")
endif()

set(link_options)
if(AS_NEEDED)
  set(link_options "-DCMAKE_EXE_LINKER_FLAGS=${AS_NEEDED}")
endif()
# Configures the project into `build` asking for `version`; the result, the
# output, in `result_var` and `out_var`.
function(configure build version result_var out_var)
  execute_process(COMMAND ${CMAKE_COMMAND} -S "${SOURCE}" -B "${build}" -G Ninja
    "-DCMAKE_PREFIX_PATH=${prefix}" "-DCMAKE_CXX_COMPILER=${CXX}" ${CONSUMER_OPTIONS}
    ${link_options}
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
# Runs the host that calls no export, built at `path`.
function(run_no_export_program path what)
  unset(EXACT)
  set(ARGUMENTS)
  set(EXPECT "ABExperimentScript defined\n")
  run_program("${path}" "${what}")
endfunction()
if(NO_EXPORT_PROGRAM)
  run_no_export_program("${WORK}/build/${NO_EXPORT_PROGRAM}${EXE_SUFFIX}"
    "${NO_EXPORT_PROGRAM} (CMake package)")
endif()

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
  # The output of `pkg-config <arguments>` in `out_var`; a failure ends the test.
  function(pkg_config_query out_var)
    execute_process(COMMAND ${pkg_config} ${ARGN}
      RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err
      OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT result EQUAL 0)
      message(FATAL_ERROR "pkg-config ${ARGN} failed: ${err}")
    endif()
    set(${out_var} "${out}" PARENT_SCOPE)
  endfunction()
  pkg_config_query(pc_version --modversion kelabexperiment)
  if(NOT pc_version STREQUAL VERSION)
    message(FATAL_ERROR "pkg-config --modversion kelabexperiment gave '${pc_version}', not ${VERSION}")
  endif()
  pkg_config_query(flags --cflags --libs "kelabexperiment = ${VERSION}")

  # Plain paths: exactly the prefix's folders, so that pkg-config can leave
  # them out when they are the system's.
  foreach(flag "-I${prefix}/include" "-L${prefix}/${LIBDIR}")
    string(FIND " ${flags} " " ${flag} " at)
    if(at EQUAL -1)
      message(FATAL_ERROR "pkg-config gave '${flags}', without the plain path ${flag}")
    endif()
  endforeach()
  set(ENV{PKG_CONFIG_SYSTEM_INCLUDE_PATH} "${prefix}/include")
  set(ENV{PKG_CONFIG_SYSTEM_LIBRARY_PATH} "${prefix}/${LIBDIR}")
  pkg_config_query(filtered --cflags --libs kelabexperiment)
  unset(ENV{PKG_CONFIG_SYSTEM_INCLUDE_PATH})
  unset(ENV{PKG_CONFIG_SYSTEM_LIBRARY_PATH})
  if(filtered MATCHES "-[IL]")
    message(FATAL_ERROR "with the prefix as a system folder, pkg-config still gave '${filtered}'")
  endif()

  # The README's recipe: -std=c++17 (pkg-config cannot carry the standard),
  # pkg-config's flags, and the run-time path to pkg-config's libdir.
  separate_arguments(flags UNIX_COMMAND "${flags}")
  set(run_path)
  if(RUN_PATH)
    pkg_config_query(libdir --variable=libdir kelabexperiment)
    set(run_path "-Wl,-rpath,${libdir}")
  endif()
  file(MAKE_DIRECTORY "${WORK}/pkg-config")
  # Builds SOURCE/<name>.cc by the recipe; the program's path in `out_var`.
  function(pkg_config_build name out_var)
    set(program "${WORK}/pkg-config/${name}${EXE_SUFFIX}")
    execute_process(COMMAND "${CXX}" -std=c++17 ${PKG_CONFIG_CFLAGS} ${AS_NEEDED}
      "${SOURCE}/${name}.cc" ${flags} ${run_path} -o "${program}"
      RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
    if(NOT result EQUAL 0)
      message(FATAL_ERROR "build of ${name} with pkg-config's flags (${flags}) failed:\n${out}")
    endif()
    set(${out_var} "${program}" PARENT_SCOPE)
  endfunction()
  pkg_config_build(main program)
  run_program("${program}" "${PROGRAM} (pkg-config: ${flags} ${run_path})")
  if(NO_EXPORT_PROGRAM)
    pkg_config_build(${NO_EXPORT_PROGRAM} program)
    run_no_export_program("${program}" "${NO_EXPORT_PROGRAM} (pkg-config)")
  endif()
endif()

file(REMOVE_RECURSE "${WORK}")
message(STATUS "installed package builds and runs ${PROGRAM}")
