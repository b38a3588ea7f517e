# Fails unless the built programs and libraries carry the release, and the
# written ones agree:
#   the CHANGELOG's top section is "## [<version>]" (the release being
#   prepared; no section above it, such as "[Unreleased]");
#   the generated kelabexperiment/version.h defines the release;
#   kelab --version prints "kelab <version>" and exits 0;
#   each shared library's SONAME is lib<name>.so.<soversion> (Linux), or each
#   DLL's image version is major.minor and its version resource holds the
#   release as FileVersion and ProductVersion (Windows).
# Usage: cmake -DVERSION=<x.y.z> -DSOVERSION=<s> -DOBJDUMP=<objdump>
#              -DLIBRARIES=<file|file|...> -DKELAB=<command|arguments...>
#              -DCHANGELOG=<CHANGELOG.md> -DVERSION_HEADER=<generated version.h>
#              [-DWINDOWS=ON -DSTRINGS=<binutils strings>] -P check_release_versions.cmake
cmake_minimum_required(VERSION 3.25)
string(REPLACE "|" ";" LIBRARIES "${LIBRARIES}")
string(REPLACE "|" ";" KELAB "${KELAB}")

file(STRINGS "${CHANGELOG}" sections REGEX "^## ")
list(GET sections 0 top)
string(REPLACE "." "\\." version_pattern "${VERSION}")
if(NOT top MATCHES "^## \\[${version_pattern}\\]( - .*)?$")
  message(FATAL_ERROR "the CHANGELOG's top section is '${top}', not the release ${VERSION}")
endif()

string(REPLACE "." ";" parts "${VERSION}")
list(GET parts 0 major)
list(GET parts 1 minor)
list(GET parts 2 patch)
math(EXPR number "${major} * 10000 + ${minor} * 100 + ${patch}")
file(READ "${VERSION_HEADER}" header)
foreach(definition "_MAJOR ${major}" "_MINOR ${minor}" "_PATCH ${patch}"
        "_STRING \"${VERSION}\"" " ${number}")
  if(NOT header MATCHES "\n#define KELABEXPERIMENT_VERSION${definition}\n")
    message(FATAL_ERROR "version.h does not define KELABEXPERIMENT_VERSION${definition}")
  endif()
endforeach()

execute_process(COMMAND ${KELAB} --version
  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT result EQUAL 0 OR NOT out STREQUAL "kelab ${VERSION}\n")
  message(FATAL_ERROR "kelab --version gave ${result}: '${out}' ${err}")
endif()

foreach(library IN LISTS LIBRARIES)
  get_filename_component(file_name "${library}" NAME)
  execute_process(COMMAND ${OBJDUMP} -p "${library}"
    RESULT_VARIABLE result OUTPUT_VARIABLE headers)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "cannot read the headers of ${library}")
  endif()
  if(WINDOWS)
    if(NOT headers MATCHES "MajorImageVersion[ \t]+${major}\n" OR
       NOT headers MATCHES "MinorImageVersion[ \t]+${minor}\n")
      message(FATAL_ERROR "${file_name}: the image version is not ${major}.${minor}")
    endif()
    # The resource's texts are UTF-16; each value follows its name.
    execute_process(COMMAND ${STRINGS} -a -el "${library}"
      RESULT_VARIABLE result OUTPUT_VARIABLE texts)
    if(NOT result EQUAL 0)
      message(FATAL_ERROR "cannot list the texts of ${library}")
    endif()
    string(REPLACE ";" "\\;" texts "${texts}")
    string(REPLACE "\n" ";" texts "${texts}")
    foreach(name FileVersion ProductVersion)
      list(FIND texts "${name}" at)
      if(at EQUAL -1)
        message(FATAL_ERROR "${file_name}: no ${name} in a version resource")
      endif()
      math(EXPR at "${at} + 1")
      list(GET texts ${at} value)
      if(NOT value STREQUAL VERSION)
        message(FATAL_ERROR "${file_name}: ${name} is '${value}', not ${VERSION}")
      endif()
    endforeach()
  else()
    string(REGEX REPLACE "\\.so.*$" "" stem "${file_name}")
    if(NOT headers MATCHES "SONAME[ \t]+${stem}\\.so\\.${SOVERSION}\n")
      string(REGEX MATCH "SONAME[^\n]*" soname "${headers}")
      message(FATAL_ERROR "${file_name}: '${soname}', not ${stem}.so.${SOVERSION}")
    endif()
  endif()
  message(STATUS "${file_name}: ${VERSION}")
endforeach()
