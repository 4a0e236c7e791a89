#pragma once

#include <string>

#include "design/Design.h"

// Exit codes of the design commands.
inline constexpr int kExitDone = 0;
inline constexpr int kExitUnreadable = 1; // unreadable or refused file, image not written
inline constexpr int kExitUsage = 2;

// Loads one design file for a command, reading it once and summarising it in the same pass.
// Without `keepRecords` only the summary and extents are filled (the list stays empty).
// Returns 0, or the exit code after a message on stderr: 2 for an unknown suffix, 1 for a
// file that cannot be read or is refused for its size.
int loadDesignForCli(const std::string& path, Design* design, bool keepRecords);
