#include "design/DesignLoader.h"

#include <windows.h>

namespace {

// Paths arrive as UTF-8; text that is not valid UTF-8 is taken in the ANSI code page, the way
// a narrow Windows program would have meant it.
std::wstring widePath(const std::string& path)
{
    for (const UINT codePage : {UINT(CP_UTF8), UINT(CP_ACP)}) {
        const DWORD flags = codePage == CP_UTF8 ? MB_ERR_INVALID_CHARS : 0;
        const int length =
            ::MultiByteToWideChar(codePage, flags, path.data(), int(path.size()), nullptr, 0);
        if (length <= 0)
            continue;
        std::wstring wide(std::size_t(length), L'\0');
        ::MultiByteToWideChar(codePage, flags, path.data(), int(path.size()), wide.data(), length);
        return wide;
    }
    return {};
}

// Closes the handle on every path out of readWholeFile.
class FileHandle
{
public:
    explicit FileHandle(HANDLE handle) : m_handle(handle) {}
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    ~FileHandle()
    {
        if (m_handle != INVALID_HANDLE_VALUE)
            ::CloseHandle(m_handle);
    }
    HANDLE get() const { return m_handle; }

private:
    HANDLE m_handle;
};

} // namespace

bool isOversizedDesignFile(const std::string& path)
{
    const std::wstring wide = widePath(path);
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (wide.empty() || !::GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    const std::uint64_t size = (std::uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return size > kMaxDesignFileBytes;
}

std::optional<FileBytes> readWholeFile(const std::string& path)
{
    const std::wstring wide = widePath(path);
    if (wide.empty() || wide.find(L'\0') != std::wstring::npos)
        return std::nullopt;
    // A folder cannot be opened without backup semantics, so only files get this far.
    FileHandle file(::CreateFileW(wide.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE || ::GetFileType(file.get()) != FILE_TYPE_DISK)
        return std::nullopt;
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size) || size.QuadPart < 0)
        return std::nullopt;
    // A file no machine takes is not read at all.
    if (static_cast<std::uint64_t>(size.QuadPart) > kMaxDesignFileBytes)
        return std::nullopt;
    const auto length = static_cast<std::size_t>(size.QuadPart);
    return readAllBytes(length, [&](std::uint8_t* into, std::size_t want) -> std::int64_t {
        // ReadFile takes a 32-bit count.
        const DWORD chunk = want > (1u << 30) ? DWORD(1u << 30) : DWORD(want);
        DWORD got = 0;
        if (!::ReadFile(file.get(), into, chunk, &got, nullptr))
            return -1;
        return std::int64_t(got);
    });
}
