#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// The operating-system calls of app/, implemented once for POSIX and once for Windows.
namespace platform {

// The running executable's full path; empty when it cannot be found.
std::filesystem::path executablePath();

// An exclusive advisory lock on `path` (the file is created when missing), held until destruction.
// Blocks until the lock is had; locked() is false when the file could not be opened or locked.
class FileLock
{
public:
    explicit FileLock(const std::filesystem::path& path);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    bool locked() const;

private:
    std::intptr_t m_handle = -1;
};

// Writes `bytes` to `temp` (created or truncated, flushed to disk) and then replaces `target` with
// it atomically. False (and `temp` removed) on any failure; `target` is then untouched.
bool writeAndReplace(const std::filesystem::path& temp, const std::filesystem::path& target,
                     std::string_view bytes);

// The current user's home/profile folder for per-user settings (~/.config/hoopwatch on Linux,
// %APPDATA%\hoopwatch on Windows).
std::filesystem::path userSettingsFolder();

// True when this process may create files in `folder`.
bool canWriteIn(const std::filesystem::path& folder);

} // namespace platform
