#pragma once

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

} // namespace console
