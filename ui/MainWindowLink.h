#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QString>

#include "app/ConfigFile.h"
#include "app/UiTexts.h"
#include "control/ControlSession.h"
#include "control/DesignDelivery.h"
#include "control/TransferAcks.h"
#include "control/ViewProgress.h"

class ProductionRecording;
class QTimer;
class QWidget;
struct LinkSettings;
class LinkState;

// The main window's side of the machine link: runs the control session (receiver, search
// sweeps, status poller), turns its replies into message boxes on the UI thread, and runs the
// design transfer and the machine commands for the window's buttons.
class MainWindowLink : public ReceiverListener
{
public:
    enum class Command { Jog, Lever, ConfirmOrRelease };

    MainWindowLink(QWidget* window, ConfigFile config, const LinkSettings& settings,
                   LinkState& state);
    ~MainWindowLink() override;

    // The language of the messages; the window's language step sets it.
    void setLanguage(int language) { m_language = language; }

    // Starts the receiver, a search sweep when asked, and the status poller.
    void start(bool search);
    void startSearch();
    // Ends every thread; returns once they have ended.
    void stop();

    // Button 1001: sends the design file to the first chosen machine under a modal progress
    // dialog with a cancel button; the design-file errors appear as messages. Returns the
    // machine when every datagram went out; the fleet records `design` for it once the machine
    // acknowledges.
    std::optional<std::string> sendDesign(const std::string& path, const std::string& fileName,
                                          const SentDesign& design = {});
    // Sends the design file to every address at once, each machine its own paced transfer,
    // under one modal progress dialog with a line per machine; then one message sums up the
    // machines that acknowledged every part and names those that did not. Returns the
    // machines that acknowledged everything; the fleet records `design` for them.
    std::vector<std::string> sendDesignToMany(const std::string& path, const std::string& fileName,
                                              const std::vector<std::string>& addresses,
                                              const SentDesign& design = {});
    // Lever or embroidery confirm for several machines, one command each.
    void commandMany(Command command, const std::vector<std::string>& addresses);
    // "name (address)" for a machine, as the table names it now.
    std::string label(const std::string& address) const;

    // Starts the fleet monitor on the session's receive loop (after start()). The callbacks
    // run on network threads.
    FleetSession& startFleet(FleetMonitor::Listener listener, FleetSession::RecordedFn recorded);
    FleetSession* fleet() const { return m_session.fleet(); }

    // A file of a batch whose datagrams all went out, as the fleet and its drawing take it.
    struct BatchFile
    {
        std::string address;
        std::string name;
        Design design;
        std::vector<std::uint32_t> colors; // the colours an import would give its blocks
    };
    // Hands a batch file to the fleet (on the batch's worker thread); nothing without a chosen
    // machine or a fleet.
    std::optional<BatchFile> batchFileSent(const std::string& path, const std::string& name,
                                           FleetTime started);
    // The acknowledgements of a transfer (button 1001 or a batch) count towards it instead of
    // each showing a box: one "Successful sending of Design!" when all are in, or one warning
    // when some are still missing ackGrace() after the last datagram. beginTransfer() starts
    // the count for `target`; chunkSent() may be called from the sending thread.
    // `design`, when given, is named with the machine in the messages of the outcome.
    std::uint64_t beginTransfer(const std::string& target, const std::string& design = {});
    void chunkSent(std::uint64_t id) { m_acks.chunkSent(id); }
    // The transfer has ended: `whole` when every datagram went out. `file` is what `target`
    // now holds, so the view shows its progress only on that design.
    void endTransfer(std::uint64_t id, const std::string& target, bool whole,
                     const std::optional<DesignFileStamp>& file);
    const TransferAcks& acks() const { return m_acks; }
    void setAckGrace(std::chrono::milliseconds grace) { m_ackGrace = grace; }
    std::chrono::milliseconds ackGrace() const { return m_ackGrace; }

    // The progress the view shows for the design `file` of `stitchCount` stitches, and
    // whether the polled machine has stopped answering (nothing estimated then).
    ProgressShown progressShown(const std::optional<DesignFileStamp>& file,
                                std::int32_t stitchCount, const MachineStatus& status) const;
    // True once the fleet monitor counts the polled machine offline (it answered none of its
    // last polls, or none at all).
    bool polledMachineOffline() const;
    // Called on the receiver's thread after each status answer of the polled machine.
    void setStatusTaken(std::function<void()> taken) { m_statusTaken = std::move(taken); }

    // Buttons 1003, 1004 and 1006 for the machine whose box is ticked first.
    void command(Command command, const std::optional<std::string>& selectedAddress);

    // Starts a new status poller when the last one has ended (it ends while the table is
    // empty or nothing is chosen) and gives the fleet the table anew; the window calls it after
    // every list load.
    void resumePolling();
    bool isPolling() const;

    std::string localAddress() const;
    // The port answers arrive at (0 before start or when the socket failed).
    std::uint16_t listenPort() const;

    // ReceiverListener, called on the receiver's thread.
    void onReply(const Reply& reply) override;
    void onSocketFailed() override;

private:
    // Posts the message, with an optional second line, to the UI thread; `machine` is the
    // address it concerns, for the message log.
    void post(TextId id, const QString& detail = {}, const std::string& machine = {});
    void message(TextId id, const std::string& machine = {});
    void transferComplete();
    void transferExpired();

    QWidget* m_window;
    ConfigFile m_config;
    const LinkSettings& m_settings;
    LinkState& m_state;
    std::atomic<int> m_language{0};
    // Outlives the session, whose fleet reports into it until it stops.
    std::unique_ptr<ProductionRecording> m_recording;
    ControlSession m_session;
    bool m_started = false;
    TransferAcks m_acks;
    ViewProgress m_progress;
    std::chrono::milliseconds m_ackGrace = kAckGrace;
    std::unique_ptr<QTimer> m_graceTimer; // fires ackGrace() after a transfer's last datagram
    std::uint64_t m_graceTransfer = 0;    // the transfer the grace timer judges
    std::function<void()> m_statusTaken;
    QString m_transferNames;              // "design  →  name (address)" of the transfer
    std::atomic<DesignDelivery*> m_delivery{nullptr}; // the delivery to several machines under way
};
