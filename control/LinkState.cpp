#include "control/LinkState.h"

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
        if (reply.status)
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
