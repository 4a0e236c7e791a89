#pragma once

#include <optional>

#include <QString>
#include <QStringList>

// Command-line options of the desktop application.
struct AppOptions
{
    bool demo = false;                 // --demo: simulated machines on loopback
    std::optional<QString> configPath; // --config FILE
    std::optional<int> machinePort;    // --machine-port N
    std::optional<int> listenPort;     // --listen-port N
    std::optional<QString> prefix;     // --prefix P (search prefix, e.g. "127.0.0.")
    std::optional<QString> key;        // --key K
    QStringList files;                 // FILE...: designs to import at start, the last current
};

// Parses the arguments after the program name; "--name VALUE" and "--name=VALUE" both work.
// Other arguments, and every argument after "--", are design files. Returns nullopt and fills
// `error` for an unknown option, a missing value or a bad port.
std::optional<AppOptions> parseAppOptions(const QStringList& args, QString* error);
