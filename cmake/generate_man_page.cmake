# Writes kelab's man page from the texts kelab itself prints: `kelab --help`
# for the synopsis and the command list, and `kelab COMMAND --help` for each
# command it lists, kept as they are (preformatted), so the page says exactly
# what --help says.
# Usage: cmake -DKELAB=<kelab> -DVERSION=<x.y.z> -DDOCDIR=<doc folder, relative to the prefix>
#              -DOUTPUT=<kelab.1> -P generate_man_page.cmake
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/KelabHelpCommands.cmake)

# The help text of `kelab <arguments> --help`, as one string.
function(kelab_help out_var)
  execute_process(COMMAND "${KELAB}" ${ARGN} --help
    RESULT_VARIABLE result OUTPUT_VARIABLE text ERROR_VARIABLE err)
  if(NOT result EQUAL 0 OR text STREQUAL "")
    message(FATAL_ERROR "kelab ${ARGN} --help gave ${result}: ${err}")
  endif()
  set(${out_var} "${text}" PARENT_SCOPE)
endfunction()

# `text` as roff: backslashes escaped, and no line read as a request.
function(roff_verbatim out_var text)
  string(REPLACE "\\" "\\e" text "${text}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" text "${text}")
  set(${out_var} ".nf\n${text}.fi\n" PARENT_SCOPE)
endfunction()

kelab_help(main)
# The first line is "kelab: <what it does>".
string(REGEX MATCH "^kelab: ([^\n]*)" first_line "${main}")
set(summary "${CMAKE_MATCH_1}")
kelab_help_commands("${main}" commands)
if(summary STREQUAL "" OR commands STREQUAL "")
  message(FATAL_ERROR "kelab --help has no summary line or no command list:\n${main}")
endif()

roff_verbatim(page_main "${main}")
string(CONCAT page
  ".TH KELAB 1 \"\" \"kelabexperiment ${VERSION}\" \"User Commands\"\n"
  ".SH NAME\nkelab \\- ${summary}\n"
  ".SH SYNOPSIS\n.B kelab\n.I COMMAND\n[\\fIOPTIONS\\fR]\n"
  ".SH DESCRIPTION\n${page_main}"
  ".SH COMMANDS\n")
foreach(command IN LISTS commands)
  kelab_help(help ${command})
  roff_verbatim(help "${help}")
  string(APPEND page ".SS ${command}\n${help}")
endforeach()
string(APPEND page ".SH SEE ALSO\n"
  "kelab.md in the installed package's \\fI<prefix>/${DOCDIR}\\fR: the commands, their output, "
  "the JSON schema and the exit statuses.\n")
file(WRITE "${OUTPUT}" "${page}")
