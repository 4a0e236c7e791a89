#include "link/PacketCipher.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <iconv.h>
#include <langinfo.h>

#include <openssl/evp.h>

struct PacketCipher::Contexts
{
    // Prototypes holding the expanded key; each call works on a copy, so these stay untouched.
    EVP_CIPHER_CTX* encrypt = nullptr;
    EVP_CIPHER_CTX* decrypt = nullptr;
};

namespace {

// Writes a UTF-8 line to standard output in the console's own character set.
void printConsoleLine(const std::string& utf8)
{
    std::string out = utf8;
    const char* codeset = nl_langinfo(CODESET);
    if (codeset && (std::strncmp(codeset, "GB", 2) == 0)) {
        iconv_t cd = iconv_open(codeset, "UTF-8");
        if (cd != iconv_t(-1)) {
            std::string converted(utf8.size() * 2 + 8, '\0');
            char* in = const_cast<char*>(utf8.data());
            std::size_t inLeft = utf8.size();
            char* dst = converted.data();
            std::size_t outLeft = converted.size();
            if (iconv(cd, &in, &inLeft, &dst, &outLeft) != std::size_t(-1))
                out.assign(converted.data(), converted.size() - outLeft);
            iconv_close(cd);
        }
    }
    out += '\n';
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fflush(stdout);
}

EVP_CIPHER_CTX* makeContext(bool encrypting, const std::array<unsigned char, 16>& key)
{
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    if (!ctx)
        return nullptr;
    if (EVP_CipherInit_ex(ctx, EVP_aes_128_ecb(), nullptr, key.data(), nullptr,
                          encrypting ? 1 : 0) != 1 ||
        EVP_CIPHER_CTX_set_padding(ctx, 0) != 1) {
        EVP_CIPHER_CTX_free(ctx);
        return nullptr;
    }
    return ctx;
}

} // namespace

PacketCipher::PacketCipher(std::string_view key) : m_contexts(new Contexts)
{
    std::array<unsigned char, kKeySize> bytes{};
    for (std::size_t i = 0; i < kKeySize && i < key.size(); ++i)
        bytes[i] = static_cast<unsigned char>(key[i]);
    m_contexts->encrypt = makeContext(true, bytes);
    m_contexts->decrypt = makeContext(false, bytes);
}

PacketCipher::~PacketCipher()
{
    EVP_CIPHER_CTX_free(m_contexts->encrypt);
    EVP_CIPHER_CTX_free(m_contexts->decrypt);
    delete m_contexts;
}

void PacketCipher::encrypt(std::uint8_t* data, std::int32_t length) const
{
    if (length % 16 != 0) {
        printConsoleLine("明文字符长度必须为16的倍数！");
        return;
    }
    run(true, data, length);
}

void PacketCipher::decrypt(std::uint8_t* data, std::int32_t length) const
{
    if (length % 16 != 0) {
        printConsoleLine("密文字符长度必须为16的倍数！现在的长度为" + std::to_string(length));
        return;
    }
    run(false, data, length);
}

void PacketCipher::run(bool encrypting, std::uint8_t* data, std::int32_t length) const
{
    EVP_CIPHER_CTX* proto = encrypting ? m_contexts->encrypt : m_contexts->decrypt;
    if (length <= 0 || !data || !proto)
        return;
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    if (!ctx)
        return;
    int written = 0;
    if (EVP_CIPHER_CTX_copy(ctx, proto) == 1)
        EVP_CipherUpdate(ctx, data, &written, data, length);
    EVP_CIPHER_CTX_free(ctx);
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
