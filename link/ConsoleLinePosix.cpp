#include "link/ConsoleLine.h"

#include <cstdio>
#include <cstring>
#include <string>

#include <iconv.h>
#include <langinfo.h>

void writeConsoleLine(std::string_view utf8)
{
    std::string out(utf8);
    const char* codeset = nl_langinfo(CODESET);
    if (codeset && (std::strncmp(codeset, "GB", 2) == 0)) {
        iconv_t cd = iconv_open(codeset, "UTF-8");
        if (cd != iconv_t(-1)) {
            std::string converted(utf8.size() * 2 + 8, '\0');
            char* in = out.data();
            std::size_t inLeft = out.size();
            char* dst = converted.data();
            std::size_t outLeft = converted.size();
            if (iconv(cd, &in, &inLeft, &dst, &outLeft) != std::size_t(-1))
                out.assign(converted.data(), converted.size() - outLeft);
            iconv_close(cd);
        }
    }
    out += '\n';
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fflush(stdout);
}
