# Fails unless the module's dynamic symbol table defines exactly the five
# exported functions of the kelabexperiment namespace.
execute_process(COMMAND nm -DC --defined-only ${LIBRARY}
  OUTPUT_VARIABLE symbols RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIBRARY}")
endif()
string(REGEX MATCHALL "[^\n]*kelabexperiment::[^\n]*" ours "${symbols}")
set(expected
  "kelabexperiment::GetRegisteredExperimentIdentifiers()"
  "kelabexperiment::Initialize(kelcore::utility::ImmutableString const&, kelcore::utility::ImmutableString const&, kelcore::utility::ImmutableString const&, bool)"
  "kelabexperiment::IsESDKInitializeComplete()"
  "kelabexperiment::RegisterExperimentIdentifier(kelcore::utility::ImmutableString const&)"
  "kelabexperiment::RegisterMessagingIdentifier(kelcore::utility::ImmutableString const&)")
list(LENGTH ours count)
list(LENGTH expected want)
foreach(name IN LISTS expected)
  string(FIND "${symbols}" " T ${name}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "missing export: ${name}\nkelabexperiment symbols:\n${ours}")
  endif()
endforeach()
if(NOT count EQUAL want)
  string(REPLACE ";" "\n" listing "${ours}")
  message(FATAL_ERROR "expected ${want} kelabexperiment:: symbols, found ${count}:\n${listing}")
endif()
message(STATUS "exactly ${want} exports")
