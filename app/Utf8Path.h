#pragma once

#include <filesystem>
#include <string>
#include <string_view>

// Path text is UTF-8 everywhere in the program; the file system takes it as a path (wide on
// Windows). A std::string handed to std::filesystem or a file stream directly would be read in
// the ANSI code page there and lose every Chinese or accented name, so every file the programs
// open or write goes through these two.

// The path that UTF-8 text names; an empty path (which names no file) for text that is not
// UTF-8 where the system needs it converted.
inline std::filesystem::path pathFromUtf8(std::string_view utf8)
{
    try {
        return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
    } catch (...) {
        return {};
    }
}

// The UTF-8 text of a path; empty when the system's name cannot be written as UTF-8.
inline std::string utf8FromPath(const std::filesystem::path& path)
{
    try {
        const std::u8string text = path.u8string();
        return std::string(text.begin(), text.end());
    } catch (...) {
        return {};
    }
}
