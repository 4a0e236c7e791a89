#include <cstdio>

#include "cli/Commands.h"

int cmdRender(const GlobalOptions&, ArgList) { std::fputs("render: not built yet\n", stderr); return 2; }
