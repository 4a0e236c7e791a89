#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "link/CommandPacket.h"
#include "link/Reply.h"

// A block shared between threads: replaced whole, read as a copy.
template <typename T> class SharedBlock
{
public:
    explicit SharedBlock(T initial = T{}) : m_value(std::move(initial)) {}

    void store(const T& value)
    {
        std::lock_guard lock(m_mutex);
        m_value = value;
    }
    T snapshot() const
    {
        std::lock_guard lock(m_mutex);
        return m_value;
    }

private:
    mutable std::mutex m_mutex;
    T m_value;
};

// The values the receiver keeps up to date for the rest of the application. One object,
// owned by the application and handed to the threads by reference.
class LinkState
{
public:
    // Design number last reported by a machine; 0 until the first reply.
    std::atomic<std::int32_t> currentDesignId{0};
    SharedBlock<MachineStatus> machineStatus;
    SharedBlock<ColorPalette> colorPalette{defaultColorPalette()};
    // Set by the first PaletteReply and never cleared.
    std::atomic<bool> paletteReceived{false};
    // Asks the one-second timer to repaint; starts set.
    std::atomic<bool> repaintRequested{true};
    // One-shot repaint request, consumed by the timer with exchange(false).
    std::atomic<bool> statusChanged{false};

    // Takes in one decoded reply: its design number where its kind carries one, the palette,
    // the status, and the repaint flags of the embroidery acknowledgements.
    void applyReply(const Reply& reply);

    // Takes in a StatusReply's block: stores it, and requests a repaint when the work state,
    // embroidery state or change marker differs from the previous reply's.
    void applyStatusReply(const MachineStatus& status);

    // Sets the current stitch number to 0 and keeps the rest (a new design has no progress).
    void clearProgress();

    // Names the machine whose StatusReply the main view takes. From the first call on, a
    // StatusReply from any other sender leaves the status and the repaint flags alone, so a
    // second poller (the fleet) never moves the main view; an empty address takes none. Before
    // any call every sender counts, for a front-end that polls nothing itself.
    void setPolledAddress(std::string_view address);
    std::optional<std::string> polledAddress() const;
    // Whether a StatusReply from `sender` is for the main view.
    bool takesStatusFrom(std::string_view sender) const;

private:
    struct Watched
    {
        std::uint8_t workState = 0;
        std::uint8_t embroideryState = 0;
        std::uint8_t changeMarker = 0;
        bool operator==(const Watched&) const = default;
    };
    std::mutex m_statusMutex; // orders whole status updates against each other
    Watched m_previous;
    mutable std::mutex m_polledMutex;
    std::optional<std::string> m_polled; // canonical "a.b.c.d", or empty for none
};
