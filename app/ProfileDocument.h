#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The text of one private-profile file held as its lines, so that a change rewrites only the
// line it touches and keeps every other section, key, comment and blank line as it was.
// Section and key names compare without regard to ASCII case; blanks around names and values
// are not part of them; the first of duplicate sections or keys wins. Files come as UTF-8
// (with or without BOM), as ANSI (bytes that are no UTF-8 pass through unchanged) or as
// UTF-16LE or UTF-16BE with BOM, and are written back in the encoding they had.
class ProfileDocument
{
public:
    enum class Encoding { Utf8, Utf8Bom, Utf16Le, Utf16Be };

    // Longest value a reader sees, in characters.
    static constexpr std::size_t kMaxValueChars = 99;

    static ProfileDocument parse(std::string_view bytes);
    // An empty document standing for a file that exists but could not be read; it reads as
    // empty and must never be saved over that file.
    static ProfileDocument unreadable();
    bool readable() const { return m_readable; }
    std::string serialize() const;

    // The value as a reader sees it: blanks trimmed, one pair of enclosing quotes removed,
    // cut to 99 characters. Empty optional when the section or key is missing.
    std::optional<std::string> value(std::string_view section, std::string_view key) const;
    // Sets the value, adding key or section as needed. False when nothing changed.
    bool set(std::string_view section, std::string_view key, std::string_view value);
    // The names of the sections in file order, each only once (first spelling).
    std::vector<std::string> sectionNames() const;

    Encoding encoding() const { return m_encoding; }

private:
    enum class Kind { Other, Section, Key, Comment };
    enum class End { None, Lf, CrLf }; // None only for a last line without a line end
    struct Line
    {
        std::string text; // without line end
        End end = End::None;
        Kind kind = Kind::Other;
        // Section or key name and key value, trimmed, as places in text.
        std::size_t nameAt = 0, nameLength = 0, valueAt = 0, valueLength = 0;
        std::string_view name() const { return std::string_view(text).substr(nameAt, nameLength); }
        std::string_view value() const
        {
            return std::string_view(text).substr(valueAt, valueLength);
        }
    };
    static Line makeLine(std::string text, End end);
    struct KeyLine
    {
        std::size_t index = 0;
        std::string value; // trimmed, as stored
    };

    std::optional<std::size_t> findSection(std::string_view section) const;
    std::size_t sectionEnd(std::size_t header) const;
    std::optional<KeyLine> findKey(std::size_t header, std::string_view key) const;
    End newLineEnd() const;

    std::vector<Line> m_lines;
    Encoding m_encoding = Encoding::Utf8;
    bool m_readable = true;
};

// Cuts UTF-8 text to at most maxChars characters without splitting a character.
std::string cutToChars(std::string_view text, std::size_t maxChars);
