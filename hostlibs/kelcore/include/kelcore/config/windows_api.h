#pragma once

// <windows.h> without min/max and without the macros by which it would
// rename the FileSystem methods (CreateDirectory, CreateFile, DeleteFile):
// code that includes this calls the wide functions by their full names.

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
