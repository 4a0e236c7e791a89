#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// The operating-system calls of app/, one implementation per platform.
namespace platform {

// The running executable's full path; empty when it cannot be found.
std::filesystem::path executablePath();

// An exclusive advisory lock on `path` (the file is created when missing), held until destruction.
// Blocks until the lock is had; locked() is false when the file could not be opened or locked.
// The lock belongs to this object's open file, so it also excludes other processes.
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
// it atomically. An existing target keeps its permission bits and its owner; when the owner cannot
// be kept the target is left alone. False (and `temp` removed) on any failure; `target` is then
// untouched.
bool writeAndReplace(const std::filesystem::path& temp, const std::filesystem::path& target,
                     std::string_view bytes);

// The current user's home/profile folder for per-user settings (~/.config/hoopwatch on Linux,
// %APPDATA%\hoopwatch on Windows); empty when there is none. The folder is not created.
std::filesystem::path userSettingsFolder();

// The bytes of `path` (links followed) when it is a regular file of at most maxBytes; empty
// when it is missing, is no regular file, is larger or cannot be read. Never waits on a FIFO
// or a device.
std::optional<std::string> readRegularFile(const std::filesystem::path& path, std::size_t maxBytes);

// Whether the current user may write the existing file or folder `path` by its permission bits.
// The administrator needs a write bit (no read-only attribute) too, so a file marked read-only
// stays read-only for everybody.
bool mayWrite(const std::filesystem::path& path);

// Whether `folder` lies where installers put programs (/usr, /opt, /bin... on Linux; Program
// Files and the Windows folder on Windows), a place that belongs to no single user.
bool isSystemInstallFolder(const std::filesystem::path& folder);

} // namespace platform
