#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "link/PacketCipher.h"

// Where the link talks and with which key; defaults are the machines' own.
struct LinkSettings
{
    std::uint16_t machinePort = 8040; // the machines listen here
    std::uint16_t listenPort = 8040;  // answers arrive here; 0 picks a free port
    std::string key = defaultCipherKey();
    std::string configPath;                  // the configuration file the link reads and writes
    std::optional<std::string> searchPrefix; // e.g. "127.0.0."; else taken from the local address
};
