#include <cstdio>

#include "cli/Commands.h"

int cmdSearch(const GlobalOptions&, ArgList) { std::fputs("search: not built yet\n", stderr); return 2; }
