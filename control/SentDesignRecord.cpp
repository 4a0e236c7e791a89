#include "control/SentDesignRecord.h"

#include <algorithm>
#include <chrono>

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
