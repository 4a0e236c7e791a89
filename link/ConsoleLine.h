#pragma once

#include <string_view>

// Writes one UTF-8 line and a newline to standard output in a form the console shows: the
// console's own character set on POSIX, UTF-16 through the console API on a Windows console,
// and the UTF-8 bytes unchanged when output goes to a file or pipe on Windows.
void writeConsoleLine(std::string_view utf8);
