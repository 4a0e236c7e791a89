#include "app/Platform.h"

#include <cerrno>
#include <cstdlib>
#include <string>

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

std::filesystem::path executablePath()
{
    std::string buffer(4096, '\0');
    const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (length <= 0)
        return {};
    buffer.resize(static_cast<std::size_t>(length));
    return buffer;
}

FileLock::FileLock(const std::filesystem::path& path)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    // flock belongs to the open file, so two locks of one process exclude each other too.
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
        ::close(static_cast<int>(m_handle)); // closing releases the lock
}

bool FileLock::locked() const
{
    return m_handle >= 0;
}

bool writeAndReplace(const std::filesystem::path& temp, const std::filesystem::path& target,
                     std::string_view bytes)
{
    struct stat info = {};
    // A replaced file keeps its permissions.
    const mode_t mode = (::stat(target.c_str(), &info) == 0) ? (info.st_mode & 07777) : 0644;
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    bool written = true;
    while (written && !bytes.empty()) {
        const ssize_t put = ::write(fd, bytes.data(), bytes.size());
        if (put < 0 && errno == EINTR)
            continue;
        written = put > 0;
        if (written)
            bytes.remove_prefix(static_cast<std::size_t>(put));
    }
    written = written && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
    if (::close(fd) != 0 || !written || ::rename(temp.c_str(), target.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
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

bool canWriteIn(const std::filesystem::path& folder)
{
    return !folder.empty() && ::access(folder.c_str(), W_OK) == 0;
}

} // namespace platform
