#include "app/MachineTable.h"

#include <algorithm>
#include <climits>
#include <map>

#include "app/ProfileDocument.h"
#include "app/Utf8.h"

namespace {

constexpr std::string_view kSectionPrefix = "Z62_Net_";

// The table index a section name stands for: the prefix (any letter case) followed by a
// decimal number as sectionName writes it, without sign or leading zeros.
std::optional<int> tableIndex(std::string_view section)
{
    if (section.size() <= kSectionPrefix.size() || section.size() > kSectionPrefix.size() + 10)
        return std::nullopt;
    for (std::size_t i = 0; i < kSectionPrefix.size(); ++i) {
        const char c = section[i];
        const char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        const char want = kSectionPrefix[i];
        const char wantLower =
            (want >= 'A' && want <= 'Z') ? static_cast<char>(want - 'A' + 'a') : want;
        if (lower != wantLower)
            return std::nullopt;
    }
    const std::string_view digits = section.substr(kSectionPrefix.size());
    if (digits.size() > 1 && digits.front() == '0')
        return std::nullopt;
    long long value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value > INT_MAX)
        return std::nullopt;
    return static_cast<int>(value);
}

// The machine sections present in the file with an index below count, by index.
std::map<int, std::string> entrySections(const ProfileDocument& document, int count)
{
    std::map<int, std::string> sections;
    for (std::string& name : document.sectionNames()) {
        const auto index = tableIndex(name);
        if (index && *index < count)
            sections.emplace(*index, std::move(name));
    }
    return sections;
}

int countOf(const ProfileDocument& document)
{
    return parseCNumber(
        document.value(MachineTable::kCountSection, MachineTable::kCountKey).value_or("0"));
}

// The index of the first entry below count whose Ip is exactly `address`.
std::optional<int> indexOf(const ProfileDocument& document, std::string_view address)
{
    for (const auto& [index, section] : entrySections(document, countOf(document))) {
        if (document.value(section, MachineTable::kAddressKey) == address)
            return index;
    }
    return std::nullopt;
}

} // namespace

std::string machineLabel(std::string_view address, std::string_view name)
{
    if (name.empty())
        return std::string(address);
    return std::string(name) + " (" + std::string(address) + ")";
}

std::optional<std::string> cleanMachineName(std::string_view name)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!name.empty() && blank(name.front()))
        name.remove_prefix(1);
    while (!name.empty() && blank(name.back()))
        name.remove_suffix(1);
    std::size_t chars = 0;
    for (std::size_t at = 0; at < name.size(); ++chars) {
        const std::size_t length = utf8CharLength(name, at);
        const auto lead = static_cast<unsigned char>(name[at]);
        // Control characters would break the settings line or steer a terminal.
        if (length == 0 || (length == 1 && (lead < 0x20 || lead == 0x7F)) ||
            (length == 2 && lead == 0xC2 && static_cast<unsigned char>(name[at + 1]) < 0xA0))
            return std::nullopt;
        at += length;
    }
    // Quotes around a stored value are taken off when it is read; a name that begins and ends
    // with one would not come back as written.
    if (chars > kMaxMachineNameChars ||
        (name.size() >= 2 && name.front() == '"' && name.back() == '"'))
        return std::nullopt;
    return std::string(name);
}

MachineTable::MachineTable(const ConfigFile& config) : m_config(config) {}

std::string MachineTable::sectionName(int n)
{
    return std::string(kSectionPrefix) + std::to_string(n);
}

int MachineTable::count() const
{
    return m_config.readNumber(kCountSection, kCountKey, "0");
}

std::string MachineTable::address(int n) const
{
    return m_config.readText(sectionName(n), kAddressKey, kMissingAddress);
}

int MachineTable::isChoose(int n) const
{
    return m_config.readNumber(sectionName(n), kChooseKey, "0");
}

std::string MachineTable::name(int n) const
{
    return m_config.readText(sectionName(n), kNameKey, "");
}

std::string MachineTable::label(std::string_view address) const
{
    const ProfileDocument document = m_config.snapshot();
    const std::optional<int> index = indexOf(document, address);
    return machineLabel(address, index ? document.value(sectionName(*index), kNameKey).value_or("")
                                       : std::string());
}

bool MachineTable::setName(std::string_view address, std::string_view name) const
{
    const std::optional<std::string> clean = cleanMachineName(name);
    if (!clean)
        return false;
    return m_config.update([&] {
        ProfileDocument document = m_config.snapshot();
        const std::optional<int> index = indexOf(document, address);
        if (!index)
            return false;
        if (!document.set(sectionName(*index), kNameKey, *clean) && m_config.exists())
            return true;
        return m_config.save(document);
    });
}

bool MachineTable::remove(std::string_view address) const
{
    return m_config.update([&] {
        ProfileDocument document = m_config.snapshot();
        const int count = countOf(document);
        const std::optional<int> index = indexOf(document, address);
        if (!index)
            return false;
        // Every entry behind it moves up one place. Entries without a section read as the
        // defaults, so only the sections present move: a count edited by hand to a huge number
        // costs nothing.
        const int last = entrySections(document, count).rbegin()->first;
        for (int i = *index; i < last; ++i) {
            const std::string to = sectionName(i);
            const std::string from = sectionName(i + 1);
            document.set(to, kAddressKey,
                         document.value(from, kAddressKey).value_or(std::string(kMissingAddress)));
            document.set(to, kChooseKey, document.value(from, kChooseKey).value_or("0"));
            document.set(to, kNameKey, document.value(from, kNameKey).value_or(""));
        }
        const std::string freed = sectionName(last);
        if (last < count - 1) {
            // Still inside the table: it now stands for an entry without a section.
            document.set(freed, kAddressKey, kMissingAddress);
            document.set(freed, kChooseKey, "0");
        }
        // A name left behind would be inherited by the next machine to take the section.
        if (document.value(freed, kNameKey))
            document.set(freed, kNameKey, "");
        document.set(kCountSection, kCountKey, std::to_string(count - 1));
        return m_config.save(document);
    });
}

bool MachineTable::setChosen(int n, bool chosen) const
{
    return m_config.writeText(sectionName(n), kChooseKey, chosen ? "1" : "0");
}

bool MachineTable::append(std::string_view address) const
{
    // Reading the table and adding the entry are one step for every thread and process, so
    // two replies from the same machine cannot both add it and two new machines cannot both
    // take the same index.
    return m_config.update([&] {
        ProfileDocument document = m_config.snapshot();
        // A count that is not a number, or negative, is an empty table.
        const int count = std::max(countOf(document), 0);
        if (count == INT_MAX)
            return false;
        int withAddress = 0;
        for (const auto& [index, section] : entrySections(document, count)) {
            const auto stored = document.value(section, kAddressKey);
            if (!stored)
                continue;
            ++withAddress;
            if (*stored == address)
                return false;
        }
        // Entries without an address read as the missing-address text.
        if (withAddress < count && address == kMissingAddress)
            return false;
        // The entry goes to the index the count names, so the table really holds it even
        // when the count text was not written by us ("03", "3 ").
        const std::string section = sectionName(count);
        // A search empties the table but keeps the sections, so a machine's name is found in
        // the section an earlier search gave it. A name in the reused section belongs to
        // another machine unless that section held this very address.
        std::string name;
        for (const std::string& other : document.sectionNames()) {
            const auto index = tableIndex(other);
            if (index && *index >= count && document.value(other, kAddressKey) == address) {
                name = document.value(other, kNameKey).value_or("");
                if (*index == count || !name.empty())
                    break;
            }
        }
        document.set(section, kAddressKey, address);
        document.set(section, kChooseKey, "1");
        if (document.value(section, kNameKey) || !name.empty())
            document.set(section, kNameKey, name);
        document.set(kCountSection, kCountKey, std::to_string(count + 1));
        return m_config.save(document);
    });
}

bool MachineTable::reset() const
{
    return m_config.writeText(kCountSection, kCountKey, "0");
}

bool MachineTable::tick(int k, bool ticked) const
{
    if (k < 0)
        return false;
    if (!ticked)
        return setChosen(k, false);
    // One rewrite of the file, so no reader ever sees two machines chosen or none.
    return m_config.update([&] {
        ProfileDocument document = m_config.snapshot();
        const int count = countOf(document);
        bool changed = document.set(sectionName(k), kChooseKey, "1");
        // Entries without a section or key already read as unticked.
        for (const auto& [index, section] : entrySections(document, count)) {
            if (index == k)
                continue;
            const auto stored = document.value(section, kChooseKey);
            if (stored && *stored != "0")
                changed = document.set(section, kChooseKey, "0") || changed;
        }
        if (!changed && document.readable() && m_config.exists())
            return true;
        return m_config.save(document);
    });
}

std::optional<std::string> MachineTable::firstChosenAddress(int max) const
{
    return ConfigFile::transaction([&]() -> std::optional<std::string> {
        const ProfileDocument document = m_config.snapshot();
        const int count = std::min(countOf(document), max);
        for (const auto& [index, section] : entrySections(document, count)) {
            if (parseCNumber(document.value(section, kChooseKey).value_or("0")) != 0)
                return document.value(section, kAddressKey).value_or(std::string(kMissingAddress));
        }
        return std::nullopt;
    });
}

std::vector<MachineEntry> MachineTable::load(int max) const
{
    const ProfileDocument document = m_config.snapshot();
    const int count = std::min(countOf(document), max);
    std::vector<MachineEntry> entries;
    for (int i = 0; i < count; ++i) {
        const std::string section = sectionName(i);
        MachineEntry entry;
        entry.address = document.value(section, kAddressKey).value_or(std::string(kMissingAddress));
        entry.ticked = parseCNumber(document.value(section, kChooseKey).value_or("0")) != 0;
        entry.name = document.value(section, kNameKey).value_or("");
        entries.push_back(std::move(entry));
    }
    return entries;
}
