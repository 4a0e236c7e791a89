#include "app/ProfileDocument.h"

#include <algorithm>
#include <cstdint>

namespace {

constexpr std::string_view kBlanks = " \t\v\f\r";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

std::string_view trim(std::string_view text)
{
    const auto first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(kBlanks);
    return text.substr(first, last - first + 1);
}

char lowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalsNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lowerAscii(a[i]) != lowerAscii(b[i]))
            return false;
    }
    return true;
}

enum class LineKind { Other, Section, Key, Comment };

struct ParsedLine
{
    LineKind kind = LineKind::Other;
    std::string_view name;
    std::string_view value;
};

ParsedLine classify(std::string_view text)
{
    const std::string_view line = trim(text);
    if (line.empty())
        return {};
    if (line.front() == ';')
        return {LineKind::Comment, {}, {}};
    if (line.front() == '[') {
        std::string_view name = line.substr(1);
        const auto close = name.rfind(']');
        if (close != std::string_view::npos)
            name = name.substr(0, close);
        return {LineKind::Section, trim(name), {}};
    }
    const auto equals = line.find('=');
    if (equals == std::string_view::npos)
        return {};
    const std::string_view key = trim(line.substr(0, equals));
    if (key.empty())
        return {};
    return {LineKind::Key, key, trim(line.substr(equals + 1))};
}

// Length of the UTF-8 sequence starting at text[at], or 1 for a byte that starts none.
std::size_t sequenceLength(std::string_view text, std::size_t at)
{
    const auto lead = static_cast<std::uint8_t>(text[at]);
    std::size_t length = 1;
    if (lead >= 0xF0 && lead <= 0xF4)
        length = 4;
    else if (lead >= 0xE0)
        length = (lead <= 0xEF) ? 3 : 1;
    else if (lead >= 0xC2)
        length = 2;
    if (at + length > text.size())
        return 1;
    for (std::size_t i = 1; i < length; ++i) {
        if ((static_cast<std::uint8_t>(text[at + i]) & 0xC0) != 0x80)
            return 1;
    }
    return length;
}

void appendUtf8(std::string* out, std::uint32_t cp)
{
    if (cp < 0x80) {
        out->push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

constexpr std::uint32_t kReplacement = 0xFFFD;

std::string utf16ToUtf8(std::string_view bytes, bool bigEndian)
{
    std::string out;
    out.reserve(bytes.size());
    const std::size_t lowAt = bigEndian ? 1 : 0;
    const auto unit = [&](std::size_t i) {
        return static_cast<std::uint32_t>(
            static_cast<std::uint8_t>(bytes[2 * i + lowAt]) |
            (static_cast<std::uint8_t>(bytes[2 * i + 1 - lowAt]) << 8));
    };
    const std::size_t units = bytes.size() / 2;
    for (std::size_t i = 0; i < units; ++i) {
        const std::uint32_t u = unit(i);
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units) {
            const std::uint32_t low = unit(i + 1);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                appendUtf8(&out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
                ++i;
                continue;
            }
        }
        appendUtf8(&out, (u >= 0xD800 && u <= 0xDFFF) ? kReplacement : u);
    }
    return out;
}

std::uint32_t decodeAt(std::string_view text, std::size_t at, std::size_t length)
{
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[at + i]); };
    switch (length) {
    case 2:
        return ((byte(0) & 0x1Fu) << 6) | (byte(1) & 0x3Fu);
    case 3:
        return ((byte(0) & 0x0Fu) << 12) | ((byte(1) & 0x3Fu) << 6) | (byte(2) & 0x3Fu);
    case 4:
        return ((byte(0) & 0x07u) << 18) | ((byte(1) & 0x3Fu) << 12) | ((byte(2) & 0x3Fu) << 6) |
               (byte(3) & 0x3Fu);
    default:
        return byte(0) < 0x80 ? byte(0) : kReplacement;
    }
}

std::string utf8ToUtf16(std::string_view text, bool bigEndian)
{
    std::string out;
    out.reserve(text.size() * 2);
    const auto put = [&](std::uint32_t u) {
        const auto lowByte = static_cast<char>(u & 0xFF);
        const auto highByte = static_cast<char>((u >> 8) & 0xFF);
        out.push_back(bigEndian ? highByte : lowByte);
        out.push_back(bigEndian ? lowByte : highByte);
    };
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = sequenceLength(text, at);
        const std::uint32_t cp = decodeAt(text, at, length);
        at += length;
        if (cp >= 0x10000) {
            put(0xD800 + ((cp - 0x10000) >> 10));
            put(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            put(cp);
        }
    }
    return out;
}

} // namespace

std::string cutToChars(std::string_view text, std::size_t maxChars)
{
    std::size_t at = 0;
    for (std::size_t chars = 0; chars < maxChars && at < text.size(); ++chars)
        at += sequenceLength(text, at);
    return std::string(text.substr(0, at));
}

ProfileDocument::Line ProfileDocument::makeLine(std::string text, End end)
{
    Line line;
    line.text = std::move(text);
    line.end = end;
    const ParsedLine parsed = classify(line.text);
    switch (parsed.kind) {
    case LineKind::Section:
        line.kind = Kind::Section;
        break;
    case LineKind::Key:
        line.kind = Kind::Key;
        break;
    case LineKind::Comment:
        line.kind = Kind::Comment;
        break;
    case LineKind::Other:
        break;
    }
    const char* base = line.text.data();
    if (!parsed.name.empty()) {
        line.nameAt = static_cast<std::size_t>(parsed.name.data() - base);
        line.nameLength = parsed.name.size();
    }
    if (!parsed.value.empty()) {
        line.valueAt = static_cast<std::size_t>(parsed.value.data() - base);
        line.valueLength = parsed.value.size();
    }
    return line;
}

ProfileDocument ProfileDocument::parse(std::string_view bytes)
{
    ProfileDocument doc;
    std::string decoded;
    std::string_view text = bytes;
    if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {
        doc.m_encoding = Encoding::Utf16Le;
        decoded = utf16ToUtf8(bytes.substr(2), false);
        text = decoded;
    } else if (bytes.size() >= 2 && bytes[0] == '\xFE' && bytes[1] == '\xFF') {
        doc.m_encoding = Encoding::Utf16Be;
        decoded = utf16ToUtf8(bytes.substr(2), true);
        text = decoded;
    } else if (bytes.substr(0, kUtf8Bom.size()) == kUtf8Bom) {
        doc.m_encoding = Encoding::Utf8Bom;
        text = bytes.substr(kUtf8Bom.size());
    }
    doc.m_lines.reserve(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1);
    std::size_t start = 0;
    while (start < text.size()) {
        const auto newline = text.find('\n', start);
        if (newline == std::string_view::npos) {
            doc.m_lines.push_back(makeLine(std::string(text.substr(start)), End::None));
            break;
        }
        std::string_view line = text.substr(start, newline - start);
        End end = End::Lf;
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
            end = End::CrLf;
        }
        doc.m_lines.push_back(makeLine(std::string(line), end));
        start = newline + 1;
    }
    return doc;
}

ProfileDocument ProfileDocument::unreadable()
{
    ProfileDocument doc;
    doc.m_readable = false;
    return doc;
}

std::string ProfileDocument::serialize() const
{
    std::size_t size = 0;
    for (const Line& line : m_lines)
        size += line.text.size() + 2;
    std::string text;
    text.reserve(size);
    for (const Line& line : m_lines) {
        text += line.text;
        if (line.end == End::CrLf)
            text += "\r\n";
        else if (line.end == End::Lf)
            text += '\n';
    }
    switch (m_encoding) {
    case Encoding::Utf16Le:
        return "\xFF\xFE" + utf8ToUtf16(text, false);
    case Encoding::Utf16Be:
        return "\xFE\xFF" + utf8ToUtf16(text, true);
    case Encoding::Utf8Bom:
        return std::string(kUtf8Bom) + text;
    case Encoding::Utf8:
        break;
    }
    return text;
}

std::optional<std::size_t> ProfileDocument::findSection(std::string_view section) const
{
    const std::string_view wanted = trim(section);
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        if (m_lines[i].kind == Kind::Section && equalsNoCase(m_lines[i].name(), wanted))
            return i;
    }
    return std::nullopt;
}

std::size_t ProfileDocument::sectionEnd(std::size_t header) const
{
    for (std::size_t i = header + 1; i < m_lines.size(); ++i) {
        if (m_lines[i].kind == Kind::Section)
            return i;
    }
    return m_lines.size();
}

std::optional<ProfileDocument::KeyLine> ProfileDocument::findKey(std::size_t header,
                                                                 std::string_view key) const
{
    const std::string_view wanted = trim(key);
    for (std::size_t i = header + 1; i < m_lines.size(); ++i) {
        const Line& line = m_lines[i];
        if (line.kind == Kind::Section)
            break;
        if (line.kind == Kind::Key && equalsNoCase(line.name(), wanted))
            return KeyLine{i, std::string(line.value())};
    }
    return std::nullopt;
}

ProfileDocument::End ProfileDocument::newLineEnd() const
{
    for (const Line& line : m_lines) {
        if (line.end == End::CrLf)
            return End::CrLf;
    }
    return End::Lf;
}

std::optional<std::string> ProfileDocument::value(std::string_view section,
                                                  std::string_view key) const
{
    const auto header = findSection(section);
    if (!header)
        return std::nullopt;
    const auto found = findKey(*header, key);
    if (!found)
        return std::nullopt;
    std::string_view text = found->value;
    // A value enclosed in one pair of matching quotes is read without them.
    if (text.size() >= 2 && (text.front() == '"' || text.front() == '\'') &&
        text.back() == text.front())
        text = text.substr(1, text.size() - 2);
    return cutToChars(text, kMaxValueChars);
}

bool ProfileDocument::set(std::string_view section, std::string_view key, std::string_view rawValue)
{
    // A value is one line: a line break inside it would start new lines of the file.
    std::string value(rawValue);
    for (char& c : value) {
        if (c == '\n' || c == '\r' || c == '\0')
            c = ' ';
    }
    const End end = newLineEnd();
    const auto header = findSection(section);
    if (!header) {
        if (!m_lines.empty() && m_lines.back().end == End::None)
            m_lines.back().end = end;
        m_lines.push_back(makeLine("[" + std::string(section) + "]", end));
        m_lines.push_back(makeLine(std::string(key) + "=" + value, end));
        return true;
    }
    if (const auto found = findKey(*header, key)) {
        if (found->value == value)
            return false;
        Line& line = m_lines[found->index];
        // Keep the key's spelling as the file has it.
        line = makeLine(std::string(line.name()) + "=" + value, line.end);
        return true;
    }
    // A new key goes after the last non-blank line of its section.
    const std::size_t stop = sectionEnd(*header);
    std::size_t last = *header;
    for (std::size_t i = *header + 1; i < stop; ++i) {
        if (!trim(m_lines[i].text).empty())
            last = i;
    }
    if (m_lines[last].end == End::None)
        m_lines[last].end = end;
    m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(last + 1),
                   makeLine(std::string(key) + "=" + value, end));
    return true;
}

std::vector<std::string> ProfileDocument::sectionNames() const
{
    std::vector<std::string> names;
    for (const Line& line : m_lines) {
        if (line.kind != Kind::Section)
            continue;
        bool seen = false;
        for (const std::string& name : names)
            seen = seen || equalsNoCase(name, line.name());
        if (!seen)
            names.emplace_back(line.name());
    }
    return names;
}
