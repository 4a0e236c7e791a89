#include "control/StitchRate.h"

#include <algorithm>
#include <cmath>

namespace {

// More answers than this inside the window add nothing but memory.
constexpr std::size_t kMaxSamples = 256;

} // namespace

void StitchRate::add(FleetTime now, bool working, std::int32_t stitch, bool newDesign)
{
    if (!working) {
        m_samples.clear();
        return;
    }
    // A stitch number that runs backwards or a new design starts a new run.
    if (!m_samples.empty() && (stitch < m_samples.back().stitch || newDesign))
        m_samples.clear();
    if (stitch >= 0)
        m_samples.push_back({now, stitch});
    while (m_samples.size() > 1 &&
           (m_samples.front().time < now - m_window || m_samples.size() > kMaxSamples))
        m_samples.pop_front();
}

std::optional<double> StitchRate::perMinute() const
{
    if (m_samples.size() < 2)
        return std::nullopt;
    const double span =
        std::chrono::duration<double>(m_samples.back().time - m_samples.front().time).count();
    // Answers close together (a second poller asking the same machine) say little about speed.
    if (span < 1.0)
        return std::nullopt;
    return double(m_samples.back().stitch - m_samples.front().stitch) * 60.0 / span;
}

std::optional<double> sewnPercent(std::int32_t stitch, std::int32_t total)
{
    if (total <= 0 || stitch < 0)
        return std::nullopt;
    return std::min(100.0, 100.0 * double(stitch) / double(total));
}

std::optional<std::int64_t> secondsLeft(std::int32_t stitch, std::int32_t total,
                                        std::optional<double> perMinute)
{
    if (stitch >= total)
        return 0;
    if (!perMinute || *perMinute <= 0)
        return std::nullopt;
    const double left = (double(total) - double(stitch)) * 60.0 / *perMinute;
    return static_cast<std::int64_t>(std::ceil(left));
}
