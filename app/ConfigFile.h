#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <string_view>

class ProfileDocument;

// Access to the settings file (ZUZiruro.ini): a private-profile text file of [Section] lines
// and key=value lines. There is no cache: every call opens the file, reads or writes one key
// and closes it again, so a value written by one thread is seen by the next read anywhere.
// All calls of the process are serialised by one lock, and every write replaces the file
// atomically, so readers never see a torn file.
class ConfigFile
{
public:
    // Longest value a reader sees; longer stored values are cut to their first 99 characters.
    static constexpr std::size_t kMaxValueChars = 99;

    explicit ConfigFile(std::string path);

    const std::string& path() const { return m_path; }
    bool exists() const;

    // The stored text (at most 99 characters), or def when the file, section or key is missing.
    std::string readText(std::string_view section, std::string_view key,
                         std::string_view def) const;
    // readText followed by the C-style decimal conversion of parseCNumber.
    int readNumber(std::string_view section, std::string_view key, std::string_view def) const;
    // Stores the value, creating file, section and key as needed; false when the file could
    // not be written.
    bool writeText(std::string_view section, std::string_view key, std::string_view value) const;

    // The whole file parsed once (empty when missing), for operations that look at many keys;
    // hold lock() across snapshot() and save() to make them one step.
    ProfileDocument snapshot() const;
    // Replaces the file with the document; false when it could not be written.
    bool save(const ProfileDocument& document) const;

    // The process-wide lock every access takes. Holding it across several reads and writes
    // makes them one step for every other thread of the process (it is recursive).
    [[nodiscard]] static std::unique_lock<std::recursive_mutex> lock();

    // Runs fn while holding the process-wide lock and returns its result.
    template <typename Fn> static auto transaction(Fn&& fn)
    {
        auto guard = lock();
        return fn();
    }

private:
    std::string m_path;
};

// C-style decimal conversion: leading blanks, an optional sign, then digits up to the first
// other character; text without leading digits is 0. Values outside int are clamped.
int parseCNumber(std::string_view text);

// The settings file to use: the explicit path when given, else $HOOPWATCH_CONFIG, else
// ZUZiruro.ini in the folder of the running executable, or in the per-user configuration
// folder ($XDG_CONFIG_HOME or ~/.config, subfolder hoopwatch) when the executable's folder is
// not writable. Empty when no path can be found.
std::string resolveConfigPath(const std::optional<std::string>& explicitPath);
// ZUZiruro.ini in $XDG_CONFIG_HOME/hoopwatch or ~/.config/hoopwatch, the folder created as
// needed; empty when there is no such folder and it cannot be made.
std::string userConfigPath();

// First-run default sets; each writes only when no file exists at the path yet.
// At start-up, before anything else reads the file.
void writeStartupDefaults(const ConfigFile& config);
// When the main window opens.
void writeWindowDefaults(const ConfigFile& config);
// When the receiver thread starts.
void writeReceiverDefaults(const ConfigFile& config);
