#include "control/SentDesignRecord.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>

#include "control/FleetMonitor.h"
#include "design/DesignLoader.h"

SentDesign describeSentDesign(const std::string& path, const std::string& fileName,
                              std::int32_t designId, std::int64_t sentAt)
{
    SentDesign sent;
    sent.name = cleanDesignName(fileName);
    sent.designId = designId;
    sent.sentAt = sentAt;
    const std::optional<DesignFormat> format = designFormatForPath(path);
    if (!format)
        return sent;
    const auto bytes = readWholeFile(path);
    if (!bytes)
        return sent;
    DesignExtents extents;
    DesignSummary summary;
    readDesignBytes(*format, *bytes, nullptr, &extents, &summary);
    sent.stitches = std::max(0, summary.stitchCount);
    sent.colors = std::max(0, summary.colorCount);
    return sent;
}

bool recordSentDesign(const std::string& configPath, const std::string& address,
                      const SentDesign& design)
{
    FleetSettings settings;
    settings.storePath = FleetStore::pathBeside(configPath);
    // Only its fleet file is used: it polls nobody.
    FleetMonitor monitor(
        settings, [] { return std::chrono::steady_clock::now(); },
        [](const std::string&) { return false; });
    if (!monitor.storeWritable())
        return false;
    return monitor.recordSentDesign(address, design);
}

std::int64_t wallClockSeconds()
{
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

namespace {

constexpr std::array<std::uint32_t, 256> makeCrcTable()
{
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}

constexpr auto kCrcTable = makeCrcTable();

} // namespace

std::string designChecksum(std::span<const std::uint8_t> bytes)
{
    std::uint32_t crc = 0xFFFFFFFFu;
    for (const std::uint8_t byte : bytes)
        crc = kCrcTable[(crc ^ byte) & 0xFF] ^ (crc >> 8);
    char text[9];
    std::snprintf(text, sizeof text, "%08x", crc ^ 0xFFFFFFFFu);
    return text;
}
