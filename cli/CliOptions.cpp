#include "cli/CliOptions.h"

#include <charconv>
#include <cstdlib>

std::optional<std::string> ArgList::take(const std::string& name)
{
    for (auto it = m_args.begin(); it != m_args.end(); ++it) {
        if (*it == name && it + 1 != m_args.end()) {
            std::string value = *(it + 1);
            m_args.erase(it, it + 2);
            return value;
        }
        if (it->size() > name.size() + 1 && it->compare(0, name.size(), name) == 0 &&
            (*it)[name.size()] == '=') {
            std::string value = it->substr(name.size() + 1);
            m_args.erase(it);
            return value;
        }
    }
    return std::nullopt;
}

bool ArgList::takeFlag(const std::string& name)
{
    for (auto it = m_args.begin(); it != m_args.end(); ++it) {
        if (*it == name) {
            m_args.erase(it);
            return true;
        }
    }
    return false;
}

std::optional<std::string> ArgList::unknownOption() const
{
    for (const auto& a : m_args)
        if (a.size() > 2 && a.compare(0, 2, "--") == 0)
            return a;
    return std::nullopt;
}

std::optional<int> parseInt(const std::string& text)
{
    int value = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end || text.empty())
        return std::nullopt;
    return value;
}

std::optional<double> parseDouble(const std::string& text)
{
    if (text.empty())
        return std::nullopt;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size())
        return std::nullopt;
    return value;
}
