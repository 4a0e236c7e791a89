#pragma once

#include <cstdio>
#include <string>
#include <vector>

// The console of a command-line program, the same on every platform: arguments as UTF-8 and
// UTF-8 text shown as such.
namespace console {

// The program's arguments after the program name, as UTF-8. Windows hands narrow programs
// their arguments in the ANSI code page, which cannot hold every file name; these come from
// the wide command line instead.
std::vector<std::string> utf8Arguments(int argc, char** argv);

// Makes the console show the UTF-8 the program prints (Windows console code page 65001).
void useUtf8Output();

// Whether `stream` is an interactive terminal rather than a file or a pipe.
bool isTerminal(std::FILE* stream);

// Lets the terminal behind `stream` act on cursor and clear codes; false when it cannot, and
// then the caller writes plain lines instead.
bool enableTerminalCodes(std::FILE* stream);

} // namespace console
