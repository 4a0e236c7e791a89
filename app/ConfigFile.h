#pragma once

#include <cstddef>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

class ProfileDocument;
enum class TextId : int; // app/UiTexts.h

// Why a write of the settings file did not happen: the message to show (both languages in
// app/UiTexts) and the file it is about.
struct ConfigFailure
{
    TextId text;
    std::string path;
};

// Access to the settings file (ZUZiruro.ini): a private-profile text file of [Section] lines
// and key=value lines. There is no cache: every call opens the file, reads or writes one key
// and closes it again, so a value written by one thread or process is seen by the next read
// anywhere.
//
// Every write is a read-modify-write of the whole file held under the process lock and an
// operating-system lock on "<file>.lock" beside the file, so threads and other processes
// (the application and hoopwatch-cli) never lose each other's keys. The new text goes to the
// fixed temporary "<file>.tmp" and replaces the file atomically, so readers never see a torn
// file and a killed writer leaves at most that one temporary, reused by the next write.
//
// Only a regular file is written: a link is written through to its target (created when
// missing); a device, FIFO, folder, read-only file or file over kMaxFileBytes is refused and
// left as it is. A failed write returns false, and the first failure for a path is kept for
// the front-end to report once (failure(), takeUnreportedFailure()).
class ConfigFile
{
public:
    // Longest value a reader sees; longer stored values are cut to their first 99 characters.
    static constexpr std::size_t kMaxValueChars = 99;
    // Larger files read as empty and are never rewritten: the file is rewritten per key.
    static constexpr std::size_t kMaxFileBytes = 1024 * 1024;

    explicit ConfigFile(std::string path);

    const std::string& path() const { return m_path; }
    bool exists() const;

    // The stored text (at most 99 characters), or def when the file, section or key is missing
    // or the file cannot be read.
    std::string readText(std::string_view section, std::string_view key,
                         std::string_view def) const;
    // readText followed by the C-style decimal conversion of parseCNumber.
    int readNumber(std::string_view section, std::string_view key, std::string_view def) const;
    // Stores the value, creating file, section and key as needed; false when the file could
    // not be written (the failure is then remembered) or a name cannot be stored.
    bool writeText(std::string_view section, std::string_view key, std::string_view value) const;

    // The whole file parsed once (empty when missing, unreadable() when it exists but cannot
    // be read); run snapshot() and save() inside update() to make them one step.
    ProfileDocument snapshot() const;
    // Replaces the file with the document; false (and the failure remembered) when it could
    // not be written.
    bool save(const ProfileDocument& document) const;

    // Runs fn holding the process lock and this file's operating-system lock, so the reads and
    // writes inside are one step for every thread and process using the file. Nests.
    template <typename Fn> auto update(Fn&& fn) const
    {
        const FileLockScope scope(*this);
        return fn();
    }

    // The first write failure for this path in this process, if any.
    std::optional<ConfigFailure> failure() const;
    // The first write failure, handed out once per process and path: a front-end that shows
    // what this returns shows every failure once and never twice.
    std::optional<ConfigFailure> takeUnreportedFailure() const;
    // Forgets the failure of this path, so that the next one is reported again.
    void clearFailure() const;

    // The process-wide lock every access takes. Holding it across several reads makes them one
    // step for every other thread of the process (it is recursive). Writes belong in update().
    [[nodiscard]] static std::unique_lock<std::recursive_mutex> lock();

    // Runs fn while holding the process-wide lock and returns its result.
    template <typename Fn> static auto transaction(Fn&& fn)
    {
        auto guard = lock();
        return fn();
    }

private:
    // Holds the process lock and, counted per file across nested scopes, the file lock.
    class FileLockScope
    {
    public:
        explicit FileLockScope(const ConfigFile& config);
        ~FileLockScope();
        FileLockScope(const FileLockScope&) = delete;
        FileLockScope& operator=(const FileLockScope&) = delete;

    private:
        std::unique_lock<std::recursive_mutex> m_guard;
        std::string m_lockPath;
    };

    bool fail(TextId text) const;

    std::string m_path;
};

// C-style decimal conversion: leading blanks, an optional sign, then digits up to the first
// other character; text without leading digits is 0. Values outside int are clamped.
int parseCNumber(std::string_view text);

// The settings file to use: the explicit path when given, else $HOOPWATCH_CONFIG, else
// configPathFor(the running executable).
std::string resolveConfigPath(const std::optional<std::string>& explicitPath);
// ZUZiruro.ini beside the executable for a portable copy; in the per-user folder when the
// executable is installed in a system location (whoever runs it) or its folder is not
// writable. Empty when no path can be found.
std::string configPathFor(const std::filesystem::path& executable);
// ZUZiruro.ini in $XDG_CONFIG_HOME/hoopwatch or ~/.config/hoopwatch, the folder created as
// needed; empty when there is no such folder and it cannot be made.
std::string userConfigPath();

// First-run default sets; each writes only when no file exists at the path yet. False when
// the defaults were due and could not be written.
// At start-up, before anything else reads the file.
bool writeStartupDefaults(const ConfigFile& config);
// When the main window opens.
bool writeWindowDefaults(const ConfigFile& config);
// When the receiver thread starts.
bool writeReceiverDefaults(const ConfigFile& config);

// The folder the import dialog opened a design from last (Hoopwatch/DesignFolder); empty when
// none is kept. A folder longer than a value may be is not kept, since cut it would name
// another folder; false then, and when the file could not be written.
std::string readDesignFolder(const ConfigFile& config);
bool writeDesignFolder(const ConfigFile& config, std::string_view folder);
