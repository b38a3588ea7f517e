#pragma once

#include <string>

namespace testsupport {

// The message of the `Error` that `call` throws, or "no error"; any other
// exception passes through.
template <typename Error, typename Call>
std::string ErrorOf(Call&& call) {
  try {
    call();
  } catch (const Error& e) {
    return e.what();
  }
  return "no error";
}

}  // namespace testsupport
