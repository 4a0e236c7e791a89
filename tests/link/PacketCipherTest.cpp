#include "link/PacketCipher.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "link/ByteOrder.h"
#include "link/CommandPacket.h"

namespace {

std::vector<std::uint8_t> fromHex(const std::string& hex)
{
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(std::uint8_t(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

std::string keyOfBytes(const std::vector<std::uint8_t>& bytes)
{
    return {bytes.begin(), bytes.end()};
}

} // namespace

TEST(PacketCipher, MatchesTheFips197Aes128Example)
{
    const PacketCipher cipher(keyOfBytes(fromHex("000102030405060708090a0b0c0d0e0f")));
    auto block = fromHex("00112233445566778899aabbccddeeff");
    cipher.encrypt(block.data(), 16);
    EXPECT_EQ(block, fromHex("69c4e0d86a7b0430d8cdb78070b4c55a"));
    cipher.decrypt(block.data(), 16);
    EXPECT_EQ(block, fromHex("00112233445566778899aabbccddeeff"));
}

TEST(PacketCipher, RoundTripsAndEncryptsEqualBlocksEqually)
{
    const PacketCipher cipher(defaultCipherKey());
    std::vector<std::uint8_t> plain(10240);
    for (std::size_t i = 0; i < plain.size(); ++i)
        plain[i] = std::uint8_t(i % 32 < 16 ? 0xA5 : i * 7);
    auto data = plain;
    cipher.encrypt(data.data(), std::int32_t(data.size()));
    EXPECT_NE(data, plain);
    // Blocks 0 and 2 hold the same plaintext; ECB gives them the same ciphertext.
    EXPECT_TRUE(std::equal(data.begin(), data.begin() + 16, data.begin() + 64));
    cipher.decrypt(data.data(), std::int32_t(data.size()));
    EXPECT_EQ(data, plain);
}

TEST(PacketCipher, LengthNotAMultipleOf16LeavesBufferAndPrintsMessage)
{
    const PacketCipher cipher(defaultCipherKey());
    std::vector<std::uint8_t> data(1114, 0x42);
    testing::internal::CaptureStdout();
    cipher.encrypt(data.data(), 1114);
    cipher.decrypt(data.data(), 1114);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(data, std::vector<std::uint8_t>(1114, 0x42));
    EXPECT_EQ(out, "明文字符长度必须为16的倍数！\n密文字符长度必须为16的倍数！现在的长度为1114\n");
}

TEST(PacketCipher, DefaultKeyIsSixteenLettersAndDigits)
{
    EXPECT_TRUE(isValidCipherKey(defaultCipherKey()));
    EXPECT_FALSE(isValidCipherKey("short"));
    EXPECT_FALSE(isValidCipherKey("sixteen chars!!!"));
}

TEST(CommandPacket, PlainCommandIsTheLiteralHeader)
{
    std::array<std::uint8_t, 64> expected{};
    const std::array<std::uint8_t, 16> head = {0x21, 0x43, 0x65, 0x87, 0x05, 0, 0, 0,
                                               0x40, 0,    0,    0,    0x07, 0, 0, 0};
    std::copy(head.begin(), head.end(), expected.begin());
    EXPECT_EQ(buildPlainCommand(CommandCode::Jog, 7), expected);
}

TEST(CommandPacket, ParametersDatagramIs1114BytesOfA1120ByteCipherBuffer)
{
    ParameterBlock block;
    block.patternDirection = 3;
    block.scaleX = 150;
    block.repeatSpacingY = -20;
    block.colorCount = 3;
    block.colorSequence[0] = 2;
    block.colorSequence[1] = 15;
    block.colorSequence[2] = 1;
    const PacketCipher cipher(defaultCipherKey());
    auto wire = buildParametersDatagram(block, 41, cipher);
    ASSERT_EQ(wire.size(), 1114u);

    auto plain = buildParametersPlain(block, 41);
    cipher.decrypt(wire.data(), 1104);
    EXPECT_TRUE(std::equal(wire.begin(), wire.begin() + 1104, plain.begin()));
    auto header = CommandPacket::decode(wire);
    ASSERT_TRUE(header);
    EXPECT_EQ(header->code, 9);
    EXPECT_EQ(header->length, 1114);
    EXPECT_EQ(header->designId, 41);
    // The first 1040 bytes of the block survive; the decoded block reads them back.
    auto back = ParameterBlock::decode(std::span<const std::uint8_t>(plain).subspan(64));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->patternDirection, 3);
    EXPECT_EQ(back->scaleX, 150);
    EXPECT_EQ(back->repeatSpacingY, -20);
    EXPECT_EQ(back->colorCount, 3);
    EXPECT_EQ(back->colorSequence[1], 15);
    EXPECT_EQ(back->colorSequence[3], 0);
    EXPECT_EQ(getU16le(plain, 64 + 1000 + 2 * 3), 0xFF00);
    EXPECT_EQ(getU16le(plain, 64 + 1000 + 2 * 14), 0xB000);
}

TEST(CommandPacket, ParameterValuesAreTruncatedToTheirFieldWidths)
{
    ParameterBlock block;
    block.angle = 300;
    block.scaleY = -1;
    block.repeatSpacingX = 70000;
    block.colorSequence[979] = 257;
    std::array<std::uint8_t, kParameterBlockSize> bytes{};
    block.encode(bytes);
    EXPECT_EQ(bytes[ParameterBlock::kAngleAt], 44);
    EXPECT_EQ(getU16le(bytes, ParameterBlock::kScaleYAt), 0xFFFF);
    EXPECT_EQ(getU16le(bytes, ParameterBlock::kRepeatSpacingXAt), 70000 & 0xFFFF);
    EXPECT_EQ(bytes[ParameterBlock::kColorSequenceAt + 979], 1);
    EXPECT_EQ(bytes[0], 0);
    EXPECT_EQ(bytes[1049], 0);
}

TEST(CommandPacket, FileBlockFormatFollowsTheExactSuffix)
{
    const std::vector<std::pair<std::string, int>> cases = {
        {"ABC.DSB", 1}, {"abc.dsb", 1}, {"abc.Dsb", 2}, {"abc.dst", 2},
        {"abc.DST", 2}, {"abc.tbf", 2}, {"dsb", 1},     {"sb", 2},
    };
    for (const auto& [name, format] : cases)
        EXPECT_EQ(fileFormatForName(name), format) << name;
}

TEST(CommandPacket, DesignChunkCarriesNameAndChunkNumbers)
{
    std::vector<std::uint8_t> data(10241, 0x5A);
    EXPECT_EQ(designChunkCount(10240), 1);
    EXPECT_EQ(designChunkCount(10241), 2);
    EXPECT_EQ(designChunkCount(1), 1);

    auto second = buildDesignChunk("/some/dir/a-very-long-name.DSB",
                                   std::span<const std::uint8_t>(data).subspan(10240), 2, 2);
    ASSERT_EQ(second.size(), kDesignChunkSize);
    auto header = CommandPacket::decode(second);
    EXPECT_EQ(header->code, 1);
    EXPECT_EQ(header->length, 10576);
    auto block = FileBlock::decode(std::span<const std::uint8_t>(second).subspan(64));
    ASSERT_TRUE(block);
    EXPECT_EQ(block->magic, kFileBlockMagic);
    EXPECT_EQ(block->format, 1);
    EXPECT_EQ(std::string(block->name.begin(), block->name.begin() + 14),
              std::string("a-very-long-n") + '\0'); // 13 bytes, cut without a terminator
    EXPECT_EQ(block->chunkLength, 1);
    EXPECT_EQ(block->chunkNumber, 2);
    EXPECT_EQ(block->chunkCount, 2);
    EXPECT_EQ(second[336], 0x5A);
    EXPECT_EQ(second[337], 0);

    // A multi-byte UTF-8 name is cut after 13 bytes, even inside a character.
    auto name = fileBlockName("花样花样花样.dst");
    EXPECT_EQ(name[12], std::uint8_t("花样花样花样.dst"[12]));
    EXPECT_EQ(name[13], 0);
}

TEST(CommandPacket, MachineStatusKeepsEveryByte)
{
    std::array<std::uint8_t, kMachineStatusSize> raw{};
    for (std::size_t i = 0; i < raw.size(); ++i)
        raw[i] = std::uint8_t(i + 1);
    putI32le(raw, MachineStatus::kCurrentStitchAt, -250);
    auto status = MachineStatus::decode(raw);
    ASSERT_TRUE(status);
    EXPECT_EQ(status->workState, 1);
    EXPECT_EQ(status->embroideryState, 2);
    EXPECT_EQ(status->currentStitch, -250);
    EXPECT_EQ(status->changeMarker, 29);
    std::array<std::uint8_t, kMachineStatusSize> again{};
    status->encode(again);
    EXPECT_EQ(again, raw);
    EXPECT_FALSE(MachineStatus::decode(std::span<const std::uint8_t>(raw).first(47)));
}
