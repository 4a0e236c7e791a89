#include "app/Platform.h"

#include <array>
#include <cerrno>
#include <cstdlib>

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

bool writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t put = ::write(fd, bytes.data(), bytes.size());
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        bytes.remove_prefix(static_cast<std::size_t>(put));
    }
    return true;
}

// Gives the new file the owner, group and permission bits of the file it replaces, so that a
// write by another account (root, a group member) does not take the file over.
bool keepAttributes(int fd, const struct stat& old)
{
    if (old.st_uid != ::geteuid() || old.st_gid != ::getegid()) {
        if (::fchown(fd, old.st_uid, old.st_gid) != 0) {
            if (old.st_uid != ::geteuid())
                return false;
            // Same owner, a group the writer is not in: the file stays the writer's own.
        }
    }
    return ::fchmod(fd, old.st_mode & 07777) == 0;
}

void syncFolderOf(const std::filesystem::path& file)
{
    std::filesystem::path folder = file.parent_path();
    if (folder.empty())
        folder = ".";
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        // The rename is durable once the folder is; a failure here loses no data already safe.
        (void)::fsync(fd);
        ::close(fd);
    }
}

} // namespace

std::filesystem::path executablePath()
{
    std::array<char, 4096> buffer{};
    const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (length <= 0)
        return {};
    return std::filesystem::path(std::string(buffer.data(), static_cast<std::size_t>(length)));
}

FileLock::FileLock(const std::filesystem::path& path)
{
    // Read access is enough for flock, so a lock file made by another account still serves.
    // No link is followed and nothing waits on a FIFO planted under the lock file's name.
    const int fd =
        ::open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0666);
    if (fd < 0)
        return;
    struct stat info = {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return;
    }
    int result = 0;
    do {
        result = ::flock(fd, LOCK_EX);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        ::close(fd);
        return;
    }
    m_handle = fd;
}

FileLock::~FileLock()
{
    if (m_handle >= 0)
        ::close(static_cast<int>(m_handle));
}

bool FileLock::locked() const
{
    return m_handle >= 0;
}

bool writeAndReplace(const std::filesystem::path& temp, const std::filesystem::path& target,
                     std::string_view bytes)
{
    struct stat old = {};
    const bool replacing = ::stat(target.c_str(), &old) == 0;
    if (replacing && !S_ISREG(old.st_mode))
        return false;
    // A leftover of a killed writer (or anything else under that name: a link, a FIFO, a hard
    // link to another file) is removed rather than opened, so only a fresh file is written.
    if (::unlink(temp.c_str()) != 0 && errno != ENOENT)
        return false;
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0)
        return false;
    const bool written =
        (!replacing || keepAttributes(fd, old)) && writeAll(fd, bytes) && ::fsync(fd) == 0;
    if (::close(fd) != 0 || !written || ::rename(temp.c_str(), target.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    syncFolderOf(target);
    return true;
}

std::filesystem::path userSettingsFolder()
{
    std::filesystem::path base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/') {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || !home[0]) {
            const passwd* entry = ::getpwuid(::getuid());
            home = entry ? entry->pw_dir : nullptr;
        }
        if (!home || !home[0])
            return {};
        base = std::filesystem::path(home) / ".config";
    }
    return base / "hoopwatch";
}

std::optional<std::string> readRegularFile(const std::filesystem::path& path, std::size_t maxBytes)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return std::nullopt;
    struct stat info = {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
        static_cast<std::uintmax_t>(info.st_size) > maxBytes) {
        ::close(fd);
        return std::nullopt;
    }
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(info.st_size));
    std::array<char, 65536> buffer{};
    for (;;) {
        const ssize_t got = ::read(fd, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 || bytes.size() + static_cast<std::size_t>(got) > maxBytes) {
            // Unreadable, or grown past the limit while being read.
            ::close(fd);
            return std::nullopt;
        }
        if (got == 0)
            break;
        bytes.append(buffer.data(), static_cast<std::size_t>(got));
    }
    ::close(fd);
    return bytes;
}

bool mayWrite(const std::filesystem::path& path)
{
    struct stat info = {};
    if (::stat(path.c_str(), &info) != 0)
        return false;
    // The kernel's check also sees ACLs, read-only mounts and immutable files; for root it
    // ignores the mode, so a file nobody may write is checked by its bits as well.
    if (::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0)
        return false;
    return ::geteuid() != 0 || (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
}

bool isSystemInstallFolder(const std::filesystem::path& folder)
{
    static constexpr std::string_view kSystemTops[] = {"usr",   "opt",   "bin",    "sbin", "lib",
                                                       "lib32", "lib64", "libx32", "snap"};
    const std::filesystem::path normal = folder.lexically_normal();
    if (!normal.is_absolute())
        return false;
    auto part = normal.begin();
    if (part == normal.end() || ++part == normal.end())
        return false;
    for (std::string_view top : kSystemTops) {
        if (part->native() == top)
            return true;
    }
    return false;
}

} // namespace platform
