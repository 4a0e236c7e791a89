#pragma once

#include <string>

// The exit code of a command that may have written the settings file at `configPath`: when a
// write of it failed, the reason goes to stderr once and a successful exit code becomes 1 (a
// refused file), so the operator never takes unsaved settings for saved ones. A command that
// already failed keeps its own code.
int reportConfigFailure(const std::string& configPath, int exitCode);
