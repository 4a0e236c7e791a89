#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "link/CommandPacket.h"

class PacketCipher;

// What a machine's datagram turned out to be. Each kind is the reply code it came with.
enum class ReplyKind {
    Ignored,
    SearchReply,
    DesignChunkAck,
    ParametersAck,
    JogAck,
    LeverAck,
    EmbConfirmAck,
    EmbReleaseAck,
    PaletteReply,
    DesignIdReport,
    StatusReply,
};

// Why a datagram was not taken as a reply.
enum class IgnoreReason {
    None,
    TooShort,     // less than one whole block: not even the code can be read
    ShortForCode, // a palette under 128 bytes or a status under 112
    RequestCode,  // a request, such as the PC's own search probe
    UnknownCode,  // a code the protocol does not have
    TooLong,      // more than the receive buffer holds
    NotAsked,     // left to the listener: a sender that no request of ours went to
};

// One received datagram, decoded. Only the fields its kind carries are set.
struct Reply
{
    ReplyKind kind = ReplyKind::Ignored;
    IgnoreReason ignored = IgnoreReason::None;
    std::int32_t code = 0;
    // The design number the reply carries; it counts only where takesDesignId() holds.
    std::int32_t designId = 0;
    // Bytes that arrived, including a tail too short for a whole block.
    std::size_t length = 0;
    std::string sender;
    std::optional<MachineStatus> status;
    std::optional<ColorPalette> palette;

    // Every reply but the search answer and the status replaces the current design number.
    bool takesDesignId() const;
    // True when as many bytes arrived as a machine sends for this kind.
    bool isFullLength() const;
};

// The length a machine sends for a reply of this kind: the 64-byte header for the search
// answer and the acknowledgements, 80 for the design-number report, 112 for the status and 128
// for the palette; 0 for Ignored.
std::size_t fullReplyLength(ReplyKind kind);

// Decrypts, in place, the whole 16-byte blocks of the first `received` bytes of `buffer` and
// returns them; a cut last block and anything past the buffer are left out.
std::span<std::uint8_t> decryptWholeBlocks(std::span<std::uint8_t> buffer, std::size_t received,
                                           const PacketCipher& cipher);

// Reads an already decrypted datagram; `plain` holds its whole blocks, `received` the
// length that arrived.
Reply decodeReplyPlain(std::span<const std::uint8_t> plain, std::size_t received,
                       std::string sender);

// Decrypts a received datagram in `buffer` (it is changed) and decodes it. A datagram is
// taken in a buffer of kReceiveBufferSize bytes; a longer one is ignored.
Reply decodeReply(std::span<std::uint8_t> buffer, std::size_t received, std::string sender,
                  const PacketCipher& cipher);
