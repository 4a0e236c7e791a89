#include "app/Console.h"

#include <unistd.h>

namespace console {

std::vector<std::string> utf8Arguments(int argc, char** argv)
{
    if (argc <= 1 || !argv)
        return {};
    return {argv + 1, argv + argc};
}

void useUtf8Output()
{
    // Terminals take the locale's encoding, which the tools leave as it is.
}

bool isTerminal(std::FILE* stream)
{
    return ::isatty(::fileno(stream)) != 0;
}

bool enableTerminalCodes(std::FILE* stream)
{
    return isTerminal(stream);
}

} // namespace console
