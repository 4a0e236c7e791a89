#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "control/StitchRate.h"
#include "link/CommandPacket.h"

// A design file as the view recognises it again: the same path, size and modification time.
struct DesignFileStamp
{
    std::string path;
    std::uintmax_t size = 0;
    std::int64_t modified = 0;
    bool operator==(const DesignFileStamp&) const = default;
};
// Nothing for a path that names no readable regular file.
std::optional<DesignFileStamp> designFileStamp(const std::string& path);

// What the main view shows of the machine whose status it takes in.
struct ProgressShown
{
    // The design shown is the one last sent to that machine, so its sewn part is drawn.
    bool drawProgress = false;
    // Whole percent sewn and seconds left, only while the machine works at a known speed.
    std::optional<int> percent;
    std::optional<std::int64_t> secondsLeft;
    // The machine stopped answering: its last state is no longer its state.
    bool offline = false;
    bool operator==(const ProgressShown&) const = default;
};

// Remembers which design file went last to which machine, and the speed of the machine whose
// status the view shows, so that a machine's stitch number is drawn only on the design it sews.
// All methods may be called from any thread.
class ViewProgress
{
public:
    // The file last sent whole to `address`; nothing when what the machine holds is not known
    // (a stopped transfer).
    void recordSent(const std::string& address, std::optional<DesignFileStamp> file);
    // The design number the machine gave when it acknowledged the last transfer to it.
    void recordDesignId(const std::string& address, std::int32_t designId);
    // A status answer the view takes in, with the design number of its header.
    void onStatus(const std::string& sender, const MachineStatus& status, std::int32_t designId,
                  FleetTime now);

    // What to show for the design read from `file`, of `stitchCount` stitches, at `status`.
    ProgressShown shown(const std::optional<DesignFileStamp>& file, std::int32_t stitchCount,
                        const MachineStatus& status) const;

private:
    struct Sent
    {
        DesignFileStamp file;
        std::int32_t designId = 0;
    };

    mutable std::mutex m_mutex;
    std::map<std::string, Sent> m_sent;
    std::optional<std::string> m_sender; // the machine of the last status answer
    std::int32_t m_statusDesignId = 0;
    StitchRate m_rate;
};
