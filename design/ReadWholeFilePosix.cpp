#include "design/DesignLoader.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Closes the descriptor on every path out of readWholeFile.
class FileDescriptor
{
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    int get() const { return m_fd; }

private:
    int m_fd;
};

} // namespace

bool isOversizedDesignFile(const std::string& path)
{
    struct stat info
    {
    };
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           static_cast<std::uint64_t>(info.st_size) > kMaxDesignFileBytes;
}

std::optional<FileBytes> readWholeFile(const std::string& path)
{
    // Non-blocking, so that opening a FIFO that happens to carry a design suffix cannot hang
    // the caller; only regular files are read.
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0)
        return std::nullopt;
    struct stat info
    {
    };
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0)
        return std::nullopt;
    // The whole size, not its low 32 bits, so that a huge file is not read as a short one; a
    // file no machine takes is not read at all (a sparse file of gigabytes costs no time).
    if (static_cast<std::uint64_t>(info.st_size) > kMaxDesignFileBytes)
        return std::nullopt;
    const auto length = static_cast<std::size_t>(info.st_size);
    return readAllBytes(length, [&](std::uint8_t* into, std::size_t size) -> std::int64_t {
        for (;;) {
            const ssize_t got = ::read(fd.get(), into, size);
            if (got >= 0 || errno != EINTR)
                return got;
        }
    });
}
