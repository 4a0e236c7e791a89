#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

class PacketCipher;

// Requests are odd; each reply is the next even number.
enum class CommandCode : std::int32_t {
    DesignChunk = 1,
    DesignChunkAck = 2,
    Search = 3,
    SearchReply = 4,
    Jog = 5,
    JogAck = 6,
    Lever = 7,
    LeverAck = 8,
    Parameters = 9,
    ParametersAck = 10,
    PaletteQuery = 11,
    PaletteReply = 12,
    // A machine may send it unasked; only its design number is taken.
    DesignIdReport = 14,
    EmbConfirm = 15,
    EmbConfirmAck = 16,
    EmbRelease = 17,
    EmbReleaseAck = 18,
    StatusQuery = 19,
    StatusReply = 20,
};

inline constexpr std::uint32_t kPacketMagic = 0x87654321u;
inline constexpr std::uint32_t kFileBlockMagic = 0x12345678u;

inline constexpr std::size_t kHeaderSize = 64;
inline constexpr std::size_t kFileBlockSize = 272;
inline constexpr std::size_t kChunkDataSize = 10240;
inline constexpr std::size_t kDesignChunkSize =
    kHeaderSize + kFileBlockSize + kChunkDataSize; // 10576
inline constexpr std::size_t kParameterBlockSize = 1050;
inline constexpr std::size_t kParametersSize = kHeaderSize + kParameterBlockSize; // 1114
inline constexpr std::size_t kParametersCipherSize = 1120;                        // 70 whole blocks
inline constexpr std::size_t kMachineStatusSize = 48;
inline constexpr std::size_t kColorPaletteImageSize = 64;
inline constexpr std::size_t kPaletteColorCount = 15;
inline constexpr std::size_t kColorSequenceSize = 980;
inline constexpr std::size_t kFileBlockNameBytes = 13;
// The largest datagram the receiver takes in; longer ones are dropped.
inline constexpr std::size_t kReceiveBufferSize = 1024;

// The 64-byte header of every datagram.
struct CommandPacket
{
    static constexpr std::size_t kMagicAt = 0;
    static constexpr std::size_t kCodeAt = 4;
    static constexpr std::size_t kLengthAt = 8;
    static constexpr std::size_t kDesignIdAt = 12;

    std::uint32_t magic = kPacketMagic;
    std::int32_t code = 0;
    std::int32_t length = std::int32_t(kHeaderSize);
    std::int32_t designId = 0;

    // Writes the header and zeroes the reserved bytes; `out` holds at least kHeaderSize bytes.
    void encode(std::span<std::uint8_t> out) const;
    // nullopt when `in` is shorter than the header.
    static std::optional<CommandPacket> decode(std::span<const std::uint8_t> in);
};

// Header plus nothing: the command sent for codes 3, 5, 7, 11, 15, 17 and 19.
std::array<std::uint8_t, kHeaderSize> buildPlainCommand(CommandCode code, std::int32_t designId);

// Describes one chunk of a design file behind a DesignChunk header.
struct FileBlock
{
    static constexpr std::size_t kMagicAt = 0;
    static constexpr std::size_t kFormatAt = 4;
    static constexpr std::size_t kNameAt = 8;
    static constexpr std::size_t kNameWidth = 128;
    static constexpr std::size_t kChunkLengthAt = 136;
    static constexpr std::size_t kChunkNumberAt = 140;
    static constexpr std::size_t kChunkCountAt = 144;

    std::uint32_t magic = kFileBlockMagic;
    std::int32_t format = 2;
    std::array<std::uint8_t, kNameWidth> name{};
    std::int32_t chunkLength = 0;
    std::int32_t chunkNumber = 1;
    std::int32_t chunkCount = 1;

    void encode(std::span<std::uint8_t> out) const;
    static std::optional<FileBlock> decode(std::span<const std::uint8_t> in);
};

// 1 when the name's last three characters are exactly "dsb" or "DSB", else 2.
std::int32_t fileFormatForName(std::string_view fileName);
// The name's first 13 UTF-8 bytes, zero-filled; no terminator when it is cut.
std::array<std::uint8_t, FileBlock::kNameWidth> fileBlockName(std::string_view fileName);
// Chunks needed for a file: 1 up to 10240 bytes, else the size divided by 10240 rounded up.
std::int32_t designChunkCount(std::size_t fileSize);
// Plain DesignChunk datagram (10576 bytes): header, FileBlock for `fileName` (a path's directory
// is dropped) and `data` (at most 10240 bytes) zero-filled to 10240.
std::vector<std::uint8_t> buildDesignChunk(std::string_view fileName,
                                           std::span<const std::uint8_t> data,
                                           std::int32_t chunkNumber, std::int32_t chunkCount);

// Layout parameters and colour-change sequence. Every value is stored by plain truncation to
// its field's width.
struct ParameterBlock
{
    static constexpr std::size_t kDirectionAt = 2;
    static constexpr std::size_t kAngleAt = 3;
    static constexpr std::size_t kScaleXAt = 4;
    static constexpr std::size_t kScaleYAt = 6;
    static constexpr std::size_t kPriorityModeAt = 8;
    static constexpr std::size_t kRepeatModeAt = 9;
    static constexpr std::size_t kRepeatOrderAt = 10;
    static constexpr std::size_t kRepeatCountXAt = 11;
    static constexpr std::size_t kRepeatCountYAt = 12;
    static constexpr std::size_t kRepeatSpacingXAt = 14;
    static constexpr std::size_t kRepeatSpacingYAt = 16;
    static constexpr std::size_t kColorSequenceAt = 18;
    static constexpr std::size_t kColorCountAt = 998;
    static constexpr std::size_t kColorTableAt = 1000;

    // The fixed colour table every Parameters datagram carries.
    static constexpr std::array<std::uint16_t, 15> kColorTable = {
        0x0000, 0x0000, 0x00FF, 0xFF00, 0xFF00, 0x00FF, 0x8000, 0x80FF,
        0xFF80, 0xB040, 0x4080, 0x80B0, 0xB080, 0x4000, 0xB000};

    std::int32_t patternDirection = 0;
    std::int32_t angle = 0;
    std::int32_t scaleX = 100;
    std::int32_t scaleY = 100;
    std::int32_t priorityMode = 0;
    std::int32_t repeatMode = 0;
    std::int32_t repeatOrder = 0;
    std::int32_t repeatCountX = 1;
    std::int32_t repeatCountY = 1;
    std::int32_t repeatSpacingX = 0;
    std::int32_t repeatSpacingY = 0;
    // Colour number of each colour block in sewing order; entries past colorCount stay 0.
    std::array<std::int32_t, kColorSequenceSize> colorSequence{};
    std::int32_t colorCount = 0;

    // `out` holds at least kParameterBlockSize bytes; the whole block is written.
    void encode(std::span<std::uint8_t> out) const;
    // Reads the fields back as the wire holds them (unsigned bytes, 16-bit spacing signed).
    static std::optional<ParameterBlock> decode(std::span<const std::uint8_t> in);
};

// Plain Parameters datagram in its 1120-byte cipher buffer: header (code 9, length 1114),
// block, six zero bytes.
std::array<std::uint8_t, kParametersCipherSize> buildParametersPlain(const ParameterBlock& block,
                                                                     std::int32_t designId);
// The 1114 bytes that go on the wire: the 1120-byte buffer encrypted, cut after 1114 bytes.
std::vector<std::uint8_t> buildParametersDatagram(const ParameterBlock& block,
                                                  std::int32_t designId,
                                                  const PacketCipher& cipher);

// The 48-byte machine state block of a StatusReply, kept whole.
struct MachineStatus
{
    static constexpr std::size_t kWorkStateAt = 0;
    static constexpr std::size_t kEmbroideryStateAt = 1;
    static constexpr std::size_t kCurrentStitchAt = 20;
    static constexpr std::size_t kChangeMarkerAt = 28;

    // 0: not working; anything else: working.
    std::uint8_t workState = 0;
    // 1: confirmed; 0: released.
    std::uint8_t embroideryState = 0;
    std::int32_t currentStitch = 0;
    // Watched only to notice a change of state.
    std::uint8_t changeMarker = 0;
    // Every byte of the block as it came, the interpreted ones included.
    std::array<std::uint8_t, kMachineStatusSize> raw{};

    // Writes `raw` with the interpreted fields laid over it.
    void encode(std::span<std::uint8_t> out) const;
    static std::optional<MachineStatus> decode(std::span<const std::uint8_t> in);
};

// Display colours for the colour numbers 1 to 15, each 0x00BBGGRR, plus the machine's count.
struct ColorPalette
{
    static constexpr std::size_t kCountAt = 0;
    static constexpr std::size_t kColorsAt = 4;

    std::int32_t count = 15;
    std::array<std::uint32_t, kPaletteColorCount> colors{};

    // `out` holds at least kColorPaletteImageSize bytes.
    void encode(std::span<std::uint8_t> out) const;
    static std::optional<ColorPalette> decode(std::span<const std::uint8_t> in);
};

ColorPalette defaultColorPalette();
