#include "link/Reply.h"

#include <algorithm>

#include "link/ByteOrder.h"
#include "link/PacketCipher.h"

namespace {

constexpr std::size_t kBlockSize = 16;
// The code and the design number sit in the first block; a shorter reply is not read at all.
constexpr std::size_t kMinimumReply = kBlockSize;
constexpr std::size_t kPaletteReplyMinimum = kHeaderSize + kColorPaletteImageSize; // 128
constexpr std::size_t kStatusReplyMinimum = kHeaderSize + kMachineStatusSize;      // 112

Reply ignore(Reply reply, IgnoreReason reason)
{
    reply.kind = ReplyKind::Ignored;
    reply.ignored = reason;
    return reply;
}

} // namespace

bool Reply::takesDesignId() const
{
    switch (kind) {
    case ReplyKind::DesignChunkAck:
    case ReplyKind::ParametersAck:
    case ReplyKind::JogAck:
    case ReplyKind::LeverAck:
    case ReplyKind::EmbConfirmAck:
    case ReplyKind::EmbReleaseAck:
    case ReplyKind::PaletteReply:
    case ReplyKind::DesignIdReport:
        return true;
    default:
        return false;
    }
}

bool Reply::isFullLength() const
{
    return kind != ReplyKind::Ignored && length >= fullReplyLength(kind);
}

std::size_t fullReplyLength(ReplyKind kind)
{
    switch (kind) {
    case ReplyKind::Ignored:
        return 0;
    case ReplyKind::DesignIdReport:
        return kHeaderSize + 16; // four 32-bit values behind the header
    case ReplyKind::StatusReply:
        return kStatusReplyMinimum;
    case ReplyKind::PaletteReply:
        return kPaletteReplyMinimum;
    default:
        return kHeaderSize;
    }
}

std::span<std::uint8_t> decryptWholeBlocks(std::span<std::uint8_t> buffer, std::size_t received,
                                           const PacketCipher& cipher)
{
    const std::size_t usable = std::min(received, buffer.size()) / kBlockSize * kBlockSize;
    cipher.decrypt(buffer.data(), static_cast<std::int32_t>(usable));
    return buffer.first(usable);
}

Reply decodeReplyPlain(std::span<const std::uint8_t> plain, std::size_t received,
                       std::string sender)
{
    Reply reply;
    reply.length = received;
    reply.sender = std::move(sender);
    if (received > kReceiveBufferSize)
        return ignore(std::move(reply), IgnoreReason::TooLong);
    plain = plain.first(std::min(plain.size(), received) / kBlockSize * kBlockSize);
    if (plain.size() < kMinimumReply)
        return ignore(std::move(reply), IgnoreReason::TooShort);
    reply.code = getI32le(plain, CommandPacket::kCodeAt);
    reply.designId = getI32le(plain, CommandPacket::kDesignIdAt);

    switch (CommandCode(reply.code)) {
    case CommandCode::SearchReply:
        reply.kind = ReplyKind::SearchReply;
        break;
    case CommandCode::DesignChunkAck:
        reply.kind = ReplyKind::DesignChunkAck;
        break;
    case CommandCode::ParametersAck:
        reply.kind = ReplyKind::ParametersAck;
        break;
    case CommandCode::JogAck:
        reply.kind = ReplyKind::JogAck;
        break;
    case CommandCode::LeverAck:
        reply.kind = ReplyKind::LeverAck;
        break;
    case CommandCode::EmbConfirmAck:
        reply.kind = ReplyKind::EmbConfirmAck;
        break;
    case CommandCode::EmbReleaseAck:
        reply.kind = ReplyKind::EmbReleaseAck;
        break;
    case CommandCode::DesignIdReport:
        reply.kind = ReplyKind::DesignIdReport;
        break;
    case CommandCode::PaletteReply:
        if (plain.size() < kPaletteReplyMinimum)
            return ignore(std::move(reply), IgnoreReason::ShortForCode);
        reply.palette = ColorPalette::decode(plain.subspan(kHeaderSize));
        reply.kind = ReplyKind::PaletteReply;
        break;
    case CommandCode::StatusReply:
        if (plain.size() < kStatusReplyMinimum)
            return ignore(std::move(reply), IgnoreReason::ShortForCode);
        reply.status = MachineStatus::decode(plain.subspan(kHeaderSize));
        reply.kind = ReplyKind::StatusReply;
        break;
    case CommandCode::DesignChunk:
    case CommandCode::Search:
    case CommandCode::Jog:
    case CommandCode::Lever:
    case CommandCode::Parameters:
    case CommandCode::PaletteQuery:
    case CommandCode::EmbConfirm:
    case CommandCode::EmbRelease:
    case CommandCode::StatusQuery:
        return ignore(std::move(reply), IgnoreReason::RequestCode);
    default:
        return ignore(std::move(reply), IgnoreReason::UnknownCode);
    }
    return reply;
}

Reply decodeReply(std::span<std::uint8_t> buffer, std::size_t received, std::string sender,
                  const PacketCipher& cipher)
{
    if (received > kReceiveBufferSize || received > buffer.size())
        return decodeReplyPlain({}, received, std::move(sender));
    return decodeReplyPlain(decryptWholeBlocks(buffer, received, cipher), received,
                            std::move(sender));
}
