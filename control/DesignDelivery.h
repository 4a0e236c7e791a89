#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "control/DesignTransfer.h"
#include "control/LinkSettings.h"
#include "control/TransferAcks.h"
#include "link/Reply.h"

// How the delivery of one design to one machine ended.
struct MachineDelivery
{
    std::string address;
    TransferOutcome outcome;
    AckCount acks;
    std::int32_t designId = 0; // the design number of the machine's last acknowledgement

    // Every datagram went out and the machine acknowledged each one.
    bool confirmed() const
    {
        return outcome.sent && acks.sent > 0 && acks.acknowledged >= acks.sent;
    }
};

// Where one machine's delivery stands while it runs.
struct DeliveryProgress
{
    std::string address;
    int chunksSent = 0;
    int chunkCount = 0;
    int acknowledged = 0;
};

// Sends one design to several machines at once: each machine gets its own paced transfer on a
// thread of its own, its own acknowledgement count and its own outcome. The receive loop
// offers every reply to take(); the acknowledgements of the machines under way are counted
// there and go no further. Callbacks run on the delivery's threads (and on the receiver's for
// acknowledgements) and must be safe there.
class DesignDelivery
{
public:
    struct Listener
    {
        // A datagram went out or an acknowledgement came in.
        std::function<void(const DeliveryProgress&)> progress;
        // One machine's delivery has ended: everything acknowledged, or its grace time is up,
        // or it was stopped.
        std::function<void(const MachineDelivery&)> machineDone;
    };

    explicit DesignDelivery(const LinkSettings& settings, Listener listener = {});
    ~DesignDelivery();
    DesignDelivery(const DesignDelivery&) = delete;
    DesignDelivery& operator=(const DesignDelivery&) = delete;

    // Sends `bytes` named `fileName` to every address (each once, in the order given) and
    // returns when every machine's delivery has ended: all its datagrams acknowledged, or
    // `grace` after its last datagram, or a stop. One result per address, in that order.
    std::vector<MachineDelivery> run(std::span<const std::uint8_t> bytes, std::string_view fileName,
                                     const std::vector<std::string>& addresses,
                                     std::stop_token stop = {},
                                     std::chrono::milliseconds grace = kAckGrace);

    // A reply of the receive loop. True when it was an acknowledgement of a machine under way,
    // counted here (the caller shows nothing for it).
    bool take(const Reply& reply);

    // The current state of every machine under way, in the order of run().
    std::vector<DeliveryProgress> progress() const;

private:
    struct Machine
    {
        std::string address;
        TransferAcks acks;
        std::uint64_t transfer = 0;
        std::atomic<int> chunksSent{0};
        std::atomic<int> chunkCount{0};
    };
    DeliveryProgress progressOf(const Machine& machine) const;
    MachineDelivery deliver(Machine& machine, std::span<const std::uint8_t> bytes,
                            std::string_view fileName, std::stop_token stop,
                            std::chrono::milliseconds grace);

    const LinkSettings& m_settings;
    Listener m_listener;
    mutable std::mutex m_mutex; // guards the list of machines, not their counts
    std::vector<std::shared_ptr<Machine>> m_machines;
};
