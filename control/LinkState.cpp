#include "control/LinkState.h"

#include "control/FleetStore.h"

void LinkState::applyReply(const Reply& reply)
{
    if (reply.takesDesignId())
        currentDesignId = reply.designId;
    switch (reply.kind) {
    case ReplyKind::PaletteReply:
        if (reply.palette) {
            colorPalette.store(*reply.palette);
            paletteReceived = true;
        }
        break;
    case ReplyKind::EmbConfirmAck:
        repaintRequested = true;
        break;
    case ReplyKind::EmbReleaseAck:
        repaintRequested = false;
        break;
    case ReplyKind::StatusReply:
        if (reply.status && takesStatusFrom(reply.sender))
            applyStatusReply(*reply.status);
        break;
    default:
        break;
    }
}

void LinkState::applyStatusReply(const MachineStatus& status)
{
    std::lock_guard lock(m_statusMutex);
    machineStatus.store(status);
    const Watched now{status.workState, status.embroideryState, status.changeMarker};
    if (now == m_previous) {
        repaintRequested = false;
    } else {
        repaintRequested = true;
        statusChanged = true;
    }
    m_previous = now;
}

void LinkState::clearProgress()
{
    std::lock_guard lock(m_statusMutex);
    MachineStatus status = machineStatus.snapshot();
    status.currentStitch = 0;
    machineStatus.store(status);
}

void LinkState::setPolledAddress(std::string_view address)
{
    // One spelling per machine, so "127.000.0.1" in the table matches the sender 127.0.0.1;
    // an address that is no address matches no sender.
    std::string canonical = canonicalAddress(address).value_or(std::string());
    std::lock_guard lock(m_polledMutex);
    m_polled = std::move(canonical);
}

std::optional<std::string> LinkState::polledAddress() const
{
    std::lock_guard lock(m_polledMutex);
    return m_polled;
}

bool LinkState::takesStatusFrom(std::string_view sender) const
{
    std::lock_guard lock(m_polledMutex);
    if (!m_polled)
        return true;
    return !m_polled->empty() && canonicalAddress(sender) == *m_polled;
}
