#include "link/CommandPacket.h"

#include <algorithm>

#include "link/ByteOrder.h"
#include "link/PacketCipher.h"

void CommandPacket::encode(std::span<std::uint8_t> out) const
{
    std::fill_n(out.begin(), kHeaderSize, std::uint8_t(0));
    putU32le(out, kMagicAt, magic);
    putI32le(out, kCodeAt, code);
    putI32le(out, kLengthAt, length);
    putI32le(out, kDesignIdAt, designId);
}

std::optional<CommandPacket> CommandPacket::decode(std::span<const std::uint8_t> in)
{
    if (in.size() < kHeaderSize)
        return std::nullopt;
    CommandPacket p;
    p.magic = getU32le(in, kMagicAt);
    p.code = getI32le(in, kCodeAt);
    p.length = getI32le(in, kLengthAt);
    p.designId = getI32le(in, kDesignIdAt);
    return p;
}

std::array<std::uint8_t, kHeaderSize> buildPlainCommand(CommandCode code, std::int32_t designId)
{
    std::array<std::uint8_t, kHeaderSize> bytes{};
    CommandPacket header;
    header.code = std::int32_t(code);
    header.length = std::int32_t(kHeaderSize);
    header.designId = designId;
    header.encode(bytes);
    return bytes;
}

void FileBlock::encode(std::span<std::uint8_t> out) const
{
    std::fill_n(out.begin(), kFileBlockSize, std::uint8_t(0));
    putU32le(out, kMagicAt, magic);
    putI32le(out, kFormatAt, format);
    std::copy(name.begin(), name.end(), out.begin() + kNameAt);
    putI32le(out, kChunkLengthAt, chunkLength);
    putI32le(out, kChunkNumberAt, chunkNumber);
    putI32le(out, kChunkCountAt, chunkCount);
}

std::optional<FileBlock> FileBlock::decode(std::span<const std::uint8_t> in)
{
    if (in.size() < kFileBlockSize)
        return std::nullopt;
    FileBlock b;
    b.magic = getU32le(in, kMagicAt);
    b.format = getI32le(in, kFormatAt);
    std::copy_n(in.begin() + kNameAt, kNameWidth, b.name.begin());
    b.chunkLength = getI32le(in, kChunkLengthAt);
    b.chunkNumber = getI32le(in, kChunkNumberAt);
    b.chunkCount = getI32le(in, kChunkCountAt);
    return b;
}

std::int32_t fileFormatForName(std::string_view fileName)
{
    if (fileName.size() >= 3) {
        const std::string_view tail = fileName.substr(fileName.size() - 3);
        if (tail == "dsb" || tail == "DSB")
            return 1;
    }
    return 2;
}

std::array<std::uint8_t, FileBlock::kNameWidth> fileBlockName(std::string_view fileName)
{
    std::array<std::uint8_t, FileBlock::kNameWidth> name{};
    const std::size_t n = std::min(fileName.size(), kFileBlockNameBytes);
    for (std::size_t i = 0; i < n; ++i)
        name[i] = std::uint8_t(fileName[i]);
    return name;
}

std::int32_t designChunkCount(std::size_t fileSize)
{
    if (fileSize <= kChunkDataSize)
        return 1;
    return std::int32_t((fileSize + kChunkDataSize - 1) / kChunkDataSize);
}

std::vector<std::uint8_t> buildDesignChunk(std::string_view fileName,
                                           std::span<const std::uint8_t> data,
                                           std::int32_t chunkNumber, std::int32_t chunkCount)
{
    const std::size_t slash = fileName.find_last_of('/');
    if (slash != std::string_view::npos)
        fileName.remove_prefix(slash + 1);
    data = data.first(std::min(data.size(), kChunkDataSize));

    std::vector<std::uint8_t> bytes(kDesignChunkSize, 0);
    CommandPacket header;
    header.code = std::int32_t(CommandCode::DesignChunk);
    header.length = std::int32_t(kDesignChunkSize);
    header.designId = 0;
    header.encode(bytes);

    FileBlock block;
    block.format = fileFormatForName(fileName);
    block.name = fileBlockName(fileName);
    block.chunkLength = std::int32_t(data.size());
    block.chunkNumber = chunkNumber;
    block.chunkCount = chunkCount;
    block.encode(std::span(bytes).subspan(kHeaderSize));

    std::copy(data.begin(), data.end(), bytes.begin() + kHeaderSize + kFileBlockSize);
    return bytes;
}

void ParameterBlock::encode(std::span<std::uint8_t> out) const
{
    std::fill_n(out.begin(), kParameterBlockSize, std::uint8_t(0));
    putU8(out, kDirectionAt, std::uint8_t(patternDirection));
    putU8(out, kAngleAt, std::uint8_t(angle));
    putU16le(out, kScaleXAt, std::uint16_t(scaleX));
    putU16le(out, kScaleYAt, std::uint16_t(scaleY));
    putU8(out, kPriorityModeAt, std::uint8_t(priorityMode));
    putU8(out, kRepeatModeAt, std::uint8_t(repeatMode));
    putU8(out, kRepeatOrderAt, std::uint8_t(repeatOrder));
    putU8(out, kRepeatCountXAt, std::uint8_t(repeatCountX));
    putU8(out, kRepeatCountYAt, std::uint8_t(repeatCountY));
    putU16le(out, kRepeatSpacingXAt, std::uint16_t(repeatSpacingX));
    putU16le(out, kRepeatSpacingYAt, std::uint16_t(repeatSpacingY));
    for (std::size_t i = 0; i < kColorSequenceSize; ++i)
        putU8(out, kColorSequenceAt + i, std::uint8_t(colorSequence[i]));
    putU16le(out, kColorCountAt, std::uint16_t(colorCount));
    for (std::size_t i = 0; i < kColorTable.size(); ++i)
        putU16le(out, kColorTableAt + 2 * i, kColorTable[i]);
}

std::optional<ParameterBlock> ParameterBlock::decode(std::span<const std::uint8_t> in)
{
    if (in.size() < kParameterBlockSize)
        return std::nullopt;
    ParameterBlock p;
    p.patternDirection = getU8(in, kDirectionAt);
    p.angle = getU8(in, kAngleAt);
    p.scaleX = getU16le(in, kScaleXAt);
    p.scaleY = getU16le(in, kScaleYAt);
    p.priorityMode = getU8(in, kPriorityModeAt);
    p.repeatMode = getU8(in, kRepeatModeAt);
    p.repeatOrder = getU8(in, kRepeatOrderAt);
    p.repeatCountX = getU8(in, kRepeatCountXAt);
    p.repeatCountY = getU8(in, kRepeatCountYAt);
    p.repeatSpacingX = getI16le(in, kRepeatSpacingXAt);
    p.repeatSpacingY = getI16le(in, kRepeatSpacingYAt);
    for (std::size_t i = 0; i < kColorSequenceSize; ++i)
        p.colorSequence[i] = getU8(in, kColorSequenceAt + i);
    p.colorCount = getU16le(in, kColorCountAt);
    return p;
}

std::array<std::uint8_t, kParametersCipherSize> buildParametersPlain(const ParameterBlock& block,
                                                                     std::int32_t designId)
{
    std::array<std::uint8_t, kParametersCipherSize> bytes{};
    CommandPacket header;
    header.code = std::int32_t(CommandCode::Parameters);
    header.length = std::int32_t(kParametersSize);
    header.designId = designId;
    header.encode(bytes);
    block.encode(std::span(bytes).subspan(kHeaderSize));
    return bytes;
}

std::vector<std::uint8_t> buildParametersDatagram(const ParameterBlock& block,
                                                  std::int32_t designId, const PacketCipher& cipher)
{
    // The cipher takes whole blocks only, so the 1114 bytes are encrypted inside a 1120-byte
    // buffer and the last block goes out cut to its first 10 bytes.
    auto buffer = buildParametersPlain(block, designId);
    cipher.encrypt(buffer.data(), std::int32_t(buffer.size()));
    return {buffer.begin(), buffer.begin() + kParametersSize};
}

void MachineStatus::encode(std::span<std::uint8_t> out) const
{
    std::copy(raw.begin(), raw.end(), out.begin());
    putU8(out, kWorkStateAt, workState);
    putU8(out, kEmbroideryStateAt, embroideryState);
    putI32le(out, kCurrentStitchAt, currentStitch);
    putU8(out, kChangeMarkerAt, changeMarker);
}

std::optional<MachineStatus> MachineStatus::decode(std::span<const std::uint8_t> in)
{
    if (in.size() < kMachineStatusSize)
        return std::nullopt;
    MachineStatus s;
    std::copy_n(in.begin(), kMachineStatusSize, s.raw.begin());
    s.workState = getU8(in, kWorkStateAt);
    s.embroideryState = getU8(in, kEmbroideryStateAt);
    s.currentStitch = getI32le(in, kCurrentStitchAt);
    s.changeMarker = getU8(in, kChangeMarkerAt);
    return s;
}

void ColorPalette::encode(std::span<std::uint8_t> out) const
{
    putI32le(out, kCountAt, count);
    for (std::size_t i = 0; i < colors.size(); ++i)
        putU32le(out, kColorsAt + 4 * i, colors[i]);
}

std::optional<ColorPalette> ColorPalette::decode(std::span<const std::uint8_t> in)
{
    if (in.size() < kColorPaletteImageSize)
        return std::nullopt;
    ColorPalette p;
    p.count = getI32le(in, kCountAt);
    for (std::size_t i = 0; i < p.colors.size(); ++i)
        p.colors[i] = getU32le(in, kColorsAt + 4 * i);
    return p;
}

ColorPalette defaultColorPalette()
{
    ColorPalette p;
    p.count = 15;
    p.colors = {0x400000, 0xFF0000, 0x0000FF, 0x00FF00, 0xFFFF00, 0xFF00FF, 0x008000, 0xFF80FF,
                0x80FF80, 0x80B040, 0xB04080, 0xF080B0, 0x40B080, 0x804000, 0x40B000};
    return p;
}
