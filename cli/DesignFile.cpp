#include "cli/DesignFile.h"

#include <cstdio>
#include <optional>

#include "design/DesignLoader.h"

int loadDesignForCli(const std::string& path, Design* design, bool keepRecords)
{
    const std::optional<DesignFormat> format = designFormatForPath(path);
    if (!format) {
        std::fprintf(stderr, "hoopwatch-cli: %s: not a design file (.dst, .dsb, .tbf, .dsr)\n",
                     path.c_str());
        return kExitUsage;
    }
    clearStitches(&design->stitches);
    {
        // The bytes are released before anything else is allocated.
        const auto bytes = readWholeFile(path);
        if (!bytes) {
            if (isOversizedDesignFile(path))
                std::fprintf(stderr,
                             "hoopwatch-cli: %s: refused: larger than %llu bytes, the most a "
                             "machine takes\n",
                             path.c_str(), static_cast<unsigned long long>(kMaxDesignFileBytes));
            else
                std::fprintf(stderr, "hoopwatch-cli: %s: cannot read the file\n", path.c_str());
            return kExitUnreadable;
        }
        readDesignBytes(*format, *bytes, keepRecords ? &design->stitches : nullptr,
                        &design->extents, &design->summary);
    }
    return kExitDone;
}
