#pragma once

namespace kelabexperiment {

// Whether the host refused this copy of the module when it loaded. A host
// that loads the module a second time under another file name gets a second
// copy, and its start-up registry refuses that copy's registration. The copy
// then stays inert: it registers nothing with the host, and each of its
// exports throws ModuleRefusedError, so the copy loaded first alone sets the
// features and writes the state files.
//
// Written only while the module loads (before any export can run), read by
// the exports afterwards.

// Marks this copy refused, for `why` (the host's reason). Never throws: it
// runs in a load-time constructor, where an exception would end the host.
void RefuseThisModule(const char* why) noexcept;

// Throws ModuleRefusedError, naming the host's reason, when this copy was
// refused; otherwise does nothing.
void ThrowIfModuleRefused();

}  // namespace kelabexperiment
