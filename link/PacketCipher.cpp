#include "link/PacketCipher.h"

#include <array>

#include "link/ConsoleLine.h"

// The parts every platform shares; the block cipher itself is OpenSSL's on POSIX systems and
// the system's CNG on Windows.

void PacketCipher::encrypt(std::uint8_t* data, std::int32_t length) const
{
    if (length % 16 != 0) {
        writeConsoleLine("明文字符长度必须为16的倍数！");
        return;
    }
    run(true, data, length);
}

void PacketCipher::decrypt(std::uint8_t* data, std::int32_t length) const
{
    if (length % 16 != 0) {
        writeConsoleLine("密文字符长度必须为16的倍数！现在的长度为" + std::to_string(length));
        return;
    }
    run(false, data, length);
}

std::string defaultCipherKey()
{
    // Kept out of the binary as one string: each character is derived on its own.
    static constexpr std::array<unsigned char, 16> kScrambled = {0x1b, 0x23, 0x63, 0x64, 0x1b, 0x33,
                                                                 0x6e, 0x0b, 0x2b, 0x0e, 0x6e, 0x2a,
                                                                 0x05, 0x59, 0x0c, 0x3a};
    std::string key;
    key.reserve(kScrambled.size());
    for (std::size_t i = 0; i < kScrambled.size(); ++i)
        key.push_back(char(kScrambled[i] ^ (0x53 + i)));
    return key;
}

bool isValidCipherKey(std::string_view key)
{
    if (key.size() != PacketCipher::kKeySize)
        return false;
    for (char c : key) {
        const bool alnum =
            (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (!alnum)
            return false;
    }
    return true;
}
