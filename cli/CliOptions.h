#pragma once

#include <optional>
#include <string>
#include <vector>

// Options shared by every subcommand; they may stand before or after the subcommand.
struct GlobalOptions
{
    std::optional<std::string> configPath; // --config FILE (else HOOPWATCH_CONFIG, else beside the tool)
    std::optional<int> machinePort;        // --machine-port N
    std::optional<int> listenPort;         // --listen-port N
    std::optional<std::string> key;        // --key K
};

// A subcommand's own arguments, with the global options taken out.
class ArgList
{
public:
    explicit ArgList(std::vector<std::string> args) : m_args(std::move(args)) {}

    // Removes "--name VALUE" (or "--name=VALUE") and returns VALUE.
    std::optional<std::string> take(const std::string& name);
    // Removes a bare "--name" flag and returns whether it was there.
    bool takeFlag(const std::string& name);
    // Whatever is left: positional arguments, or unknown options.
    const std::vector<std::string>& rest() const { return m_args; }
    // The first leftover argument that starts with "--", if any.
    std::optional<std::string> unknownOption() const;

private:
    std::vector<std::string> m_args;
};

// Parses a whole decimal int; nullopt for anything else.
std::optional<int> parseInt(const std::string& text);
std::optional<double> parseDouble(const std::string& text);
