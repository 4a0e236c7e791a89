#include "control/ViewProgress.h"

#include <cmath>
#include <filesystem>
#include <system_error>

#include "app/Utf8Path.h"

std::optional<DesignFileStamp> designFileStamp(const std::string& path)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path file = pathFromUtf8(path);
    if (file.empty() || !fs::is_regular_file(file, ec))
        return std::nullopt;
    const auto size = fs::file_size(file, ec);
    if (ec)
        return std::nullopt;
    const auto modified = fs::last_write_time(file, ec);
    if (ec)
        return std::nullopt;
    return DesignFileStamp{path, size,
                           static_cast<std::int64_t>(modified.time_since_epoch().count())};
}

void ViewProgress::recordSent(const std::string& address, std::optional<DesignFileStamp> file)
{
    std::lock_guard lock(m_mutex);
    if (file)
        m_sent[address] = Sent{std::move(*file), 0};
    else
        m_sent.erase(address);
}

void ViewProgress::recordDesignId(const std::string& address, std::int32_t designId)
{
    std::lock_guard lock(m_mutex);
    const auto found = m_sent.find(address);
    if (found != m_sent.end())
        found->second.designId = designId;
}

void ViewProgress::onStatus(const std::string& sender, const MachineStatus& status,
                            std::int32_t designId, FleetTime now)
{
    std::lock_guard lock(m_mutex);
    const bool sameMachine = m_sender == sender;
    if (!sameMachine)
        m_rate.clear();
    m_rate.add(now, status.workState != 0, status.currentStitch,
               sameMachine && designId != m_statusDesignId);
    m_sender = sender;
    m_statusDesignId = designId;
}

ProgressShown ViewProgress::shown(const std::optional<DesignFileStamp>& file,
                                  std::int32_t stitchCount, const MachineStatus& status) const
{
    ProgressShown out;
    std::lock_guard lock(m_mutex);
    if (!file || !m_sender)
        return out;
    const auto found = m_sent.find(*m_sender);
    if (found == m_sent.end() || found->second.file != *file)
        return out;
    // A machine that reports another design number sews something that was not sent from here.
    const std::int32_t sentId = found->second.designId;
    if (sentId != 0 && m_statusDesignId != 0 && sentId != m_statusDesignId)
        return out;
    out.drawProgress = true;
    if (status.workState == 0)
        return out; // nothing to estimate while the machine stands
    const std::optional<double> rate = m_rate.perMinute();
    const std::optional<double> percent = sewnPercent(status.currentStitch, stitchCount);
    if (!rate || !percent)
        return out;
    // Rounded down, so 100 % means the end and not nearly there.
    out.percent = static_cast<int>(std::floor(*percent));
    out.secondsLeft = secondsLeft(status.currentStitch, stitchCount, rate);
    return out;
}
