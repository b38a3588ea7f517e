# kelab_help_commands(<help text> <out_var>): the commands that `kelab --help`
# lists, the indented first words of the lines under "Subcommands:", in order.
function(kelab_help_commands help out_var)
  string(REGEX MATCH "\nSubcommands:\n(([ ]+[^\n]*\n)+)" listing "${help}")
  string(REGEX MATCHALL "\n  [a-z][a-z-]*" commands "\n${CMAKE_MATCH_1}")
  list(TRANSFORM commands STRIP)
  set(${out_var} "${commands}" PARENT_SCOPE)
endfunction()
