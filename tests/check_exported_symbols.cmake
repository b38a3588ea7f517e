# Fails unless the module exports exactly the five functions of the
# kelabexperiment namespace. Reads the dynamic symbol table with nm, or with
# -DOBJDUMP=... -DCXXFILT=... a Windows DLL's export table (objdump -p, names
# demangled by c++filt).
if(OBJDUMP)
  execute_process(COMMAND ${OBJDUMP} -p ${LIBRARY} COMMAND ${CXXFILT}
    OUTPUT_VARIABLE listing RESULTS_VARIABLE results)
  # Export table entries: "\t[   3] name"; every export counts as code.
  set(entry "\t\\[ *[0-9]+\\] ([^\n]*)")
  set(code_entry "${entry}")
else()
  execute_process(COMMAND nm -DC --defined-only ${LIBRARY}
    OUTPUT_VARIABLE listing RESULTS_VARIABLE results)
  # "<address> <type> name"; T is code.
  set(entry "[0-9a-f]+ [A-Za-z] ([^\n]*)")
  set(code_entry "[0-9a-f]+ T ([^\n]*)")
endif()
foreach(result IN LISTS results)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "cannot list the symbols of ${LIBRARY}")
  endif()
endforeach()

# The names of the lines of `listing` that match `pattern`.
function(names_of pattern out)
  string(REGEX MATCHALL "(^|\n)${pattern}" lines "${listing}")
  set(names)
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^\n?${pattern}$" "\\1" name "${line}")
    list(APPEND names "${name}")
  endforeach()
  set(${out} "${names}" PARENT_SCOPE)
endfunction()
names_of("${entry}" symbols)
names_of("${code_entry}" code)

set(ours "${symbols}")
list(FILTER ours INCLUDE REGEX "kelabexperiment::")
set(expected
  "kelabexperiment::GetRegisteredExperimentIdentifiers()"
  "kelabexperiment::Initialize(kelcore::utility::ImmutableString const&, kelcore::utility::ImmutableString const&, kelcore::utility::ImmutableString const&, bool)"
  "kelabexperiment::IsESDKInitializeComplete()"
  "kelabexperiment::RegisterExperimentIdentifier(kelcore::utility::ImmutableString const&)"
  "kelabexperiment::RegisterMessagingIdentifier(kelcore::utility::ImmutableString const&)")
list(LENGTH ours count)
list(LENGTH expected want)
string(REPLACE ";" "\n" listing_ours "${ours}")
foreach(name IN LISTS expected)
  list(FIND code "${name}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "missing export: ${name}\nkelabexperiment symbols:\n${listing_ours}")
  endif()
endforeach()
if(NOT count EQUAL want)
  message(FATAL_ERROR "expected ${want} kelabexperiment:: symbols, found ${count}:\n${listing_ours}")
endif()
message(STATUS "exactly ${want} exports")
