#include "app/ConfigFile.h"

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <system_error>
#include <utility>

#include "app/Platform.h"
#include "app/ProfileDocument.h"
#include "app/Utf8Path.h"
#include "app/UiTexts.h"

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kFileName = "ZUZiruro.ini";

// More links in a row than any real setup has; a longer chain is taken for a loop.
constexpr int kMaxLinks = 40;

std::recursive_mutex& processLock()
{
    static std::recursive_mutex mutex;
    return mutex;
}

// Everything below is guarded by processLock().
struct HeldLock
{
    std::unique_ptr<platform::FileLock> lock;
    int depth = 0;
};

std::map<std::string, HeldLock>& heldLocks()
{
    static std::map<std::string, HeldLock> locks;
    return locks;
}

struct FailureState
{
    ConfigFailure failure;
    bool reported = false;
};

std::map<std::string, FailureState>& failures()
{
    static std::map<std::string, FailureState> states;
    return states;
}

// The file the bytes really belong in: links are followed, even to a target that does not
// exist yet, so a link is written through and never replaced. Empty for a loop of links.
std::optional<fs::path> resolveTarget(const fs::path& path)
{
    fs::path current = path;
    for (int i = 0; i < kMaxLinks; ++i) {
        std::error_code error;
        if (fs::symlink_status(current, error).type() != fs::file_type::symlink)
            return current;
        const fs::path link = fs::read_symlink(current, error);
        if (error)
            return std::nullopt;
        current = link.is_absolute() ? link : current.parent_path() / link;
    }
    return std::nullopt;
}

std::string lockPathOf(const std::string& path)
{
    if (path.empty())
        return {};
    const auto target = resolveTarget(pathFromUtf8(path));
    return target ? utf8FromPath(*target) + ".lock" : std::string();
}

bool holdsFileLock(const std::string& lockPath)
{
    const auto found = heldLocks().find(lockPath);
    return found != heldLocks().end() && found->second.lock && found->second.lock->locked();
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

} // namespace

ConfigFile::ConfigFile(std::string path) : m_path(std::move(path)) {}

std::unique_lock<std::recursive_mutex> ConfigFile::lock()
{
    return std::unique_lock<std::recursive_mutex>(processLock());
}

ConfigFile::FileLockScope::FileLockScope(const ConfigFile& config)
    : m_guard(processLock()), m_lockPath(lockPathOf(config.m_path))
{
    if (m_lockPath.empty())
        return;
    HeldLock& held = heldLocks()[m_lockPath];
    // flock excludes per open file, so a nested scope must reuse the lock, not open another.
    if (held.depth++ == 0)
        held.lock = std::make_unique<platform::FileLock>(pathFromUtf8(m_lockPath));
}

ConfigFile::FileLockScope::~FileLockScope()
{
    if (m_lockPath.empty())
        return;
    const auto found = heldLocks().find(m_lockPath);
    if (found != heldLocks().end() && --found->second.depth == 0)
        heldLocks().erase(found);
}

bool ConfigFile::exists() const
{
    auto guard = lock();
    std::error_code error;
    return !m_path.empty() && fs::exists(fs::status(pathFromUtf8(m_path), error));
}

ProfileDocument ConfigFile::snapshot() const
{
    auto guard = lock();
    if (m_path.empty())
        return ProfileDocument::parse({});
    std::error_code error;
    const fs::file_type type = fs::status(pathFromUtf8(m_path), error).type();
    if (type == fs::file_type::not_found)
        return ProfileDocument::parse({});
    // Only a regular file is read: a FIFO would block and a device has no settings. A file
    // over the limit reads as empty too, since every write would have to rewrite all of it.
    if (type != fs::file_type::regular)
        return ProfileDocument::unreadable();
    const auto bytes = platform::readRegularFile(pathFromUtf8(m_path), kMaxFileBytes);
    return bytes ? ProfileDocument::parse(*bytes) : ProfileDocument::unreadable();
}

bool ConfigFile::save(const ProfileDocument& document) const
{
    return update([&] {
        if (m_path.empty())
            return fail(TextId::ConfigWriteFailed);
        const auto target = resolveTarget(pathFromUtf8(m_path));
        if (!target)
            return fail(TextId::ConfigNotRegular);
        std::error_code error;
        const fs::file_status status = fs::status(*target, error);
        if (status.type() != fs::file_type::not_found) {
            if (status.type() != fs::file_type::regular)
                return fail(status.type() == fs::file_type::none ? TextId::ConfigWriteFailed
                                                                 : TextId::ConfigNotRegular);
            const auto size = fs::file_size(*target, error);
            if (error || size > kMaxFileBytes)
                return fail(error ? TextId::ConfigWriteFailed : TextId::ConfigTooLarge);
            if (!platform::mayWrite(*target))
                return fail(TextId::ConfigReadOnly);
        }
        // What could not be read must not be replaced by a file holding only the new keys.
        if (!document.readable())
            return fail(TextId::ConfigUnreadable);
        if (!holdsFileLock(lockPathOf(m_path)))
            return fail(TextId::ConfigWriteFailed);
        fs::path temp = *target;
        temp += ".tmp";
        if (!platform::writeAndReplace(temp, *target, document.serialize()))
            return fail(TextId::ConfigWriteFailed);
        return true;
    });
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
    if (!validName(section, ']') || !validName(key, '='))
        return false;
    return update([&] {
        ProfileDocument document = snapshot();
        const bool changed = document.set(section, key, value);
        if (!changed && document.readable() && exists())
            return true;
        return save(document);
    });
}

bool ConfigFile::fail(TextId text) const
{
    auto guard = lock();
    failures().try_emplace(m_path, FailureState{ConfigFailure{text, m_path}, false});
    return false;
}

std::optional<ConfigFailure> ConfigFile::failure() const
{
    auto guard = lock();
    const auto found = failures().find(m_path);
    if (found == failures().end())
        return std::nullopt;
    return found->second.failure;
}

std::optional<ConfigFailure> ConfigFile::takeUnreportedFailure() const
{
    auto guard = lock();
    const auto found = failures().find(m_path);
    if (found == failures().end() || found->second.reported)
        return std::nullopt;
    found->second.reported = true;
    return found->second.failure;
}

void ConfigFile::clearFailure() const
{
    auto guard = lock();
    failures().erase(m_path);
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
    return configPathFor(platform::executablePath());
}

std::string configPathFor(const fs::path& executable)
{
    const fs::path folder = executable.parent_path();
    // An installed program's folder belongs to the system, not to whoever runs it (root could
    // write there, and the file would outlive the package); a portable copy keeps its
    // settings beside itself.
    if (!executable.empty() && !folder.empty() && !platform::isSystemInstallFolder(folder) &&
        platform::mayWrite(folder))
        return utf8FromPath(folder / kFileName);
    return userConfigPath();
}

std::string userConfigPath()
{
    const fs::path folder = platform::userSettingsFolder();
    if (folder.empty())
        return {};
    std::error_code error;
    fs::create_directories(folder, error);
    if (error || !platform::mayWrite(folder))
        return {};
    return utf8FromPath(folder / kFileName);
}

namespace {

struct DefaultValue
{
    std::string_view section;
    std::string_view key;
    std::string_view value;
};

template <std::size_t N>
bool writeDefaultsOnce(const ConfigFile& config, const DefaultValue (&values)[N])
{
    // The existence test and the write are one step for every process, so two cannot both
    // seed; the set is written at once, so a crash cannot leave half of it.
    return config.update([&] {
        if (config.exists())
            return true;
        ProfileDocument document = config.snapshot();
        for (const DefaultValue& value : values)
            document.set(value.section, value.key, value.value);
        return config.save(document);
    });
}

} // namespace

bool writeStartupDefaults(const ConfigFile& config)
{
    static constexpr DefaultValue values[] = {
        {"Z62_Net_0", "Ip", "192.168.7.100"},
        {"Z62_Net_0", "IsChoose", "1"},
        {"Z62_Net_Count", "count", "0"},
        {"Z62Language", "Language", "0"},
    };
    return writeDefaultsOnce(config, values);
}

bool writeWindowDefaults(const ConfigFile& config)
{
    static constexpr DefaultValue values[] = {
        {"Z62_Net_0", "Ip", "192.168.7.100"},
        {"Z62_Net_0", "IsChoose", "1"},
        {"Z62_Net_Count", "count", "0"},
    };
    return writeDefaultsOnce(config, values);
}

bool writeReceiverDefaults(const ConfigFile& config)
{
    static constexpr DefaultValue values[] = {
        {"Z62_Net_0", "Ip", "192.168.7.100"},
        {"Z62_Net_0", "IsChoose", "1"},
        {"Z62_Net_0", "BackUp_Name", "Z62_0"},
        {"Z62_Net_Count", "count", "1"},
    };
    return writeDefaultsOnce(config, values);
}

namespace {
constexpr std::string_view kOwnSection = "Hoopwatch";
constexpr std::string_view kDesignFolderKey = "DesignFolder";
} // namespace

std::string readDesignFolder(const ConfigFile& config)
{
    return config.readText(kOwnSection, kDesignFolderKey, "");
}

bool writeDesignFolder(const ConfigFile& config, std::string_view folder)
{
    // Blanks or quotes around the text would not read back as written: not kept either.
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    if (folder.empty() || cutToChars(folder, ConfigFile::kMaxValueChars).size() != folder.size() ||
        blank(folder.front()) || blank(folder.back()) || folder.front() == '"')
        return false;
    if (readDesignFolder(config) == folder)
        return true;
    return config.writeText(kOwnSection, kDesignFolderKey, folder);
}
