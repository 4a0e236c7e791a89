#pragma once

#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <thread>

#include "control/LinkSettings.h"
#include "control/LinkState.h"

inline constexpr std::chrono::milliseconds kPollPeriod{3000};
// Machines the poller reads from the table; later entries are never polled.
inline constexpr int kPollMaxMachines = 100;

// Asks the first chosen machine for its state every period. The thread ends for good when the
// table is empty, or when no machine has been chosen since it started; the answers go to the
// ReceiverThread.
class PollThread
{
public:
    PollThread(LinkSettings settings, LinkState& state,
               std::chrono::milliseconds period = kPollPeriod);
    // Stops and joins.
    ~PollThread();
    PollThread(const PollThread&) = delete;
    PollThread& operator=(const PollThread&) = delete;

    void start();
    // Returns within moments, also in the middle of a pause.
    void stop();
    // False before start() and once the thread has ended on its own or been stopped.
    bool isRunning() const { return m_running; }
    int queriesSent() const { return m_sent; }

private:
    void run(std::stop_token stop);
    // One pass: the address to poll now, or nothing when the thread is to end.
    std::optional<std::string> pollAddress();

    LinkSettings m_settings;
    LinkState& m_state;
    std::chrono::milliseconds m_period;
    std::optional<std::string> m_address; // kept from the last pass that found a chosen machine
    std::atomic<bool> m_running{false};
    std::atomic<int> m_sent{0};
    std::jthread m_thread;
};
