#include "control/FleetStore.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <system_error>
#include <vector>

#include "app/Utf8.h"
#include "app/Utf8Path.h"

namespace {

constexpr std::string_view kHeaderSection = "HoopwatchFleet";
constexpr std::string_view kVersionLine = "version=1";

// A whole decimal number in [low, high]: digits only, no sign, no blanks.
template <typename T> std::optional<T> parseNumber(std::string_view text, T low, T high)
{
    if (text.empty() || text.size() > 19)
        return std::nullopt;
    T value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.front() == '-' ||
        value < low || value > high)
        return std::nullopt;
    return value;
}

struct Entry
{
    std::optional<std::string> name;
    std::optional<std::int32_t> stitches, colors, designId;
    std::optional<std::int64_t> sentAt;
    bool bad = false; // a key it must not have, or a value that does not parse
};

std::optional<SentDesign> complete(const Entry& entry)
{
    if (entry.bad || !entry.name || !entry.stitches || !entry.colors || !entry.designId ||
        !entry.sentAt)
        return std::nullopt;
    return SentDesign{*entry.name, *entry.stitches, *entry.colors, *entry.designId, *entry.sentAt};
}

void takeKey(Entry& entry, std::string_view key, std::string_view value)
{
    constexpr std::int32_t kMax32 = INT32_MAX;
    const auto setOnce = [&](auto& field, auto parsed) {
        if (field || !parsed)
            entry.bad = true; // a duplicate key makes the entry doubtful
        else
            field = parsed;
    };
    if (key == "name") {
        // Only a name that reads back exactly as it was written is believed.
        const std::string clean = cleanDesignName(value);
        setOnce(entry.name,
                (!value.empty() && clean == value) ? std::optional(clean) : std::nullopt);
    } else if (key == "stitches") {
        setOnce(entry.stitches, parseNumber<std::int32_t>(value, 0, kMax32));
    } else if (key == "colors") {
        setOnce(entry.colors, parseNumber<std::int32_t>(value, 0, kMax32));
    } else if (key == "designId") {
        setOnce(entry.designId, parseNumber<std::int32_t>(value, 0, kMax32));
    } else if (key == "sentAt") {
        setOnce(entry.sentAt, parseNumber<std::int64_t>(value, 0, INT64_MAX));
    } else {
        entry.bad = true;
    }
}

// Keeps the kMaxFleetEntries most recent sends.
void trimToLimit(SentDesignMap& designs)
{
    while (designs.size() > kMaxFleetEntries) {
        const auto oldest = std::min_element(designs.begin(), designs.end(), [](auto& a, auto& b) {
            return a.second.sentAt < b.second.sentAt;
        });
        designs.erase(oldest);
    }
}

} // namespace

std::optional<std::string> canonicalAddress(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    std::string out;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (text.empty() || text.front() != '.')
                return std::nullopt;
            text.remove_prefix(1);
        }
        std::size_t digits = 0;
        while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9')
            ++digits;
        if (digits == 0 || digits > 3)
            return std::nullopt;
        const int value = std::stoi(std::string(text.substr(0, digits)));
        if (value > 255)
            return std::nullopt;
        out += (part > 0 ? "." : "") + std::to_string(value);
        text.remove_prefix(digits);
    }
    if (!text.empty())
        return std::nullopt;
    return out;
}

std::string cleanDesignName(std::string_view fileName)
{
    const std::size_t slash = fileName.find_last_of("/\\");
    if (slash != std::string_view::npos)
        fileName.remove_prefix(slash + 1);
    std::string out;
    std::size_t at = 0;
    while (at < fileName.size()) {
        std::size_t length = utf8CharLength(fileName, at);
        std::string_view piece = fileName.substr(at, length);
        if (length == 0) {
            piece = kReplacementChar;
            length = 1;
        } else if (length == 1 &&
                   (static_cast<unsigned char>(piece[0]) < 0x20 || piece[0] == 0x7F)) {
            piece = kReplacementChar;
        }
        if (out.size() + piece.size() > kMaxDesignNameBytes)
            break;
        out += piece;
        at += length;
    }
    return out;
}

std::string serializeFleetFile(const SentDesignMap& designs)
{
    std::string out = "; Hoopwatch: the design last sent to each machine from this PC.\n[";
    out += kHeaderSection;
    out += "]\n";
    out += kVersionLine;
    out += "\n";
    for (const auto& [address, design] : designs) {
        out += "\n[" + address + "]\n";
        out += "name=" + cleanDesignName(design.name) + "\n";
        out += "stitches=" + std::to_string(design.stitches) + "\n";
        out += "colors=" + std::to_string(design.colors) + "\n";
        out += "designId=" + std::to_string(design.designId) + "\n";
        out += "sentAt=" + std::to_string(design.sentAt) + "\n";
    }
    return out;
}

std::optional<SentDesignMap> parseFleetFile(std::string_view text)
{
    if (text.size() > kMaxFleetFileBytes)
        return std::nullopt;
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (!line.empty() && line.front() != ';')
            lines.push_back(line);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
    if (lines.size() < 2 || lines[0] != "[" + std::string(kHeaderSection) + "]" ||
        lines[1] != kVersionLine)
        return std::nullopt;

    SentDesignMap designs;
    std::optional<std::string> address; // of the section being read; nullopt inside a bad one
    Entry entry;
    const auto finish = [&] {
        if (address && designs.size() < kMaxFleetEntries && !designs.contains(*address)) {
            if (auto design = complete(entry))
                designs.emplace(*address, std::move(*design));
        }
        address.reset();
        entry = Entry{};
    };
    for (std::size_t i = 2; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        if (line.front() == '[') {
            finish();
            if (line.size() >= 2 && line.back() == ']')
                address = canonicalAddress(line.substr(1, line.size() - 2));
            continue;
        }
        const std::size_t equals = line.find('=');
        if (!address)
            continue;
        if (equals == std::string_view::npos)
            entry.bad = true;
        else
            takeKey(entry, line.substr(0, equals), line.substr(equals + 1));
    }
    finish();
    return designs;
}

std::string FleetStore::pathBeside(const std::string& configPath)
{
    return utf8FromPath(pathFromUtf8(configPath).parent_path() / kFileName);
}

SentDesignMap FleetStore::load()
{
    m_writable = true;
    std::error_code error;
    const std::filesystem::path file = pathFromUtf8(m_path);
    if (file.empty()) {
        m_writable = false;
        return {};
    }
    const auto status = std::filesystem::status(file, error);
    if (status.type() == std::filesystem::file_type::not_found)
        return {};
    if (error || !std::filesystem::is_regular_file(status)) {
        m_writable = false;
        return {};
    }
    const auto size = std::filesystem::file_size(file, error);
    if (error || size > kMaxFleetFileBytes) {
        m_writable = false;
        return {};
    }
    std::ifstream in(file, std::ios::binary);
    std::string text(std::istreambuf_iterator<char>(in), {});
    if (!in && !in.eof()) {
        m_writable = false;
        return {};
    }
    // A file left empty by an interrupted first write is ours to replace.
    if (text.find_first_not_of(" \t\r\n") == std::string::npos)
        return {};
    auto designs = parseFleetFile(text);
    if (!designs) {
        m_writable = false;
        return {};
    }
    return std::move(*designs);
}

bool FleetStore::save(const SentDesignMap& designs) const
{
    if (!m_writable || m_path.empty())
        return false;
    SentDesignMap kept = designs;
    trimToLimit(kept);
    const std::string text = serializeFleetFile(kept);

    std::random_device random;
    const std::filesystem::path file = pathFromUtf8(m_path);
    const std::filesystem::path temp =
        pathFromUtf8(m_path + ".tmp" + std::to_string(random() % 1000000));
    if (file.empty() || temp.empty())
        return false;
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        out.close();
        if (!out) {
            std::error_code ignored;
            std::filesystem::remove(temp, ignored);
            return false;
        }
    }
    std::error_code error;
    std::filesystem::rename(temp, file, error);
    if (error) {
        std::error_code ignored;
        std::filesystem::remove(temp, ignored);
        return false;
    }
    return true;
}
