#pragma once

// <windows.h> for tests, without the macros by which it would rename the
// host's file-system methods (CreateDirectory, CreateFile, DeleteFile).

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#undef CreateDirectory
#undef CreateFile
#undef DeleteFile
#endif
