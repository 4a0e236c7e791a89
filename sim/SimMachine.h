#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Settings shared by every simulated machine of one z62-sim process.
struct SimSettings
{
    std::string saveDir;      // where received designs are written; empty: a temporary folder
    double speed = 200.0;     // stitches per second while working and confirmed
    std::FILE* log = nullptr; // one JSON line per decrypted request, when set
    // Confirms and starts sewing by itself once a whole design has arrived, so a fleet moves
    // without an operator; the lever still stops and restarts it.
    bool autoSew = false;
    // With autoSew: seconds between a design's arrival and its start, as an operator hoops.
    double startDelay = 0.0;
    // One JSON line per design sewn to its end: the design, its stitches and the stitches this
    // machine has sewn in all, for comparing with what a watcher recorded.
    std::FILE* sewnLog = nullptr;
};

// One simulated Z62 machine: takes a decrypted request and produces the plaintext answer a
// machine gives. It keeps the state a status reply reports (work state, embroidery state,
// current stitch number) and reassembles received design files. No sockets here, so the
// front-end decides where answers go.
class SimMachine
{
public:
    using Clock = std::chrono::steady_clock;

    SimMachine(std::string address, const SimSettings& settings);

    // `request` is the decrypted datagram (whole 16-byte blocks; a Parameters datagram
    // arrives cut to 1104 bytes). `from` is the sender's address. Returns the plaintext
    // reply, or nothing when the request has no answer.
    std::optional<std::vector<std::uint8_t>> handle(std::span<const std::uint8_t> request,
                                                    const std::string& from, Clock::time_point now);

    const std::string& address() const { return m_address; }
    std::int32_t designId() const { return m_designId; }
    std::int32_t currentStitch() const { return static_cast<std::int32_t>(m_stitch); }
    bool working() const { return m_working; }
    std::uint8_t embroideryState() const { return m_embState; }

private:
    struct PartialFile
    {
        std::int32_t count = 0;
        std::int32_t format = 0; // the FileBlock's format field: 1 DSB, otherwise 2
        std::vector<std::optional<std::vector<std::uint8_t>>> chunks;
    };

    std::vector<std::uint8_t> reply(std::int32_t code, std::int32_t designId,
                                    std::size_t length) const;
    std::vector<std::uint8_t> takeChunk(std::span<const std::uint8_t> request,
                                        std::string* logFields);
    void takeParameters(std::span<const std::uint8_t> request, std::string* logFields) const;
    void finishFile(const std::string& name, const PartialFile& file);
    void advance(Clock::time_point now);
    void writeLog(const std::string& from, std::int32_t code, std::int32_t designId,
                  const std::string& fields) const;

    std::string m_address;
    const SimSettings& m_settings;
    Clock::time_point m_start;
    std::map<std::string, PartialFile> m_partial;
    std::int32_t m_designId = 0;    // number of the last completed file; 0 before any
    std::int32_t m_stitchCount = 0; // stitches of the design received last
    double m_stitch = 0.0;
    bool m_working = false;
    std::uint8_t m_embState = 0;
    Clock::time_point m_lastAdvance;
    std::optional<Clock::time_point> m_startAt; // a delayed automatic start
    std::string m_designName;
    double m_sewnTotal = 0.0;
};

// One address ("127.0.0.5") or a range in the last part ("127.0.0.1-254"), in order;
// nullopt when the text is neither or the range runs backwards.
std::optional<std::vector<std::string>> expandAddressRange(std::string_view text);

// The name field of a FileBlock as text: up to 13 bytes, stopping at the first zero, made
// safe as a plain file name (no directories, never empty).
std::string safeDesignName(std::span<const std::uint8_t> field);
