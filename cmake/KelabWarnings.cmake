# kelab_set_warnings(<target>): the project's warning policy for one target.
# Under clang it adds the thread-safety analysis, which checks the
# KEL_GUARDED_BY / KEL_REQUIRES / ... annotations of kelcore/threads/.
function(kelab_set_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
  endif()
  if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    target_compile_options(${target} PRIVATE -Wthread-safety)
  endif()
  if(KELAB_WARNINGS_AS_ERRORS)
    set_property(TARGET ${target} PROPERTY COMPILE_WARNING_AS_ERROR ON)
  endif()
endfunction()
