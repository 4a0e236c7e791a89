#include "app/Console.h"

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

} // namespace console
