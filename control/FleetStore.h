#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

// The design last sent to one machine from this PC.
struct SentDesign
{
    std::string name; // file name without its folder
    std::int32_t stitches = 0;
    std::int32_t colors = 0;
    // The design number the machine acknowledged; 0 when unknown.
    std::int32_t designId = 0;
    // Seconds since 1970-01-01 UTC: wall-clock time, so it means something after a restart.
    std::int64_t sentAt = 0;

    bool operator==(const SentDesign&) const = default;
};

// Sent designs by canonical machine address.
using SentDesignMap = std::map<std::string, SentDesign>;

// "a.b.c.d" with four decimal parts 0 to 255 (blanks around the whole allowed, leading zeros
// dropped); nullopt for anything else, so one machine has one spelling.
std::optional<std::string> canonicalAddress(std::string_view text);

// A design name as it is kept: the folder dropped, control characters and broken UTF-8
// replaced, cut to kMaxDesignNameBytes without splitting a character.
std::string cleanDesignName(std::string_view fileName);

inline constexpr std::size_t kMaxDesignNameBytes = 255;
// Larger files are not read at all: nobody's fleet needs that much.
inline constexpr std::size_t kMaxFleetFileBytes = 1024 * 1024;
// Entries past this many are dropped, the oldest sends first.
inline constexpr std::size_t kMaxFleetEntries = 1024;

// The text of the fleet file, entries in address order.
std::string serializeFleetFile(const SentDesignMap& designs);
// The entries of a fleet file's text. nullopt when the text is not a fleet file of this
// version (another program's file, or a newer format); bad entries are skipped one by one.
std::optional<SentDesignMap> parseFleetFile(std::string_view text);

// The fleet file: a small settings-style file of its own beside the configuration file, so
// the configuration file's keys stay as they are.
class FleetStore
{
public:
    static constexpr std::string_view kFileName = "hoopwatch-fleet.ini";

    explicit FleetStore(std::string path) : m_path(std::move(path)) {}
    // The fleet file in the folder of the given configuration file.
    static std::string pathBeside(const std::string& configPath);

    const std::string& path() const { return m_path; }

    // The stored entries; empty when there is no file. A file that is too large, unreadable
    // or not a fleet file reads as empty and is never overwritten afterwards (writable()).
    SentDesignMap load();
    // False after load() found a file that must not be replaced.
    bool writable() const { return m_writable; }
    // Replaces the file as a whole (temporary file, then rename), so a reader sees the old
    // file or the new one, never a mixture. False when nothing was written.
    bool save(const SentDesignMap& designs) const;

private:
    std::string m_path;
    bool m_writable = true;
};
