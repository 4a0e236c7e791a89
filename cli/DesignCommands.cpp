#include <cstdio>

#include "cli/Commands.h"

int cmdInfo(const GlobalOptions&, ArgList) { std::fputs("info: not built yet\n", stderr); return 2; }
int cmdDump(const GlobalOptions&, ArgList) { std::fputs("dump: not built yet\n", stderr); return 2; }
