#include "app/MachineTable.h"

#include <algorithm>
#include <climits>
#include <map>

#include "app/ProfileDocument.h"

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

} // namespace

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
        document.set(section, kAddressKey, address);
        document.set(section, kChooseKey, "1");
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
        entries.push_back(std::move(entry));
    }
    return entries;
}
