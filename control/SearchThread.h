#pragma once

#include <string>
#include <thread>

#include "control/LinkSettings.h"

// What one sweep did.
struct SearchSweep
{
    bool skipped = false; // no socket, or no subnet prefix: nothing was sent or written
    std::string localAddress;
    std::string prefix;
    int probesSent = 0;   // sends that succeeded
    int probesFailed = 0; // sends that failed (each noted in the configuration file)
};

// The prefix a sweep probes: settings.searchPrefix when given, else the local address's.
std::string sweepPrefix(const LinkSettings& settings);

// One sweep of a /24 subnet: empties the machine table, notes the local address, and sends a
// Search probe to prefix + 0 ... prefix + 255 on the machine port. Answers arrive at the
// ReceiverThread. The prefix is settings.searchPrefix when given, else the local address's.
SearchSweep runSearchSweep(const LinkSettings& settings);

// Runs one sweep on a thread of its own; 256 sends, then it ends.
class SearchThread
{
public:
    explicit SearchThread(LinkSettings settings);
    // Waits for the sweep to end (it is bounded by its 256 sends).
    ~SearchThread();
    SearchThread(const SearchThread&) = delete;
    SearchThread& operator=(const SearchThread&) = delete;

    void start();
    // Waits for the sweep to end.
    void wait();

private:
    LinkSettings m_settings;
    std::jthread m_thread;
};
