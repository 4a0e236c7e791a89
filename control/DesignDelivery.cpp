#include "control/DesignDelivery.h"

#include <algorithm>
#include <thread>

DesignDelivery::DesignDelivery(const LinkSettings& settings, Listener listener)
    : m_settings(settings), m_listener(std::move(listener))
{
}

DesignDelivery::~DesignDelivery() = default;

DeliveryProgress DesignDelivery::progressOf(const Machine& machine) const
{
    // An acknowledgement can overtake the sender's own count of what it sent; a datagram the
    // machine acknowledged was sent, so the count never shows fewer sent than acknowledged.
    const int acknowledged = machine.acks.count().acknowledged;
    return {machine.address, std::max(machine.chunksSent.load(), acknowledged),
            machine.chunkCount.load(), acknowledged};
}

std::vector<DeliveryProgress> DesignDelivery::progress() const
{
    std::lock_guard lock(m_mutex);
    std::vector<DeliveryProgress> out;
    for (const auto& machine : m_machines)
        out.push_back(progressOf(*machine));
    return out;
}

bool DesignDelivery::take(const Reply& reply)
{
    std::shared_ptr<Machine> machine;
    {
        std::lock_guard lock(m_mutex);
        for (const auto& candidate : m_machines)
            if (candidate->address == reply.sender)
                machine = candidate;
    }
    if (!machine || machine->acks.take(reply) == TransferAcks::Verdict::NotOurs)
        return false;
    if (m_listener.progress)
        m_listener.progress(progressOf(*machine));
    return true;
}

MachineDelivery DesignDelivery::deliver(Machine& machine, std::span<const std::uint8_t> bytes,
                                        std::string_view fileName, std::stop_token stop,
                                        std::chrono::milliseconds grace)
{
    MachineDelivery result;
    result.address = machine.address;
    const TransferProgressFn progress = [&](const TransferProgress& p) {
        machine.chunkCount = p.chunkCount;
        machine.chunksSent = p.chunksSent;
        machine.acks.chunkSent(machine.transfer);
        if (m_listener.progress)
            m_listener.progress(progressOf(machine));
    };
    result.outcome = sendDesignBytes(bytes, fileName, machine.address, m_settings, progress, stop);
    if (machine.acks.endSending(machine.transfer, result.outcome.sent) !=
        TransferAcks::Verdict::Complete) {
        // The machine has `grace` after the last datagram to acknowledge the rest; a stop
        // ends the wait at once. Bounded in time whatever the machine does.
        const auto until = std::chrono::steady_clock::now() + grace;
        while (result.outcome.sent && !stop.stop_requested() &&
               std::chrono::steady_clock::now() < until) {
            const AckCount count = machine.acks.count();
            if (count.acknowledged >= count.sent)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        machine.acks.expire(machine.transfer);
    }
    result.acks = machine.acks.count();
    result.designId = machine.acks.designId();
    if (m_listener.machineDone)
        m_listener.machineDone(result);
    return result;
}

std::vector<MachineDelivery> DesignDelivery::run(std::span<const std::uint8_t> bytes,
                                                 std::string_view fileName,
                                                 const std::vector<std::string>& addresses,
                                                 std::stop_token stop,
                                                 std::chrono::milliseconds grace)
{
    std::vector<std::shared_ptr<Machine>> machines;
    for (const std::string& address : addresses) {
        if (std::any_of(machines.begin(), machines.end(),
                        [&](const auto& m) { return m->address == address; }))
            continue;
        auto machine = std::make_shared<Machine>();
        machine->address = address;
        machine->transfer = machine->acks.begin(address);
        machines.push_back(std::move(machine));
    }
    {
        std::lock_guard lock(m_mutex);
        m_machines = machines;
    }
    std::vector<MachineDelivery> results(machines.size());
    {
        // Side by side: a slow or silent machine holds up no other.
        std::vector<std::jthread> threads;
        for (std::size_t i = 0; i < machines.size(); ++i)
            threads.emplace_back(
                [&, i] { results[i] = deliver(*machines[i], bytes, fileName, stop, grace); });
    }
    std::lock_guard lock(m_mutex);
    m_machines.clear();
    return results;
}
