#include "link/Reply.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "link/PacketCipher.h"

namespace {

// A reply header as a machine sends it, byte by byte: magic, code, length, design id, zeros.
std::vector<std::uint8_t> plainReply(std::uint8_t code, std::uint8_t designId, std::size_t size)
{
    std::vector<std::uint8_t> bytes(size, 0);
    const std::uint8_t header[16] = {
        0x21, 0x43, 0x65,     0x87, code, 0, 0, 0, std::uint8_t(size), std::uint8_t(size >> 8),
        0,    0,    designId, 0,    0,    0};
    for (std::size_t i = 0; i < 16 && i < size; ++i)
        bytes[i] = header[i];
    return bytes;
}

// Encrypts the whole blocks, puts the datagram in a zeroed receive buffer and decodes it.
Reply receive(std::vector<std::uint8_t> plain, const std::string& sender = "127.0.0.9")
{
    const PacketCipher cipher(defaultCipherKey());
    cipher.encrypt(plain.data(), std::int32_t(plain.size() / 16 * 16));
    std::array<std::uint8_t, kReceiveBufferSize> buffer{};
    const std::size_t n = std::min(plain.size(), buffer.size());
    std::copy_n(plain.begin(), n, buffer.begin());
    return decodeReply(buffer, plain.size(), sender, cipher);
}

} // namespace

TEST(ReplyDecoder, EachReplyCodeGivesItsKindAndDesignId)
{
    struct Case
    {
        std::uint8_t code;
        std::size_t size;
        ReplyKind kind;
        bool takesId;
    };
    const Case cases[] = {
        {2, 16, ReplyKind::DesignChunkAck, true},  {4, 64, ReplyKind::SearchReply, false},
        {6, 64, ReplyKind::JogAck, true},          {8, 64, ReplyKind::LeverAck, true},
        {10, 64, ReplyKind::ParametersAck, true},  {12, 128, ReplyKind::PaletteReply, true},
        {14, 80, ReplyKind::DesignIdReport, true}, {16, 64, ReplyKind::EmbConfirmAck, true},
        {18, 64, ReplyKind::EmbReleaseAck, true},  {20, 112, ReplyKind::StatusReply, false},
    };
    for (const Case& c : cases) {
        const Reply r = receive(plainReply(c.code, 42, c.size), "127.0.0.33");
        EXPECT_EQ(r.kind, c.kind) << int(c.code);
        EXPECT_EQ(r.ignored, IgnoreReason::None) << int(c.code);
        EXPECT_EQ(r.code, c.code);
        EXPECT_EQ(r.designId, 42) << int(c.code);
        EXPECT_EQ(r.takesDesignId(), c.takesId) << int(c.code);
        EXPECT_EQ(r.length, c.size);
        EXPECT_EQ(r.sender, "127.0.0.33");
    }
}

TEST(ReplyDecoder, StatusReplyCarriesItsBlockByteForByte)
{
    auto plain = plainReply(20, 7, 112);
    // Work state 1, embroidery state 2, an uninterpreted byte, stitch 0x00012345, marker 9.
    plain[64] = 1;
    plain[65] = 2;
    plain[66] = 0xEE;
    plain[84] = 0x45;
    plain[85] = 0x23;
    plain[86] = 0x01;
    plain[92] = 9;
    const Reply r = receive(plain);
    ASSERT_EQ(r.kind, ReplyKind::StatusReply);
    ASSERT_TRUE(r.status);
    EXPECT_EQ(r.status->workState, 1);
    EXPECT_EQ(r.status->embroideryState, 2);
    EXPECT_EQ(r.status->currentStitch, 0x12345);
    EXPECT_EQ(r.status->changeMarker, 9);
    EXPECT_EQ(r.status->raw[2], 0xEE);
    EXPECT_FALSE(r.palette);
}

TEST(ReplyDecoder, PaletteReplyCarriesCountAndFifteenColours)
{
    auto plain = plainReply(12, 3, 128);
    plain[64] = 15;
    for (std::size_t i = 0; i < 15; ++i) {
        plain[68 + 4 * i] = std::uint8_t(i + 1); // red
        plain[70 + 4 * i] = 0x80;                // blue
    }
    const Reply r = receive(plain);
    ASSERT_EQ(r.kind, ReplyKind::PaletteReply);
    ASSERT_TRUE(r.palette);
    EXPECT_EQ(r.palette->count, 15);
    EXPECT_EQ(r.palette->colors[0], 0x00800001u);
    EXPECT_EQ(r.palette->colors[14], 0x0080000Fu);
}

TEST(ReplyDecoder, DatagramsThatAreNoReplyAreIgnoredWithTheirReason)
{
    struct Case
    {
        const char* what;
        std::vector<std::uint8_t> plain;
        IgnoreReason reason;
    };
    std::vector<Case> cases = {
        {"empty", {}, IgnoreReason::TooShort},
        {"15 bytes", plainReply(6, 1, 15), IgnoreReason::TooShort},
        {"status cut to 111 bytes", plainReply(20, 1, 111), IgnoreReason::ShortForCode},
        {"status of 96 bytes", plainReply(20, 1, 96), IgnoreReason::ShortForCode},
        {"palette of 127 bytes", plainReply(12, 1, 127), IgnoreReason::ShortForCode},
        {"own search probe", plainReply(3, 0, 64), IgnoreReason::RequestCode},
        {"design chunk", plainReply(1, 0, 64), IgnoreReason::RequestCode},
        {"status query", plainReply(19, 0, 64), IgnoreReason::RequestCode},
        {"code 13", plainReply(13, 0, 64), IgnoreReason::UnknownCode},
        {"code 0", plainReply(0, 0, 64), IgnoreReason::UnknownCode},
        {"code 99", plainReply(99, 0, 64), IgnoreReason::UnknownCode},
        {"1025 bytes", plainReply(6, 1, 1025), IgnoreReason::TooLong},
    };
    // A negative code: the sign bit set in the last byte of the code.
    auto negative = plainReply(2, 0, 64);
    negative[7] = 0x80;
    cases.push_back({"negative code", negative, IgnoreReason::UnknownCode});
    for (const Case& c : cases) {
        const Reply r = receive(c.plain);
        EXPECT_EQ(r.kind, ReplyKind::Ignored) << c.what;
        EXPECT_EQ(r.ignored, c.reason) << c.what;
        EXPECT_EQ(r.length, c.plain.size()) << c.what;
        EXPECT_FALSE(r.takesDesignId()) << c.what;
    }
}

TEST(ReplyDecoder, MagicAndLengthFieldsAreNotChecked)
{
    auto plain = plainReply(4, 0, 16);
    plain[0] = 0;    // wrong magic
    plain[8] = 0xFF; // wrong length
    EXPECT_EQ(receive(plain).kind, ReplyKind::SearchReply);
    // A cut tail after the whole blocks does not stop a 1024-byte acknowledgement.
    EXPECT_EQ(receive(plainReply(6, 5, 1024)).kind, ReplyKind::JogAck);
    EXPECT_EQ(receive(plainReply(6, 5, 70)).kind, ReplyKind::JogAck);
}

TEST(ReplyDecoder, OnlyWholeBlocksAreDecryptedAndTheTailIsLeftAsItCame)
{
    const PacketCipher cipher(defaultCipherKey());
    std::array<std::uint8_t, 40> plain{};
    for (std::size_t i = 0; i < plain.size(); ++i)
        plain[i] = std::uint8_t(i);
    auto wire = plain;
    cipher.encrypt(wire.data(), 32);
    const auto decrypted = decryptWholeBlocks(wire, 40, cipher);
    ASSERT_EQ(decrypted.size(), 32u);
    EXPECT_TRUE(std::equal(decrypted.begin(), decrypted.end(), plain.begin()));
    EXPECT_EQ(wire[32], 32);
    EXPECT_EQ(wire[39], 39);
    // A length past the buffer is cut to the buffer.
    EXPECT_EQ(decryptWholeBlocks(std::span(wire).first(20), 100, cipher).size(), 16u);
}

TEST(ReplyDecoder, FullLengthIsWhatAMachineSendsForTheKind)
{
    struct Case
    {
        std::uint8_t code;
        std::size_t size;
        bool full;
    };
    const Case cases[] = {
        {6, 64, true},   {6, 48, false},  {6, 1024, true}, {2, 16, false},
        {4, 64, true},   {4, 63, false},  {14, 80, true},  {14, 64, false},
        {20, 112, true}, {12, 128, true}, {12, 500, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(receive(plainReply(c.code, 1, c.size)).isFullLength(), c.full)
            << int(c.code) << " " << c.size;
    EXPECT_FALSE(receive(plainReply(99, 1, 64)).isFullLength());
}
