#include "control/FleetJson.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <optional>

#include "app/TextWidth.h"
#include "app/Utf8.h"

namespace {

// Fixed-point text with one decimal, independent of the process locale.
std::string decimal(double value)
{
    if (!std::isfinite(value))
        return "null";
    std::array<char, 64> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(),
                                      std::round(value * 10.0) / 10.0, std::chars_format::fixed, 1);
    return std::string(buffer.data(), result.ptr);
}

// A share sewn is cut, not rounded: 99.96 % of a design is not yet 100 %.
std::string percentDecimal(double value)
{
    // The small allowance keeps a share that is whole but computed a hair below from being cut.
    return decimal(std::floor(value * 10.0 + 1e-9) / 10.0);
}

template <typename T> std::string numberOrNull(const std::optional<T>& value)
{
    if (!value)
        return "null";
    if constexpr (std::is_floating_point_v<T>)
        return decimal(*value);
    else
        return std::to_string(*value);
}

// Text safe to print on a terminal: control characters (which could steer it) become '?',
// broken UTF-8 becomes U+FFFD.
std::string printable(std::string_view text)
{
    std::string out;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t length = utf8CharLength(text, at);
        if (length == 0) {
            out += kReplacementChar;
            ++at;
            continue;
        }
        const auto lead = static_cast<unsigned char>(text[at]);
        const bool c0 = length == 1 && (lead < 0x20 || lead == 0x7F);
        const bool c1 =
            length == 2 && lead == 0xC2 && static_cast<unsigned char>(text[at + 1]) < 0xA0;
        out += (c0 || c1) ? std::string_view("?") : text.substr(at, length);
        at += length;
    }
    return out;
}

std::string stateText(const FleetMachine& machine)
{
    if (!machine.answered)
        return "no answer";
    return machine.online ? "online" : "offline";
}

std::string stitchText(const FleetMachine& machine)
{
    std::string out = std::to_string(machine.stitch);
    if (machine.design && machine.percent)
        out += "/" + std::to_string(machine.design->stitches);
    return out;
}

std::string orDash(const std::optional<std::string>& text)
{
    return text ? *text : std::string("-");
}

std::optional<std::string> percentText(const FleetMachine& m)
{
    return m.percent ? std::optional(percentDecimal(*m.percent) + "%") : std::nullopt;
}

std::optional<std::string> speedText(const FleetMachine& m)
{
    return m.stitchesPerMinute
               ? std::optional(std::to_string(std::lround(*m.stitchesPerMinute)) + "/min")
               : std::nullopt;
}

std::optional<std::string> leftText(const FleetMachine& m)
{
    return m.secondsLeft ? std::optional(formatDuration(*m.secondsLeft)) : std::nullopt;
}

} // namespace

std::string fleetJsonLine(const FleetMachine& m)
{
    const auto known = [&](auto value) {
        return m.answered ? std::to_string(value) : std::string("null");
    };
    std::string out = "{\"address\":" + jsonString(m.address);
    out += ",\"name\":" + (m.name.empty() ? std::string("null") : jsonString(m.name));
    out += ",\"online\":";
    out += m.online ? "true" : "false";
    out += ",\"work\":" + known(int(m.work));
    out += ",\"embroidery\":" + known(int(m.embroidery));
    out += ",\"designId\":" + known(m.designId);
    out += ",\"stitch\":" + known(m.stitch);
    out += ",\"design\":";
    if (m.design) {
        out += "{\"name\":" + jsonString(m.design->name);
        out += ",\"stitches\":" + std::to_string(m.design->stitches);
        out += ",\"colors\":" + std::to_string(m.design->colors);
        out += ",\"sentAt\":" + std::to_string(m.design->sentAt) + "}";
    } else {
        out += "null";
    }
    out += ",\"percent\":" + (m.percent ? percentDecimal(*m.percent) : std::string("null"));
    out += ",\"stitchesPerMinute\":" + numberOrNull(m.stitchesPerMinute);
    out += ",\"secondsLeft\":" + numberOrNull(m.secondsLeft);
    out += ",\"secondsSinceAnswer\":" + numberOrNull(m.secondsSinceAnswer);
    out += "}";
    return out;
}

std::string fleetTextLine(const FleetMachine& m)
{
    std::string out = m.address;
    if (!m.name.empty())
        out += " \"" + printable(m.name) + "\"";
    out += " " + stateText(m);
    if (m.answered) {
        out += m.work != 0 ? " working" : " standing";
        out += m.embroidery == 1 ? " confirmed" : " released";
        out += " stitch " + stitchText(m);
        if (auto percent = percentText(m))
            out += " " + *percent;
        if (auto speed = speedText(m))
            out += " " + *speed;
        if (auto left = leftText(m))
            out += " left " + *left;
    }
    if (m.design)
        out += " design " + printable(m.design->name);
    return out;
}

std::string fleetTable(std::span<const FleetMachine> machines)
{
    const auto row = [](std::initializer_list<std::string> cells) {
        // Columns on the terminal, one of them the gap to the next cell, which a cell too wide
        // for its column still keeps.
        static constexpr std::array<std::size_t, 9> widths = {16, 17, 10, 9, 10, 16, 7, 9, 9};
        std::string line;
        std::size_t i = 0;
        for (const std::string& cell : cells)
            line += i < widths.size() ? padToWidth(cell, widths[i++] - 1) + ' ' : cell;
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        return line + "\n";
    };
    std::string out = row(
        {"ADDRESS", "NAME", "STATE", "WORK", "EMB", "STITCH", "DONE", "PER MIN", "LEFT", "DESIGN"});
    for (const FleetMachine& m : machines) {
        const bool answered = m.answered;
        out += row({m.address, m.name.empty() ? "-" : printable(m.name), stateText(m),
                    answered ? (m.work != 0 ? "working" : "standing") : "-",
                    answered ? (m.embroidery == 1 ? "confirmed" : "released") : "-",
                    answered ? stitchText(m) : "-", orDash(percentText(m)), orDash(speedText(m)),
                    orDash(leftText(m)), m.design ? printable(m.design->name) : "-"});
    }
    return out;
}

std::string formatDuration(std::int64_t seconds)
{
    if (seconds < 0)
        seconds = 0;
    std::array<char, 32> buffer{};
    std::snprintf(buffer.data(), buffer.size(), "%lld:%02d:%02d",
                  static_cast<long long>(seconds / 3600), static_cast<int>(seconds / 60 % 60),
                  static_cast<int>(seconds % 60));
    return buffer.data();
}
