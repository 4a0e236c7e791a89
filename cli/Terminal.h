#pragma once

#include <cstdio>

// Whether `stream` is an interactive terminal rather than a file or a pipe.
bool isTerminal(std::FILE* stream);

// Lets the terminal behind `stream` act on cursor and clear codes; false when it cannot, and
// then the caller writes plain lines instead.
bool enableTerminalCodes(std::FILE* stream);
