#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "control/FleetMonitor.h"
#include "design/Design.h"

// The progress pictures of the page: the design last sent to a machine, found by its recorded
// name in the given folders, drawn grey with the sewn part in colour, as PNG. A file is taken
// only when its stitch and colour counts are the recorded ones, so another file of the same
// name is never shown as the machine's design.
class ShopDrawings
{
public:
    static constexpr std::int32_t kWidth = 240;
    static constexpr std::int32_t kHeight = 180;

    explicit ShopDrawings(std::vector<std::string> folders);

    // nullopt when the machine has no recorded design or its file is not found.
    std::optional<std::string> png(const FleetMachine& machine);

private:
    struct Entry
    {
        std::string name;
        std::int64_t sentAt = 0;
        std::shared_ptr<const Design> design; // null: not found
        std::chrono::steady_clock::time_point lookedUp;
        std::int32_t drawnStep = -1; // the progress step of `png`
        std::string png;
    };

    std::shared_ptr<const Design> find(const SentDesign& sent) const;

    std::vector<std::string> m_folders;
    std::mutex m_mutex;
    std::map<std::string, Entry> m_entries; // by address
};
