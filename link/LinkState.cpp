#include "link/LinkState.h"

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
