#pragma once

#include <string>
#include <string_view>

// The text as a JSON string literal, quotes included: quote, backslash and control characters
// escaped, and every byte that is not part of well-formed UTF-8 (a name from a file system or
// a machine that is not UTF-8) written as \ufffd, so every line parses whatever a name holds.
std::string jsonString(std::string_view text);
