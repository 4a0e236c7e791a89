#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "control/FleetMonitor.h"
#include "records/ProductionRecorder.h"
#include "records/RecordsWriter.h"

class ConfigFile;

// Where the history lives and how long it keeps rows, from the settings file: section
// Z62History, keys KeepDays (default 400) and Shifts (default "08:00-20:00,20:00-08:00").
struct HistorySettings
{
    std::string path;
    int keepDays = 400;
    std::string shifts = "08:00-20:00,20:00-08:00";
    // The program watches the machines (the window, watch, serve), rather than only sending.
    bool watching = true;
};
HistorySettings readHistorySettings(const ConfigFile& config);

// The production history of one watching program: the fleet monitor's events and the
// acknowledged transfers become rows, written on a thread of its own. Call onEvent from the
// monitor's listener and onTransfer once a machine acknowledged a design; the destructor
// ends every open run and writes what is queued.
class ProductionRecording
{
public:
    ProductionRecording(const HistorySettings& settings, RecordsWriter::FaultFn fault);
    ~ProductionRecording();
    ProductionRecording(const ProductionRecording&) = delete;
    ProductionRecording& operator=(const ProductionRecording&) = delete;

    void onEvent(const FleetEvent& event, const FleetMonitor& monitor);
    // Call from the monitor's first-answer listener.
    void onFirstAnswer(const FleetMachine& seen) { m_recorder.onFirstAnswer(seen, wallClockMillis()); }
    // A design's bytes went out to a machine; its acknowledgement, when it comes, carries the
    // checksum to the history.
    void noteSent(const std::string& address, const std::string& name, std::string checksum);
    // The machine took the design whole. Without a checksum, the one noted for it is used.
    void onTransfer(const std::string& address, const SentDesign& design,
                    std::string checksum = {});
    // Watching ends: each machine's last row and open run carry the stitch it had reached. The
    // destructor ends it without, when this was not called.
    void end(const FleetMonitor& monitor);
    void flush() { m_writer.flush(); }
    bool stopped() const { return m_writer.stopped(); }

private:
    RecordsWriter m_writer;
    ProductionRecorder m_recorder;
    std::mutex m_mutex;
    std::map<std::string, std::pair<std::string, std::string>> m_noted; // name, checksum by address
};
