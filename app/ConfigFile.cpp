#include "app/ConfigFile.h"

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <system_error>
#include <utility>

#include "app/Platform.h"
#include "app/ProfileDocument.h"

namespace {

constexpr std::string_view kFileName = "ZUZiruro.ini";

std::recursive_mutex& processLock()
{
    static std::recursive_mutex mutex;
    return mutex;
}

// Paths are UTF-8 text; the file system takes them as paths, wide ones on Windows.
std::filesystem::path fsPath(const std::string& utf8)
{
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string utf8Text(const std::filesystem::path& path)
{
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

enum class ReadResult { Read, Missing, Failed };

// Reads the whole file. A file that exists but cannot be read is told apart from a missing
// one, so that a write never replaces it with a file holding only the new key.
ReadResult readAll(const std::string& path, std::string* bytes)
{
    const std::filesystem::path file = fsPath(path);
    std::error_code error;
    const auto status = std::filesystem::status(file, error);
    if (status.type() == std::filesystem::file_type::not_found)
        return ReadResult::Missing;
    if (error || std::filesystem::is_directory(status))
        return ReadResult::Failed;
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return ReadResult::Failed;
    bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return in.bad() ? ReadResult::Failed : ReadResult::Read;
}

// Where the bytes really go: a symbolic link is written through, not replaced.
std::filesystem::path targetPath(const std::filesystem::path& path)
{
    std::error_code error;
    if (std::filesystem::is_symlink(std::filesystem::symlink_status(path, error))) {
        const auto resolved = std::filesystem::weakly_canonical(path, error);
        if (!error)
            return resolved;
    }
    return path;
}

// Writes a temporary file beside the target, flushes it to disk and moves it over the
// target, so a crash or kill at any moment leaves either the old file or the new one whole.
bool replaceFile(const std::string& path, std::string_view bytes)
{
    const std::filesystem::path target = targetPath(fsPath(path));
    // A name of its own per write, so that two processes never share a temporary file.
    std::filesystem::path temp = target;
    temp += "." + std::to_string(std::random_device{}()) + ".tmp";
    return platform::writeAndReplace(temp, target, bytes);
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
    return utf8Text(fsPath(path).parent_path());
}

std::string executablePath()
{
    return utf8Text(platform::executablePath());
}

std::string userConfigFolder()
{
    const std::filesystem::path folder = platform::userSettingsFolder();
    if (folder.empty())
        return {};
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error || !platform::canWriteIn(folder))
        return {};
    return utf8Text(folder);
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
    std::error_code error;
    return !m_path.empty() && std::filesystem::exists(fsPath(m_path), error);
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
        if (!folder.empty() && platform::canWriteIn(fsPath(folder)))
            return utf8Text(fsPath(folder) / kFileName);
    }
    // An installed build cannot write beside itself; the choices then live with the user.
    return userConfigPath();
}

std::string userConfigPath()
{
    const std::string folder = userConfigFolder();
    if (folder.empty())
        return {};
    return utf8Text(fsPath(folder) / kFileName);
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
