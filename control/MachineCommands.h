#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "app/UiTexts.h"
#include "link/CommandPacket.h"
#include "link/Reply.h"
#include "link/UdpSocket.h"
#include "control/LinkSettings.h"

// The machine a command goes to, as it stands at the press: the machine count of the table
// and the first ticked machine's address (the window's check boxes, or the table's IsChoose).
struct CommandTarget
{
    int machineCount = 0;
    std::optional<std::string> address;
};

// How a command ended: whether its datagram went out, and the message for the operator.
struct CommandOutcome
{
    bool sent = false;
    std::optional<TextId> message;
};

// The table's view of the target: `count` and the first entry whose IsChoose is not 0.
CommandTarget tableTarget(const LinkSettings& settings);

// One plain command (jog, lever, confirm, release, status query) to the target, carrying
// `designId`. Machine count 0 gives "not online", no ticked machine "unselected"; a socket
// that cannot be created ends it without a message.
CommandOutcome sendMachineCommand(CommandCode code, const CommandTarget& target,
                                  std::int32_t designId, const LinkSettings& settings);

// Button 1003.
CommandOutcome sendJog(const CommandTarget& target, std::int32_t designId,
                       const LinkSettings& settings);
// Button 1004: the same code whether the machine works or not.
CommandOutcome sendLever(const CommandTarget& target, std::int32_t designId,
                         const LinkSettings& settings);
// Button 1006: confirm while the embroidery state byte is 0, release for any other value.
CommandCode embroideryCommandFor(std::uint8_t embroideryState);
CommandOutcome sendEmbroideryToggle(const CommandTarget& target, std::uint8_t embroideryState,
                                    std::int32_t designId, const LinkSettings& settings);

// The palette query never shows a message: true when a request went out.
bool sendPaletteQuery(const CommandTarget& target, std::int32_t designId,
                      const LinkSettings& settings);

// Fills the colour-change part of a parameter block: the first `count` colour numbers (at
// most 980 are kept), the rest 0, and the colour count.
void setColorSequence(ParameterBlock* block, std::span<const std::int32_t> colors,
                      std::int32_t count);

// The parameter dialog's send (button 1036) to the address it was given. Design id 0 gives
// "No matching design!", machine count 0 "not online"; both send nothing.
CommandOutcome sendParameters(const std::string& address, int machineCount, std::int32_t designId,
                              const ParameterBlock& block, const LinkSettings& settings);

// What waiting for a command's answer brought.
struct AwaitedReply
{
    std::optional<Reply> reply;
    // Datagrams passed over: from another address, cut short, or not the awaited kind.
    int skipped = 0;
};

// Waits up to `wait` on `socket` for the answer of kind `expected` from `from`, at its full
// length; every other datagram is skipped and counted.
AwaitedReply awaitReply(const UdpSocket& socket, const PacketCipher& cipher, ReplyKind expected,
                        const std::string& from, std::chrono::milliseconds wait);
