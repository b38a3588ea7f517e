#pragma once

#include <string>
#include <vector>

namespace kelab {

// The program's arguments as UTF-8, without the program's name. On Windows
// they are read as UTF-16 (GetCommandLineW, CommandLineToArgvW) and converted
// once, so that any user identifier and folder reaches the tool whole,
// whatever the console's code page; elsewhere argv's bytes are taken as
// they are. Throws std::invalid_argument for an argument that is not valid
// UTF-16 (an unpaired surrogate).
std::vector<std::string> CommandLineArguments(int argc, char** argv);

// On Windows, has the console show the tool's UTF-8 output as UTF-8;
// elsewhere, keeps closed standard descriptors from being reused by files.
void PrepareConsole();

}  // namespace kelab
