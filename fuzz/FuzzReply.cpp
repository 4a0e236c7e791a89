#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

#include "link/PacketCipher.h"
#include "link/Reply.h"

namespace {

// What every decoded reply keeps, whatever the bytes: a kind and a reason never disagree, the
// blocks a kind carries are there and came from enough bytes, and the length is what arrived.
void checkReply(const Reply& r, std::size_t size)
{
    if (r.length != size || r.sender != "127.0.0.1")
        __builtin_trap();
    if ((r.kind == ReplyKind::Ignored) != (r.ignored != IgnoreReason::None))
        __builtin_trap();
    if ((r.kind == ReplyKind::StatusReply) != r.status.has_value())
        __builtin_trap();
    if ((r.kind == ReplyKind::PaletteReply) != r.palette.has_value())
        __builtin_trap();
    if (r.kind == ReplyKind::StatusReply && size < 112)
        __builtin_trap();
    if (r.kind == ReplyKind::PaletteReply && size < 128)
        __builtin_trap();
    if (r.kind != ReplyKind::Ignored && (size < 16 || size > kReceiveBufferSize))
        __builtin_trap();
    if (r.kind == ReplyKind::Ignored && r.takesDesignId())
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The bytes as plaintext, so the fuzzer can steer the code field directly.
    checkReply(decodeReplyPlain({data, size}, size, "127.0.0.1"), size);

    // The same bytes as they would arrive: in a zeroed receive buffer, decrypted there.
    static const PacketCipher cipher(defaultCipherKey());
    std::array<std::uint8_t, kReceiveBufferSize> buffer{};
    std::copy_n(data, std::min(size, buffer.size()), buffer.begin());
    checkReply(decodeReply(buffer, size, "127.0.0.1", cipher), size);
    return 0;
}
