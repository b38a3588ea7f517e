#pragma once

#include <cstddef>

#include "host/kelcore.h"
#include "kelabexperiment/errors.h"
#include "kelcore/filesupport/dir.h"
#include "kelcore/filesupport/file.h"

namespace kelabexperiment {

// The longest user identifier, in bytes of UTF-8: the longest folder name
// common file systems allow.
inline constexpr std::size_t kMaxUserIdentifierBytes = 255;

// Throws InvalidUserIdentifierError, naming the problem, unless `userId` is a
// single folder name that is safe on every platform the library ships on:
// at most kMaxUserIdentifierBytes; valid UTF-8; not "." or ".."; no "/", "\", NUL or other control
// character (C0, DEL or C1, U+0080 to U+009F); none of < > : " | ? * (reserved on Windows); no
// trailing dot or blank (Windows would drop them, so two users could share a folder); not a
// reserved device name (CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM1-9 and COM¹-³, LPT1-9 and LPT¹-³,
// with or without an extension). The empty identifier is accepted: it means "no file".
void CheckUserIdentifier(const UTF8String& userId);
// The same check of an identifier as Initialize is given it, through its text
// as the host interface gives it (TextOfIdentifier): an identifier that is
// not valid UTF-8 is refused, named with U+FFFD for its ill-formed bytes.
void CheckUserIdentifier(const ImmutableString& userId);

// Where the user's state file is: `documents`/"Users"/<userId>/"ABExperiment".
// Touches nothing. REQUIRES: CheckUserIdentifier accepted a non-empty
// identifier.
kelcore::filesupport::File UserStateFile(const kelcore::filesupport::Dir& documents,
                                         const UTF16String& userId);

// The user's state file, UserStateFile under the host's documents folder,
// creating the two folders and an empty file when missing; an existing file
// is left as it is. The path is absolute: a relative documents folder is
// taken against the working folder of this call. Empty `userId`: returns an
// empty path and touches nothing. Throws FileError when a folder cannot be
// created, when what is at the path cannot be told, and for a link there
// (dangling or not), which is never followed.
// REQUIRES: CheckUserIdentifier accepted the identifier.
UTF8String GetUserStateFilePath(const UTF16String& userId);

}  // namespace kelabexperiment
