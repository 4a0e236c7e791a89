#pragma once

#include <climits>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/ConfigFile.h"

// One machine of the table as the main window holds it.
struct MachineEntry
{
    std::string address;
    bool ticked = false;
    std::string name; // empty when the operator has not named the machine
};

// Longest machine name, in characters.
inline constexpr std::size_t kMaxMachineNameChars = 40;

// How every window and the tool name a machine: "name (address)", or the address alone while
// it has no name.
std::string machineLabel(std::string_view address, std::string_view name);

// The name as it is stored: blanks around it dropped. Nothing when it cannot be a name (a
// control character, broken UTF-8, or more than kMaxMachineNameChars characters); an empty
// result clears the name.
std::optional<std::string> cleanMachineName(std::string_view name);

// The known machines in the settings file: Z62_Net_Count/count plus one section Z62_Net_<n>
// with Ip and IsChoose for every n below count. Sections at or above count are ignored.
// Every operation goes to the file; nothing is cached.
class MachineTable
{
public:
    static constexpr std::string_view kCountSection = "Z62_Net_Count";
    static constexpr std::string_view kCountKey = "count";
    static constexpr std::string_view kAddressKey = "Ip";
    static constexpr std::string_view kChooseKey = "IsChoose";
    static constexpr std::string_view kNameKey = "Name";
    static constexpr std::string_view kMissingAddress = "0,0,0,0";

    explicit MachineTable(const ConfigFile& config);

    // "Z62_Net_" followed by n in decimal.
    static std::string sectionName(int n);

    int count() const;
    std::string address(int n) const;
    int isChoose(int n) const;
    // The operator's name for entry n; empty when it has none.
    std::string name(int n) const;
    // machineLabel of the entry with this address (the address alone when no entry has it).
    std::string label(std::string_view address) const;
    // Names the entry that has this address (compared as canonical IPv4 addresses when both
    // are). The name must pass cleanMachineName (empty clears it). False when no entry has the
    // address, the name cannot be one, or the file could not be written.
    bool setName(std::string_view address, std::string_view name) const;
    // Takes the entry with this address out of the table: the entries behind it move up one
    // index, with their ticks and names. False when no entry has the address or the file could
    // not be written.
    bool remove(std::string_view address) const;
    // The writes below return false when the file could not be written; the ConfigFile then
    // holds the failure for the front-end to report.
    bool setChosen(int n, bool chosen) const;

    // Adds a discovered machine unless one of the first count entries has exactly this
    // address; a new machine starts ticked. It keeps the name it had in an earlier search's
    // entry; a name left in the reused section for another machine is cleared. True when an entry
    // was added; false for a listed address and for a failed write (then ConfigFile::failure()
    // tells).
    bool append(std::string_view address) const;
    // Empties the table (count 0); the sections stay in the file.
    bool reset() const;
    // Ticking k unticks every other entry; unticking touches only k.
    bool tick(int k, bool ticked) const;
    // The address of the first entry whose IsChoose is not 0, among the first max entries.
    std::optional<std::string> firstChosenAddress(int max = INT_MAX) const;
    // The first max entries, for the main window.
    std::vector<MachineEntry> load(int max = 100) const;

private:
    ConfigFile m_config;
};
