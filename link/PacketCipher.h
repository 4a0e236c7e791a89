#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// AES-128 in ECB mode, in place, no padding. The key schedule is built once in the
// constructor and only read afterwards, so one cipher serves every thread at once.
class PacketCipher
{
public:
    static constexpr std::size_t kKeySize = 16;

    // Uses the key's first 16 bytes; a shorter key is filled up with zero bytes.
    explicit PacketCipher(std::string_view key);
    ~PacketCipher();
    PacketCipher(const PacketCipher&) = delete;
    PacketCipher& operator=(const PacketCipher&) = delete;

    // A length that is not a multiple of 16 leaves the buffer as it is and prints the
    // plaintext-length message on standard output.
    void encrypt(std::uint8_t* data, std::int32_t length) const;
    // As encrypt, with the ciphertext-length message (which names the length).
    void decrypt(std::uint8_t* data, std::int32_t length) const;

private:
    void run(bool encrypting, std::uint8_t* data, std::int32_t length) const;

    struct Contexts;
    Contexts* m_contexts;
};

// The key shared with the machines: 16 letters and digits.
std::string defaultCipherKey();
// True for a key the machines can share: exactly 16 ASCII letters or digits.
bool isValidCipherKey(std::string_view key);
