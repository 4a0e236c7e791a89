#include "app/Platform.h"

#include <algorithm>
#include <cwctype>
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

bool writeAndReplace(const std::filesystem::path& tempPath,
                     const std::filesystem::path& targetPath, std::string_view bytes)
{
    // ReplaceFileW takes only whole paths with backslashes ("/x/ZUZiruro.ini" or "C:/x/..."
    // fail), so both paths are made whole first.
    const auto whole = [](const std::filesystem::path& path) {
        std::error_code error;
        std::filesystem::path full = std::filesystem::absolute(path, error);
        if (error)
            full = path;
        return full.make_preferred();
    };
    const std::filesystem::path temp = whole(tempPath);
    const std::filesystem::path target = whole(targetPath);
    const DWORD targetAttributes = ::GetFileAttributesW(target.c_str());
    const bool replacing = targetAttributes != INVALID_FILE_ATTRIBUTES;
    if (replacing && (targetAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    // A leftover of a killed writer is replaced, never appended to.
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
    // An existing file is replaced with ReplaceFileW, which keeps its owner, access list and
    // attributes; a new one is moved into place. Both are write-through.
    const bool moved =
        written && closed &&
        (replacing ? ::ReplaceFileW(target.c_str(), temp.c_str(), nullptr,
                                    REPLACEFILE_WRITE_THROUGH, nullptr, nullptr)
                   : ::MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH));
    if (!moved) {
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

std::optional<std::string> readRegularFile(const std::filesystem::path& path, std::size_t maxBytes)
{
    // A folder cannot be opened without backup semantics, and only disk files pass the type
    // check, so a pipe or device is never read.
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::nullopt;
    LARGE_INTEGER size{};
    std::optional<std::string> bytes;
    if (::GetFileType(file) == FILE_TYPE_DISK && ::GetFileSizeEx(file, &size) &&
        size.QuadPart >= 0 && static_cast<unsigned long long>(size.QuadPart) <= maxBytes) {
        std::string content(static_cast<std::size_t>(size.QuadPart), '\0');
        std::size_t done = 0;
        bool ok = true;
        while (ok && done < content.size()) {
            const std::size_t left = content.size() - done;
            const DWORD chunk = left > (1u << 30) ? DWORD(1u << 30) : DWORD(left);
            DWORD got = 0;
            ok = ::ReadFile(file, content.data() + done, chunk, &got, nullptr) != 0;
            if (got == 0)
                break; // the file shrank while being read
            done += got;
        }
        if (ok) {
            content.resize(done);
            bytes = std::move(content);
        }
    }
    ::CloseHandle(file);
    return bytes;
}

bool mayWrite(const std::filesystem::path& path)
{
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return false;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        // The read-only attribute holds for everybody, administrators included.
        if (attributes & FILE_ATTRIBUTE_READONLY)
            return false;
        HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return false;
        ::CloseHandle(file);
        return true;
    }
    // Permissions are access-control lists here: the only sure test for a folder is to create
    // a file in it, which goes again when closed.
    const std::filesystem::path probe =
        path / (L"hoopwatch-probe-" + std::to_wstring(::GetCurrentProcessId()) + L".tmp");
    HANDLE file = ::CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    ::CloseHandle(file);
    return true;
}

bool isSystemInstallFolder(const std::filesystem::path& folder)
{
    const auto lower = [](std::wstring text) {
        std::transform(text.begin(), text.end(), text.begin(),
                       [](wchar_t c) { return wchar_t(std::towlower(c)); });
        return text;
    };
    const std::filesystem::path normal = folder.lexically_normal();
    if (!normal.is_absolute())
        return false;
    const std::wstring inside = lower(normal.wstring()) + L"\\";
    for (const KNOWNFOLDERID& id : {FOLDERID_ProgramFiles, FOLDERID_ProgramFilesX86,
                                    FOLDERID_ProgramFilesX64, FOLDERID_Windows}) {
        PWSTR known = nullptr;
        if (SUCCEEDED(::SHGetKnownFolderPath(id, KF_FLAG_DEFAULT, nullptr, &known)) && known &&
            known[0]) {
            const std::wstring top =
                lower(std::filesystem::path(known).lexically_normal().wstring()) + L"\\";
            ::CoTaskMemFree(known);
            if (inside.compare(0, top.size(), top) == 0)
                return true;
            continue;
        }
        ::CoTaskMemFree(known);
    }
    return false;
}

} // namespace platform
