#pragma once

#include <string>
#include <utility>
#include <vector>

// A settings file's machine table as text: the count, then one entry per address with its
// IsChoose value. Written by hand, so the tests do not depend on the code they check.
inline std::string machineTableText(const std::vector<std::pair<std::string, int>>& machines)
{
    std::string text = "[Z62_Net_Count]\ncount=" + std::to_string(machines.size()) + "\n";
    for (std::size_t i = 0; i < machines.size(); ++i)
        text += "[Z62_Net_" + std::to_string(i) + "]\nIp=" + machines[i].first +
                "\nIsChoose=" + std::to_string(machines[i].second) + "\n";
    return text;
}
