#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>

using FleetTime = std::chrono::steady_clock::time_point;

// A machine's sewing speed, estimated from its status answers over a sliding window of time.
class StitchRate
{
public:
    StitchRate() = default;
    explicit StitchRate(std::chrono::seconds window) : m_window(window) {}

    // One status answer at `now`. A standing machine, a stitch number that runs backwards or
    // `newDesign` starts the estimate afresh.
    void add(FleetTime now, bool working, std::int32_t stitch, bool newDesign);
    void clear() { m_samples.clear(); }

    // Stitches per minute; nothing while there are too few answers, or answers too close
    // together, to tell.
    std::optional<double> perMinute() const;

private:
    struct Sample
    {
        FleetTime time;
        std::int32_t stitch = 0;
    };
    std::chrono::seconds m_window{30};
    std::deque<Sample> m_samples; // answers while working, oldest first
};

// The share of a design of `total` stitches sewn at `stitch`, in percent and at most 100;
// nothing when the design has no stitches or the stitch number is negative.
std::optional<double> sewnPercent(std::int32_t stitch, std::int32_t total);

// Whole seconds (rounded up) until `stitch` reaches `total` at `perMinute`: 0 at or past the
// end, nothing while the speed is unknown or not positive.
std::optional<std::int64_t> secondsLeft(std::int32_t stitch, std::int32_t total,
                                        std::optional<double> perMinute);
