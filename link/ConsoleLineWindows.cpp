#include "link/ConsoleLine.h"

#include <cstdio>
#include <string>

#include <windows.h>

void writeConsoleLine(std::string_view utf8)
{
    std::fflush(stdout);
    HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    // A real console takes UTF-16 whatever its code page; files and pipes get UTF-8.
    if (out != INVALID_HANDLE_VALUE && out && ::GetConsoleMode(out, &mode) && !utf8.empty()) {
        const int length =
            ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
        if (length > 0) {
            std::wstring wide(std::size_t(length) + 1, L'\n');
            ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), wide.data(), length);
            DWORD written = 0;
            if (::WriteConsoleW(out, wide.data(), DWORD(wide.size()), &written, nullptr))
                return;
        }
    }
    std::string line(utf8);
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
}
