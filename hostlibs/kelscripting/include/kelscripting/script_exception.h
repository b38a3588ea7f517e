#pragma once

#include "kelcore/config/kel_exception.h"
#include "kelscripting/kelscripting_export.h"

namespace kelscripting {

// Base of the errors the scripting layer raises; the script engine reports
// the message to script code.
class KELSCRIPTING_EXPORT ScriptException : public kelcore::config::kel_exception {
 public:
  using kelcore::config::kel_exception::kel_exception;
};

// A call's argument is missing or of the wrong type; the message names the
// argument and what was expected.
class KELSCRIPTING_EXPORT ScriptArgumentException : public ScriptException {
 public:
  using ScriptException::ScriptException;
};

// A call could not be started (no executor, or the executor or the UI thread
// refused it).
class KELSCRIPTING_EXPORT InternalErrorException : public ScriptException {
 public:
  using ScriptException::ScriptException;
};

}  // namespace kelscripting
