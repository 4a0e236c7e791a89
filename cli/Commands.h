#pragma once

#include "cli/CliOptions.h"
#include "control/LinkSettings.h"

// Each subcommand returns the process exit code. `args` holds the subcommand's own
// arguments, global options already removed. Messages go to stderr, results to stdout.
int cmdInfo(const GlobalOptions& global, ArgList args);
int cmdDump(const GlobalOptions& global, ArgList args);
int cmdRender(const GlobalOptions& global, ArgList args);
int cmdSearch(const GlobalOptions& global, ArgList args);
int cmdWatch(const GlobalOptions& global, ArgList args);
int cmdServe(const GlobalOptions& global, ArgList args);
// name ADDR TEXT: the operator's name for a machine of the table.
int cmdName(const GlobalOptions& global, ArgList args);
int cmdReport(const GlobalOptions& global, ArgList args);
// send, jog, lever, confirm, release, palette, status, params
int cmdLink(const std::string& name, const GlobalOptions& global, ArgList args);
bool isLinkCommand(const std::string& name);

// Ports, key and settings file as the global options and the environment give them.
LinkSettings linkSettings(const GlobalOptions& global);
