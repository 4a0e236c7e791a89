#pragma once

#include <cstdio>

// Whether `stream` is an interactive terminal rather than a file or a pipe.
bool isTerminal(std::FILE* stream);
