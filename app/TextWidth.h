#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Text laid out in columns on a terminal, where a Chinese character takes two columns and a
// combining accent none.

// Columns one character takes: 2 for East Asian wide and fullwidth characters, 0 for
// combining marks and zero-width characters, 1 for the rest.
int charColumns(char32_t c);

// Columns UTF-8 `text` takes; a byte that does not belong to a well-formed character counts
// as one column (it is shown as U+FFFD).
std::size_t displayWidth(std::string_view text);

// `text` followed by spaces up to `width` columns; a text as wide or wider stays as it is.
std::string padToWidth(std::string text, std::size_t width);
