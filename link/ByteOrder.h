#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

// Little-endian field access for the wire blocks. Callers keep `at + width` inside the span.

inline void putU8(std::span<std::uint8_t> b, std::size_t at, std::uint8_t v)
{
    b[at] = v;
}

inline void putU16le(std::span<std::uint8_t> b, std::size_t at, std::uint16_t v)
{
    for (std::size_t i = 0; i < 2; ++i)
        b[at + i] = std::uint8_t(v >> (8 * i));
}

inline void putU32le(std::span<std::uint8_t> b, std::size_t at, std::uint32_t v)
{
    for (std::size_t i = 0; i < 4; ++i)
        b[at + i] = std::uint8_t(v >> (8 * i));
}

inline void putI32le(std::span<std::uint8_t> b, std::size_t at, std::int32_t v)
{
    putU32le(b, at, std::uint32_t(v));
}

inline std::uint8_t getU8(std::span<const std::uint8_t> b, std::size_t at)
{
    return b[at];
}

inline std::uint16_t getU16le(std::span<const std::uint8_t> b, std::size_t at)
{
    return std::uint16_t(b[at] | (b[at + 1] << 8));
}

inline std::int16_t getI16le(std::span<const std::uint8_t> b, std::size_t at)
{
    return std::int16_t(getU16le(b, at));
}

inline std::uint32_t getU32le(std::span<const std::uint8_t> b, std::size_t at)
{
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4; ++i)
        v |= std::uint32_t(b[at + i]) << (8 * i);
    return v;
}

inline std::int32_t getI32le(std::span<const std::uint8_t> b, std::size_t at)
{
    return std::int32_t(getU32le(b, at));
}
