#include "link/PacketCipher.h"

#include <array>

#include <windows.h>

#include <bcrypt.h>

struct PacketCipher::Contexts
{
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    // The expanded key; each call works on a duplicate, so this one stays untouched and
    // threads never share a key object in use.
    BCRYPT_KEY_HANDLE key = nullptr;
};

namespace {

bool succeeded(NTSTATUS status)
{
    return status >= 0;
}

} // namespace

PacketCipher::PacketCipher(std::string_view key) : m_contexts(new Contexts)
{
    std::array<UCHAR, kKeySize> bytes{};
    for (std::size_t i = 0; i < kKeySize && i < key.size(); ++i)
        bytes[i] = static_cast<UCHAR>(key[i]);
    if (!succeeded(::BCryptOpenAlgorithmProvider(&m_contexts->algorithm, BCRYPT_AES_ALGORITHM,
                                                 nullptr, 0))) {
        m_contexts->algorithm = nullptr;
        return;
    }
    auto* mode = reinterpret_cast<PUCHAR>(const_cast<wchar_t*>(BCRYPT_CHAIN_MODE_ECB));
    const ULONG modeSize = ULONG(sizeof(BCRYPT_CHAIN_MODE_ECB));
    if (!succeeded(
            ::BCryptSetProperty(m_contexts->algorithm, BCRYPT_CHAINING_MODE, mode, modeSize, 0)) ||
        !succeeded(::BCryptGenerateSymmetricKey(m_contexts->algorithm, &m_contexts->key, nullptr, 0,
                                                bytes.data(), ULONG(bytes.size()), 0)))
        m_contexts->key = nullptr;
}

PacketCipher::~PacketCipher()
{
    if (m_contexts->key)
        ::BCryptDestroyKey(m_contexts->key);
    if (m_contexts->algorithm)
        ::BCryptCloseAlgorithmProvider(m_contexts->algorithm, 0);
    delete m_contexts;
}

void PacketCipher::run(bool encrypting, std::uint8_t* data, std::int32_t length) const
{
    if (length <= 0 || !data || !m_contexts->key)
        return;
    BCRYPT_KEY_HANDLE copy = nullptr;
    if (!succeeded(::BCryptDuplicateKey(m_contexts->key, &copy, nullptr, 0, 0)))
        return;
    ULONG written = 0;
    // No padding flag: the length is a whole number of blocks, and ECB has no IV.
    if (encrypting)
        ::BCryptEncrypt(copy, data, ULONG(length), nullptr, nullptr, 0, data, ULONG(length),
                        &written, 0);
    else
        ::BCryptDecrypt(copy, data, ULONG(length), nullptr, nullptr, 0, data, ULONG(length),
                        &written, 0);
    ::BCryptDestroyKey(copy);
}
