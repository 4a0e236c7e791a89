#include "control/MachineCommands.h"

#include <algorithm>
#include <array>

#include "app/ConfigFile.h"
#include "app/MachineTable.h"
#include "link/PacketCipher.h"
#include "link/UdpSocket.h"

CommandTarget tableTarget(const LinkSettings& settings)
{
    const MachineTable table{ConfigFile(settings.configPath)};
    // One lock around both reads, so a search running meanwhile cannot split them.
    return ConfigFile::transaction([&] {
        return CommandTarget{table.count(), table.firstChosenAddress()};
    });
}

CommandOutcome sendMachineCommand(CommandCode code, const CommandTarget& target,
                                  std::int32_t designId, const LinkSettings& settings)
{
    CommandOutcome outcome;
    UdpSocket socket;
    if (!socket.open())
        return outcome;
    if (target.machineCount == 0) {
        outcome.message = TextId::MachineNotOnline;
        return outcome;
    }
    if (!target.address) {
        outcome.message = TextId::UnselectedMachine;
        return outcome;
    }
    auto datagram = buildPlainCommand(code, designId);
    const PacketCipher cipher(settings.key);
    cipher.encrypt(datagram.data(), static_cast<std::int32_t>(datagram.size()));
    // The answer, not the send result, tells whether the machine got it.
    (void)socket.sendTo(*target.address, settings.machinePort, datagram);
    outcome.sent = true;
    return outcome;
}

CommandOutcome sendJog(const CommandTarget& target, std::int32_t designId,
                       const LinkSettings& settings)
{
    return sendMachineCommand(CommandCode::Jog, target, designId, settings);
}

CommandOutcome sendLever(const CommandTarget& target, std::int32_t designId,
                         const LinkSettings& settings)
{
    return sendMachineCommand(CommandCode::Lever, target, designId, settings);
}

CommandCode embroideryCommandFor(std::uint8_t embroideryState)
{
    return embroideryState == 0 ? CommandCode::EmbConfirm : CommandCode::EmbRelease;
}

CommandOutcome sendEmbroideryToggle(const CommandTarget& target, std::uint8_t embroideryState,
                                    std::int32_t designId, const LinkSettings& settings)
{
    return sendMachineCommand(embroideryCommandFor(embroideryState), target, designId, settings);
}

bool sendPaletteQuery(const CommandTarget& target, std::int32_t designId,
                      const LinkSettings& settings)
{
    return sendMachineCommand(CommandCode::PaletteQuery, target, designId, settings).sent;
}

void setColorSequence(ParameterBlock* block, std::span<const std::int32_t> colors,
                      std::int32_t count)
{
    block->colorSequence.fill(0);
    const std::size_t kept = std::min({colors.size(), block->colorSequence.size(),
                                       static_cast<std::size_t>(std::max<std::int32_t>(count, 0))});
    for (std::size_t i = 0; i < kept; ++i)
        block->colorSequence[i] = colors[i];
    block->colorCount = count;
}

CommandOutcome sendParameters(const std::string& address, int machineCount, std::int32_t designId,
                              const ParameterBlock& block, const LinkSettings& settings)
{
    CommandOutcome outcome;
    if (designId == 0) {
        outcome.message = TextId::NoMatchingDesign;
        return outcome;
    }
    UdpSocket socket;
    if (!socket.open())
        return outcome;
    if (machineCount == 0) {
        outcome.message = TextId::MachineNotOnline;
        return outcome;
    }
    const PacketCipher cipher(settings.key);
    const std::vector<std::uint8_t> datagram = buildParametersDatagram(block, designId, cipher);
    (void)socket.sendTo(address, settings.machinePort, datagram);
    outcome.sent = true;
    return outcome;
}

AwaitedReply awaitReply(const UdpSocket& socket, const PacketCipher& cipher, ReplyKind expected,
                        const std::string& from, std::chrono::milliseconds wait)
{
    AwaitedReply out;
    const auto deadline = std::chrono::steady_clock::now() + wait;
    std::array<std::uint8_t, kReceiveBufferSize> buffer{};
    while (true) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return out;
        // Zeroed for every datagram, so a short one never reads an earlier one's bytes.
        buffer.fill(0);
        auto received = socket.receive(buffer, left);
        if (!received)
            continue;
        Reply reply = decodeReply(buffer, received->length, received->sender, cipher);
        // Only the machine asked counts, and only with the whole answer.
        if (reply.kind == expected && reply.sender == from && reply.isFullLength()) {
            out.reply = std::move(reply);
            return out;
        }
        ++out.skipped;
    }
}
