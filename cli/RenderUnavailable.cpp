#include <cstdio>

#include "cli/Commands.h"

int cmdRender(const GlobalOptions&, ArgList)
{
    std::fprintf(stderr, "hoopwatch-cli: render is not part of this build (it needs Qt)\n");
    return 2;
}
