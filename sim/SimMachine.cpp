#include "sim/SimMachine.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <system_error>

#include "app/Utf8Path.h"
#include "link/CommandPacket.h"

#include "design/DesignLoader.h"

namespace {

// The machine side reads the wire on its own, at the offsets the protocol fixes, so the
// simulator checks the PC side instead of sharing its encoder.
constexpr std::size_t kFileBlockAt = 64;
constexpr std::size_t kFileDataAt = 336;
constexpr std::size_t kParameterAt = 64;
constexpr std::uint32_t kMagic = 0x87654321u;

std::uint32_t u32(std::span<const std::uint8_t> b, std::size_t at)
{
    if (at + 4 > b.size())
        return 0;
    return std::uint32_t(b[at]) | std::uint32_t(b[at + 1]) << 8 | std::uint32_t(b[at + 2]) << 16 |
           std::uint32_t(b[at + 3]) << 24;
}

std::int32_t i32(std::span<const std::uint8_t> b, std::size_t at)
{
    return static_cast<std::int32_t>(u32(b, at));
}

unsigned u8(std::span<const std::uint8_t> b, std::size_t at)
{
    return at < b.size() ? b[at] : 0;
}

unsigned u16(std::span<const std::uint8_t> b, std::size_t at)
{
    return u8(b, at) | u8(b, at + 1) << 8;
}

std::int16_t i16(std::span<const std::uint8_t> b, std::size_t at)
{
    return static_cast<std::int16_t>(u16(b, at));
}

void put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = std::uint8_t(v >> (8 * i));
}

std::string jsonText(const std::string& text)
{
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += char(c);
        }
    }
    return out + "\"";
}

// The format field says only DSB (1) or not (2), and the name may have lost its suffix to the
// 13-byte field, so the bytes decide between DST, TBF and DSR. DST records always carry the
// two low bits of their third byte; TBF records use a small set of control bytes.
bool recordsMatch(std::span<const std::uint8_t> bytes, std::size_t header, std::size_t size,
                  bool (*fits)(const std::uint8_t* record), std::uint8_t endByte)
{
    if (bytes.size() < header + size)
        return false;
    for (std::size_t at = header; at + size <= bytes.size(); at += size) {
        if (!fits(&bytes[at]))
            return false;
        if (bytes[at + 2] == endByte)
            break;
    }
    return true;
}

std::optional<DesignFormat> formatOfFile(std::int32_t formatField, const std::string& name,
                                         std::span<const std::uint8_t> bytes)
{
    if (formatField == 1)
        return DesignFormat::Dsb;
    if (const auto byName = designFormatForPath(name); byName && *byName != DesignFormat::Dsb)
        return byName;
    if (recordsMatch(
            bytes, 512, 3, [](const std::uint8_t* r) { return (r[2] & 0x03) == 0x03; }, 0xF3))
        return DesignFormat::Dst;
    const auto tbfByte = [](const std::uint8_t* r) {
        switch (r[2]) {
        case 0x4D:
        case 0x69:
        case 0x80:
        case 0x81:
        case 0x86:
        case 0x88:
        case 0x89:
        case 0x8F:
        case 0x90:
            return true;
        default:
            return false;
        }
    };
    if (recordsMatch(bytes, 0x600, 3, tbfByte, 0x8F))
        return DesignFormat::Tbf;
    if (bytes.size() > 256 + 4)
        return DesignFormat::Dsr;
    return std::nullopt;
}

// The stitches a machine would sew from the received bytes; 0 when they are no design.
std::int32_t countStitches(std::optional<DesignFormat> format, std::span<const std::uint8_t> bytes)
{
    if (!format)
        return 0;
    Design design;
    if (!readDesignBytes(*format, bytes, &design.stitches, &design.extents))
        return 0;
    summarizeDesign(&design);
    return design.summary.stitchCount > 0 ? design.summary.stitchCount : 0;
}

const char* suffixOf(DesignFormat format)
{
    switch (format) {
    case DesignFormat::Dst:
        return ".dst";
    case DesignFormat::Dsb:
        return ".dsb";
    case DesignFormat::Tbf:
        return ".tbf";
    case DesignFormat::Dsr:
        return ".dsr";
    }
    return "";
}

// FNV-1a, 64 bits, as 16 hex digits.
std::string fingerprint(std::span<const std::uint8_t> bytes)
{
    std::uint64_t hash = 14695981039346656037ull;
    for (const std::uint8_t b : bytes)
        hash = (hash ^ b) * 1099511628211ull;
    char text[17] = {};
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

} // namespace

std::optional<std::vector<std::string>> expandAddressRange(std::string_view text)
{
    const auto parsePart = [](std::string_view part) -> std::optional<int> {
        if (part.empty() || part.size() > 3)
            return std::nullopt;
        int v = 0;
        for (char c : part) {
            if (c < '0' || c > '9')
                return std::nullopt;
            v = v * 10 + (c - '0');
        }
        return v <= 255 ? std::optional<int>(v) : std::nullopt;
    };
    const std::size_t lastDot = text.rfind('.');
    if (lastDot == std::string_view::npos)
        return std::nullopt;
    const std::string_view prefix = text.substr(0, lastDot + 1);
    // The first three parts are checked by the same rule as the last one.
    std::string_view rest = prefix;
    for (int i = 0; i < 3; ++i) {
        const std::size_t dot = rest.find('.');
        if (dot == std::string_view::npos || !parsePart(rest.substr(0, dot)))
            return std::nullopt;
        rest.remove_prefix(dot + 1);
    }
    if (!rest.empty())
        return std::nullopt;
    const std::string_view last = text.substr(lastDot + 1);
    const std::size_t dash = last.find('-');
    const auto from = parsePart(last.substr(0, dash));
    const auto to = dash == std::string_view::npos ? from : parsePart(last.substr(dash + 1));
    if (!from || !to || *to < *from)
        return std::nullopt;
    std::vector<std::string> addresses;
    for (int v = *from; v <= *to; ++v)
        addresses.push_back(std::string(prefix) + std::to_string(v));
    return addresses;
}

std::string safeDesignName(std::span<const std::uint8_t> field)
{
    std::string name;
    for (std::size_t i = 0; i < field.size() && i < 13 && field[i] != 0; ++i) {
        const char c = static_cast<char>(field[i]);
        // No folder separator, and no drive (a Windows path joined with "C:x" leaves the folder).
        name += (c == '/' || c == '\\' || c == ':') ? '_' : c;
    }
    if (name.empty() || name == "." || name == "..")
        name = "unnamed";
    return name;
}

SimMachine::SimMachine(std::string address, const SimSettings& settings)
    : m_address(std::move(address)), m_settings(settings), m_start(Clock::now()),
      m_lastAdvance(m_start)
{
}

std::vector<std::uint8_t> SimMachine::reply(std::int32_t code, std::int32_t designId,
                                            std::size_t length) const
{
    std::vector<std::uint8_t> out(length, 0);
    put32(out, 0, kMagic);
    put32(out, 4, static_cast<std::uint32_t>(code));
    put32(out, 8, static_cast<std::uint32_t>(length));
    put32(out, 12, static_cast<std::uint32_t>(designId));
    return out;
}

std::optional<std::vector<std::uint8_t>> SimMachine::handle(std::span<const std::uint8_t> request,
                                                            const std::string& from,
                                                            Clock::time_point now)
{
    if (request.size() < 16)
        return std::nullopt;
    advance(now);
    const std::int32_t code = i32(request, 4);
    const std::int32_t requestId = i32(request, 12);
    std::string fields;
    std::optional<std::vector<std::uint8_t>> answer;
    switch (code) {
    case 1:
        answer = takeChunk(request, &fields);
        break;
    case 3:
        answer = reply(4, 0, kHeaderSize);
        break;
    case 5:
        answer = reply(6, m_designId, kHeaderSize);
        break;
    case 7:
        // Without a design it can sew, a machine stays idle and gives no start
        // acknowledgement; its status keeps saying it is not working.
        if (!m_working && m_stitchCount <= 0) {
            fields = ",\"working\":false,\"refused\":\"no design\"";
            break;
        }
        m_working = !m_working;
        // A finished design starts over when work starts again.
        if (m_working && m_stitchCount > 0 && m_stitch >= m_stitchCount)
            m_stitch = 0.0;
        fields = std::string(",\"working\":") + (m_working ? "true" : "false");
        answer = reply(8, m_designId, kHeaderSize);
        break;
    case 9:
        takeParameters(request, &fields);
        answer = reply(10, m_designId, kHeaderSize);
        break;
    case 11: {
        auto out = reply(12, m_designId, 128);
        defaultColorPalette().encode(std::span(out).subspan(kHeaderSize));
        answer = std::move(out);
        break;
    }
    case 15:
        m_embState = 1;
        answer = reply(16, m_designId, kHeaderSize);
        break;
    case 17:
        m_embState = 0;
        answer = reply(18, m_designId, kHeaderSize);
        break;
    case 19: {
        auto out = reply(20, m_designId, 112);
        out[64] = m_working ? 1 : 0;
        out[65] = m_embState;
        put32(out, 64 + 20, static_cast<std::uint32_t>(currentStitch()));
        fields = ",\"working\":" + std::string(m_working ? "true" : "false") +
                 ",\"embroidery\":" + std::to_string(m_embState) +
                 ",\"stitch\":" + std::to_string(currentStitch());
        answer = std::move(out);
        break;
    }
    default:
        break;
    }
    // The whole request as a fingerprint, so two senders' logs can be compared byte for byte.
    fields += ",\"received\":" + std::to_string(request.size()) + ",\"fnv\":\"" +
              fingerprint(request) + "\"";
    writeLog(from, code, requestId, fields);
    return answer;
}

std::vector<std::uint8_t> SimMachine::takeChunk(std::span<const std::uint8_t> request,
                                                std::string* logFields)
{
    // A datagram too short for its block reads as zeros and is acknowledged but not kept.
    const auto block = request.size() >= kFileDataAt ? request.subspan(kFileBlockAt, 272)
                                                     : std::span<const std::uint8_t>{};
    const std::string name = safeDesignName(block.size() >= 136 ? block.subspan(8, 128)
                                                                : std::span<const std::uint8_t>{});
    const std::int32_t format = i32(block, 4);
    const std::int32_t length = i32(block, 136);
    const std::int32_t number = i32(block, 140);
    const std::int32_t count = i32(block, 144);
    *logFields = ",\"name\":" + jsonText(name) + ",\"format\":" + std::to_string(format) +
                 ",\"number\":" + std::to_string(number) + ",\"count\":" + std::to_string(count) +
                 ",\"length\":" + std::to_string(length) +
                 ",\"blockMagic\":" + std::to_string(u32(block, 0)) +
                 ",\"size\":" + std::to_string(request.size());

    const bool sane = u32(block, 0) == 0x12345678u && count >= 1 && count <= 4000 && number >= 1 &&
                      number <= count && length >= 1 &&
                      length <= static_cast<std::int32_t>(kChunkDataSize) &&
                      request.size() >= kFileDataAt + static_cast<std::size_t>(length);
    if (sane) {
        PartialFile& file = m_partial[name];
        if (number == 1 || file.count != count) {
            file.count = count;
            file.format = format;
            file.chunks.assign(static_cast<std::size_t>(count), std::nullopt);
        }
        file.chunks[static_cast<std::size_t>(number - 1)] = std::vector<std::uint8_t>(
            request.begin() + kFileDataAt, request.begin() + kFileDataAt + length);
        const bool complete = std::all_of(file.chunks.begin(), file.chunks.end(),
                                          [](const auto& c) { return c.has_value(); });
        if (complete) {
            finishFile(name, file);
            m_partial.erase(name);
            return reply(2, m_designId, kHeaderSize);
        }
    }
    return reply(2, m_designId + 1, kHeaderSize);
}

void SimMachine::finishFile(const std::string& name, const PartialFile& file)
{
    std::vector<std::uint8_t> bytes;
    for (const auto& chunk : file.chunks)
        bytes.insert(bytes.end(), chunk->begin(), chunk->end());

    namespace fs = std::filesystem;
    std::error_code ec;
    const bool keep = !m_settings.saveDir.empty();
    const fs::path dir =
        keep ? pathFromUtf8(m_settings.saveDir)
             : fs::temp_directory_path(ec) /
                   ("z62-sim-" + m_address + "-" + std::to_string(std::random_device{}()));
    fs::create_directories(dir, ec);
    const auto format = formatOfFile(file.format, name, bytes);
    // A name cut to 13 bytes is saved with the suffix of what it holds.
    const bool named = format && designFormatForPath(name) == format;
    // The name came off the wire: bytes that are not UTF-8 (a name cut inside a character)
    // give a plain name rather than one guessed in some code page.
    fs::path fileName = pathFromUtf8(named || !format ? name : name + suffixOf(*format));
    if (fileName.empty())
        fileName = pathFromUtf8(format ? std::string("unnamed") + suffixOf(*format) : "unnamed");
    const fs::path path = dir / fileName;
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    }
    m_stitchCount = countStitches(format, bytes);
    if (!keep) {
        fs::remove(path, ec);
        fs::remove(dir, ec);
    }
    ++m_designId;
    m_stitch = 0.0;
    m_designName = path.filename().string();
    m_working = m_settings.autoSew && m_stitchCount > 0;
    m_startAt.reset();
    if (m_working)
        m_embState = 1;
    if (m_working && m_settings.startDelay > 0) {
        m_working = false;
        m_startAt = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                       std::chrono::duration<double>(m_settings.startDelay));
    }
    if (m_settings.log) {
        std::fprintf(m_settings.log,
                     "{\"t\":%.6f,\"address\":%s,\"saved\":%s,\"bytes\":%zu,\"designId\":%d,"
                     "\"stitches\":%d}\n",
                     std::chrono::duration<double>(Clock::now().time_since_epoch()).count(),
                     jsonText(m_address).c_str(), jsonText(path.string()).c_str(), bytes.size(),
                     m_designId, m_stitchCount);
        std::fflush(m_settings.log);
    }
}

void SimMachine::takeParameters(std::span<const std::uint8_t> request, std::string* logFields) const
{
    const auto p = request.subspan(std::min(kParameterAt, request.size()));
    const unsigned colorCount = u16(p, 998);
    std::string colors = "[";
    for (unsigned i = 0; i < colorCount && i < 980; ++i)
        colors += (i ? "," : "") + std::to_string(u8(p, 18 + i));
    colors += "]";
    *logFields =
        ",\"size\":" + std::to_string(request.size()) +
        ",\"direction\":" + std::to_string(u8(p, 2)) + ",\"angle\":" + std::to_string(u8(p, 3)) +
        ",\"scaleX\":" + std::to_string(u16(p, 4)) + ",\"scaleY\":" + std::to_string(u16(p, 6)) +
        ",\"priority\":" + std::to_string(u8(p, 8)) +
        ",\"repeatMode\":" + std::to_string(u8(p, 9)) +
        ",\"repeatOrder\":" + std::to_string(u8(p, 10)) +
        ",\"repeatX\":" + std::to_string(u8(p, 11)) + ",\"repeatY\":" + std::to_string(u8(p, 12)) +
        ",\"spacingX\":" + std::to_string(i16(p, 14)) +
        ",\"spacingY\":" + std::to_string(i16(p, 16)) +
        ",\"colorCount\":" + std::to_string(colorCount) + ",\"colors\":" + colors;
}

void SimMachine::advance(Clock::time_point now)
{
    if (m_startAt && now >= *m_startAt) {
        // Sewing begins at the delayed start, not at the request that notices it.
        m_startAt.reset();
        m_working = true;
        m_lastAdvance = std::max(m_lastAdvance, now);
        return;
    }
    const double seconds = std::chrono::duration<double>(now - m_lastAdvance).count();
    m_lastAdvance = now;
    if (!m_working || m_embState != 1 || seconds <= 0.0)
        return;
    const double before = m_stitch;
    m_stitch = std::min<double>(m_stitch + seconds * m_settings.speed, m_stitchCount);
    m_sewnTotal += m_stitch - before;
    if (m_stitch >= m_stitchCount) {
        m_working = false;
        if (m_settings.sewnLog) {
            std::fprintf(m_settings.sewnLog,
                         "{\"address\":%s,\"design\":%s,\"designId\":%d,\"stitches\":%d,"
                         "\"sewn\":%.0f}\n",
                         jsonText(m_address).c_str(), jsonText(m_designName).c_str(), m_designId,
                         m_stitchCount, m_sewnTotal);
            std::fflush(m_settings.sewnLog);
        }
    }
}

void SimMachine::writeLog(const std::string& from, std::int32_t code, std::int32_t designId,
                          const std::string& fields) const
{
    if (!m_settings.log)
        return;
    std::fprintf(
        m_settings.log, "{\"t\":%.6f,\"address\":%s,\"from\":%s,\"code\":%d,\"designId\":%d%s}\n",
        std::chrono::duration<double>(Clock::now().time_since_epoch()).count(),
        jsonText(m_address).c_str(), jsonText(from).c_str(), code, designId, fields.c_str());
    std::fflush(m_settings.log);
}
