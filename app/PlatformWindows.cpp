#include "app/Platform.h"

#include <string>

#include <windows.h>

#include <shlobj.h>

namespace platform {

namespace {

HANDLE handleOf(std::intptr_t value)
{
    return reinterpret_cast<HANDLE>(value);
}

} // namespace

std::filesystem::path executablePath()
{
    // Paths can be longer than MAX_PATH; grow until the whole name fits.
    std::wstring buffer(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 6; ++attempt) {
        const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), DWORD(buffer.size()));
        if (length == 0)
            return {};
        if (length < buffer.size()) {
            buffer.resize(length);
            return buffer;
        }
        buffer.resize(buffer.size() * 2);
    }
    return {};
}

FileLock::FileLock(const std::filesystem::path& path)
{
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    OVERLAPPED whole{};
    // The whole possible range, so every holder locks the same bytes whatever the file's size.
    if (!::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole)) {
        ::CloseHandle(file);
        return;
    }
    m_handle = reinterpret_cast<std::intptr_t>(file);
}

FileLock::~FileLock()
{
    if (m_handle == -1)
        return;
    OVERLAPPED whole{};
    ::UnlockFileEx(handleOf(m_handle), 0, MAXDWORD, MAXDWORD, &whole);
    ::CloseHandle(handleOf(m_handle));
}

bool FileLock::locked() const
{
    return m_handle != -1;
}

bool writeAndReplace(const std::filesystem::path& temp, const std::filesystem::path& target,
                     std::string_view bytes)
{
    HANDLE file = ::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    bool written = true;
    while (written && !bytes.empty()) {
        const DWORD chunk = bytes.size() > (1u << 30) ? DWORD(1u << 30) : DWORD(bytes.size());
        DWORD put = 0;
        written = ::WriteFile(file, bytes.data(), chunk, &put, nullptr) && put > 0;
        if (written)
            bytes.remove_prefix(put);
    }
    written = written && ::FlushFileBuffers(file);
    const bool closed = ::CloseHandle(file);
    // Write-through: the rename is on disk before the call returns, like the data before it.
    if (!written || !closed ||
        !::MoveFileExW(temp.c_str(), target.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        ::DeleteFileW(temp.c_str());
        return false;
    }
    return true;
}

std::filesystem::path userSettingsFolder()
{
    PWSTR folder = nullptr;
    std::filesystem::path result;
    if (SUCCEEDED(
            ::SHGetKnownFolderPath(FOLDERID_RoamingAppData, KF_FLAG_DEFAULT, nullptr, &folder)) &&
        folder && folder[0])
        result = std::filesystem::path(folder) / L"hoopwatch";
    ::CoTaskMemFree(folder);
    return result;
}

bool canWriteIn(const std::filesystem::path& folder)
{
    if (folder.empty())
        return false;
    // Permissions are access-control lists here: the only sure test is to create a file.
    const std::filesystem::path probe =
        folder / (L"hoopwatch-probe-" + std::to_wstring(::GetCurrentProcessId()) + L".tmp");
    HANDLE file = ::CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    ::CloseHandle(file);
    return true;
}

} // namespace platform
