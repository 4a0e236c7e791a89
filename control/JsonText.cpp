#include "control/JsonText.h"

#include <array>
#include <cstdio>

#include "app/Utf8.h"

std::string jsonString(std::string_view text)
{
    std::string out = "\"";
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t length = utf8CharLength(text, at);
        if (length == 0) {
            // Escaped rather than written as bytes, so the line stays plain ASCII there.
            out += "\\ufffd";
            ++at;
            continue;
        }
        const char c = text[at];
        if (length > 1) {
            out += text.substr(at, length);
        } else if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            std::array<char, 8> escape{};
            std::snprintf(escape.data(), escape.size(), "\\u%04x", static_cast<unsigned>(c));
            out += escape.data();
        } else {
            out += c;
        }
        at += length;
    }
    out += '"';
    return out;
}
