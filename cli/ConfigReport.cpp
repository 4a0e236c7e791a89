#include "cli/ConfigReport.h"

#include <cstdio>

#include "app/ConfigFile.h"
#include "app/UiTexts.h"

int reportConfigFailure(const std::string& configPath, int exitCode)
{
    if (configPath.empty())
        return exitCode;
    const ConfigFile config(configPath);
    const auto failure = config.takeUnreportedFailure();
    if (!failure)
        return exitCode;
    // The tool speaks the file's language when it names one, English otherwise.
    const int language = config.exists() ? readLanguage(config, "2") : 2;
    std::fprintf(stderr, "hoopwatch-cli: %s\n", configFailureMessage(*failure, language).c_str());
    return exitCode == 0 ? 1 : exitCode;
}
