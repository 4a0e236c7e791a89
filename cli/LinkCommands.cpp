#include <cstdio>

#include "cli/Commands.h"

bool isLinkCommand(const std::string&) { return false; }
int cmdLink(const std::string&, const GlobalOptions&, ArgList) { return 2; }
