#include "app/ConfigFile.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <utility>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/ProfileDocument.h"

namespace {

constexpr std::string_view kFileName = "ZUZiruro.ini";

std::recursive_mutex& processLock()
{
    static std::recursive_mutex mutex;
    return mutex;
}

enum class ReadResult { Read, Missing, Failed };

// Reads the whole file. A file that exists but cannot be read is told apart from a missing
// one, so that a write never replaces it with a file holding only the new key.
ReadResult readAll(const std::string& path, std::string* bytes)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? ReadResult::Missing : ReadResult::Failed;
    bytes->clear();
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            ::close(fd);
            return got == 0 ? ReadResult::Read : ReadResult::Failed;
        }
        bytes->append(buffer, static_cast<std::size_t>(got));
    }
}

bool writeAllFd(int fd, std::string_view bytes)
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

// Where the bytes really go: a symbolic link is written through, not replaced.
std::string targetPath(const std::string& path)
{
    struct stat info = {};
    if (::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
        std::error_code error;
        const auto resolved = std::filesystem::weakly_canonical(path, error);
        if (!error)
            return resolved.string();
    }
    return path;
}

// Writes a temporary file beside the target, flushes it to disk and renames it over the
// target, so a crash or kill at any moment leaves either the old file or the new one whole.
bool replaceFile(const std::string& path, std::string_view bytes)
{
    const std::string target = targetPath(path);
    std::string temp = target + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info = {};
    const mode_t mode = (::stat(target.c_str(), &info) == 0) ? (info.st_mode & 07777) : 0644;
    const bool written = writeAllFd(fd, bytes) && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
    if (::close(fd) != 0 || !written || ::rename(temp.c_str(), target.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

bool validName(std::string_view name, char forbidden)
{
    if (name.empty())
        return false;
    for (char c : name) {
        if (c == '\n' || c == '\r' || c == '\0' || c == forbidden)
            return false;
    }
    const char first = name.front();
    return first != ';' && first != '[';
}

std::string folderOf(const std::string& path)
{
    return std::filesystem::path(path).parent_path().string();
}

std::string executablePath()
{
    std::string buffer(4096, '\0');
    const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (length <= 0)
        return {};
    buffer.resize(static_cast<std::size_t>(length));
    return buffer;
}

std::string userConfigFolder()
{
    std::string base;
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
        base = std::string(home) + "/.config";
    }
    const std::string folder = base + "/hoopwatch";
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error || ::access(folder.c_str(), W_OK) != 0)
        return {};
    return folder;
}

} // namespace

ConfigFile::ConfigFile(std::string path) : m_path(std::move(path)) {}

std::unique_lock<std::recursive_mutex> ConfigFile::lock()
{
    return std::unique_lock<std::recursive_mutex>(processLock());
}

bool ConfigFile::exists() const
{
    auto guard = lock();
    struct stat info = {};
    return !m_path.empty() && ::stat(m_path.c_str(), &info) == 0;
}

ProfileDocument ConfigFile::snapshot() const
{
    auto guard = lock();
    std::string bytes;
    const ReadResult result = m_path.empty() ? ReadResult::Missing : readAll(m_path, &bytes);
    if (result == ReadResult::Failed)
        return ProfileDocument::unreadable();
    return ProfileDocument::parse(result == ReadResult::Read ? bytes : std::string());
}

bool ConfigFile::save(const ProfileDocument& document) const
{
    auto guard = lock();
    return !m_path.empty() && document.readable() && replaceFile(m_path, document.serialize());
}

std::string ConfigFile::readText(std::string_view section, std::string_view key,
                                 std::string_view def) const
{
    const auto value = snapshot().value(section, key);
    return value ? *value : cutToChars(def, kMaxValueChars);
}

int ConfigFile::readNumber(std::string_view section, std::string_view key,
                           std::string_view def) const
{
    return parseCNumber(readText(section, key, def));
}

bool ConfigFile::writeText(std::string_view section, std::string_view key,
                           std::string_view value) const
{
    if (m_path.empty() || !validName(section, ']') || !validName(key, '='))
        return false;
    auto guard = lock();
    ProfileDocument document = snapshot();
    if (!document.set(section, key, value) && exists())
        return true;
    return save(document);
}

int parseCNumber(std::string_view text)
{
    std::size_t at = 0;
    const auto blank = [](char c) {
        return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
    };
    while (at < text.size() && blank(text[at]))
        ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        negative = text[at] == '-';
        ++at;
    }
    // Accumulate the magnitude and clamp once it leaves the range of int.
    constexpr std::int64_t limit = static_cast<std::int64_t>(INT_MAX) + 1;
    std::int64_t magnitude = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
        magnitude = magnitude * 10 + (text[at] - '0');
        if (magnitude > limit)
            magnitude = limit;
    }
    if (negative)
        return static_cast<int>(-magnitude);
    return static_cast<int>(magnitude > INT_MAX ? INT_MAX : magnitude);
}

std::string resolveConfigPath(const std::optional<std::string>& explicitPath)
{
    if (explicitPath && !explicitPath->empty())
        return *explicitPath;
    if (const char* env = std::getenv("HOOPWATCH_CONFIG"); env && env[0])
        return env;
    const std::string executable = executablePath();
    if (!executable.empty()) {
        const std::string folder = folderOf(executable);
        if (!folder.empty() && ::access(folder.c_str(), W_OK) == 0)
            return folder + "/" + std::string(kFileName);
    }
    // An installed build cannot write beside itself; the choices then live with the user.
    return userConfigPath();
}

std::string userConfigPath()
{
    const std::string folder = userConfigFolder();
    if (folder.empty())
        return {};
    return folder + "/" + std::string(kFileName);
}

namespace {

struct DefaultValue
{
    std::string_view section;
    std::string_view key;
    std::string_view value;
};

template <std::size_t N>
void writeDefaultsOnce(const ConfigFile& config, const DefaultValue (&values)[N])
{
    // The existence test and the writes are one step, so two threads cannot both seed.
    auto guard = ConfigFile::lock();
    if (config.path().empty() || config.exists())
        return;
    for (const DefaultValue& value : values)
        config.writeText(value.section, value.key, value.value);
}

} // namespace

void writeStartupDefaults(const ConfigFile& config)
{
    static constexpr DefaultValue values[] = {
        {"Z62_Net_0", "Ip", "192.168.7.100"},
        {"Z62_Net_0", "IsChoose", "1"},
        {"Z62_Net_Count", "count", "0"},
        {"Z62Language", "Language", "0"},
    };
    writeDefaultsOnce(config, values);
}

void writeWindowDefaults(const ConfigFile& config)
{
    static constexpr DefaultValue values[] = {
        {"Z62_Net_0", "Ip", "192.168.7.100"},
        {"Z62_Net_0", "IsChoose", "1"},
        {"Z62_Net_Count", "count", "0"},
    };
    writeDefaultsOnce(config, values);
}

void writeReceiverDefaults(const ConfigFile& config)
{
    static constexpr DefaultValue values[] = {
        {"Z62_Net_0", "Ip", "192.168.7.100"},
        {"Z62_Net_0", "IsChoose", "1"},
        {"Z62_Net_0", "BackUp_Name", "Z62_0"},
        {"Z62_Net_Count", "count", "1"},
    };
    writeDefaultsOnce(config, values);
}
