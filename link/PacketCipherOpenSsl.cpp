#include "link/PacketCipher.h"

#include <array>

#include <openssl/evp.h>

struct PacketCipher::Contexts
{
    // Prototypes holding the expanded key; each call works on a copy, so these stay untouched.
    EVP_CIPHER_CTX* encrypt = nullptr;
    EVP_CIPHER_CTX* decrypt = nullptr;
};

namespace {

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
