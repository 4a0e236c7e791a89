#include "design/DesignLoader.h"

#include <cstdio>
#include <new>
#include <stdexcept>

#include "design/DsbReader.h"
#include "design/DsrReader.h"
#include "design/DstReader.h"
#include "design/RecordSink.h"
#include "design/TbfReader.h"

namespace {

struct SuffixEntry
{
    std::string_view suffix;
    DesignFormat format;
};

constexpr SuffixEntry kSuffixes[] = {
    {".dst", DesignFormat::Dst},
    {".dsb", DesignFormat::Dsb},
    {".tbf", DesignFormat::Tbf},
    {".dsr", DesignFormat::Dsr},
};

constexpr std::size_t kDsbHeaderSize = 512;

DesignSummary emptySummary()
{
    DesignSummary s;
    s.colorCount = 1;
    return s;
}

char upperAscii(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

} // namespace

bool hasSuffixNoCase(std::string_view path, std::string_view suffix)
{
    if (suffix.empty() || path.size() < suffix.size())
        return false;
    const std::size_t offset = path.size() - suffix.size();
    for (std::size_t i = suffix.size(); i-- > 0;) {
        if (upperAscii(path[offset + i]) != upperAscii(suffix[i]))
            return false;
    }
    return true;
}

std::optional<DesignFormat> designFormatForPath(std::string_view path)
{
    for (const SuffixEntry& e : kSuffixes) {
        if (hasSuffixNoCase(path, e.suffix))
            return e.format;
    }
    return std::nullopt;
}

std::optional<FileBytes> readAllBytes(std::size_t length, const ReadSomeFn& readSome)
{
    FileBytes buffer;
    try {
        buffer.resize(length);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    } catch (const std::length_error&) {
        return std::nullopt;
    }
    std::size_t done = 0;
    while (done < length) {
        const std::int64_t got = readSome(buffer.data() + done, length - done);
        if (got < 0)
            return std::nullopt;
        if (got == 0)
            break;
        done += static_cast<std::size_t>(got) < length - done ? static_cast<std::size_t>(got)
                                                              : length - done;
    }
    buffer.resize(done);
    return buffer;
}

bool readDesignBytes(DesignFormat format, std::span<const std::uint8_t> file, StitchList* list,
                     DesignExtents* extents)
{
    return readDesignBytes(format, file, list, extents, nullptr);
}

bool readDesignBytes(DesignFormat format, std::span<const std::uint8_t> file, StitchList* list,
                     DesignExtents* extents, DesignSummary* summary)
{
    if (summary != nullptr)
        *summary = emptySummary();
    switch (format) {
    case DesignFormat::Dst:
        return readDst(file, list, extents, summary);
    case DesignFormat::Dsb:
        // The DSB reader sees the records only; a file shorter than its header has none.
        return readDsb(bytesAfterHeader(file, kDsbHeaderSize), list, extents, summary);
    case DesignFormat::Tbf:
        return readTbf(file, list, extents, summary);
    case DesignFormat::Dsr:
        return readDsr(file, list, extents, summary);
    }
    return false;
}

bool loadDesign(const std::string& path, Design* design)
{
    if (design == nullptr)
        return false;
    const std::optional<DesignFormat> format = designFormatForPath(path);
    clearStitches(&design->stitches);
    design->summary = emptySummary();
    if (format) {
        // The bytes go as soon as the reader is done with them.
        if (auto bytes = readWholeFile(path))
            readDesignBytes(*format, *bytes, &design->stitches, &design->extents, &design->summary);
    }
    return format.has_value();
}

bool summarizeStitches(const StitchList& list, DesignSummary* summary)
{
    if (summary == nullptr)
        return false;
    DesignSummary s;
    s.stitchCount = list.count;
    s.colorCount = 1;
    const std::span<const Stitch> records = list.view();
    if (records.empty()) {
        *summary = s;
        return false;
    }
    // Truncation is monotone, so the extremes are found on the doubles and truncated once.
    double minX = records[0].x;
    double maxX = minX;
    double minY = records[0].y;
    double maxY = minY;
    // Per type: counts of the device bits and of SEQ (jumps only inside a span).
    std::int32_t byType[64] = {};
    std::int32_t jumpsInSpan = 0;
    std::int32_t colourChanges = 0;
    bool span = false;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const Stitch& r = records[i];
        minX = r.x < minX ? r.x : minX;
        maxX = r.x > maxX ? r.x : maxX;
        minY = r.y < minY ? r.y : minY;
        maxY = r.y > maxY ? r.y : maxY;
        const int c = code(r.type);
        if (c == code(StitchType::Normal))
            continue;
        if (c == code(StitchType::ColorChange)) {
            colourChanges += i > 0 ? 1 : 0;
        } else if (c >= 1 && c <= 3) {
            jumpsInSpan += span ? 1 : 0;
        } else if (c == code(StitchType::SequinOn)) {
            span = true;
        } else if (c == code(StitchType::SequinOff)) {
            span = false;
        } else if (c >= 5 && c <= 20) {
            ++byType[c];
        }
    }
    s.minX = truncateCoordinate(minX);
    s.maxX = truncateCoordinate(maxX);
    s.minY = truncateCoordinate(minY);
    s.maxY = truncateCoordinate(maxY);
    s.colorCount += colourChanges;
    s.countSeq = jumpsInSpan + byType[5];
    for (int c = 6; c <= 20; ++c) {
        const int set = c - 5;
        s.countA += (set & 1) ? byType[c] : 0;
        s.countB += (set & 2) ? byType[c] : 0;
        s.countC += (set & 4) ? byType[c] : 0;
        s.countD += (set & 8) ? byType[c] : 0;
    }
    *summary = s;
    return true;
}

bool summarizeDesign(Design* design)
{
    if (design == nullptr)
        return false;
    return summarizeStitches(design->stitches, &design->summary);
}

std::int32_t designHeightMm(const DesignSummary& summary)
{
    // The difference is taken in 64 bits: extremes of opposite sign may not fit in int32.
    return static_cast<std::int32_t>((std::int64_t{summary.maxY} - summary.minY) / 100);
}

std::int32_t designWidthMm(const DesignSummary& summary)
{
    return static_cast<std::int32_t>((std::int64_t{summary.maxX} - summary.minX) / 100);
}

std::string summaryLine(const DesignSummary& summary)
{
    char text[160];
    std::snprintf(text, sizeof text, "S:%d  C:%d  H:%d  W:%d  SEQ-%d A-%d B-%d C-%d D-%d",
                  int{summary.stitchCount}, int{summary.colorCount}, int{designHeightMm(summary)},
                  int{designWidthMm(summary)}, int{summary.countSeq}, int{summary.countA},
                  int{summary.countB}, int{summary.countC}, int{summary.countD});
    return text;
}
