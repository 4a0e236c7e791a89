#include "app/Console.h"

#include <windows.h>

#include <shellapi.h>

namespace console {

namespace {

std::string utf8(const wchar_t* wide)
{
    const int length = ::WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (length <= 1)
        return {};
    std::string text(std::size_t(length), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide, -1, text.data(), length, nullptr, nullptr);
    text.resize(std::size_t(length - 1));
    return text;
}

} // namespace

std::vector<std::string> utf8Arguments(int argc, char** argv)
{
    int count = 0;
    LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (!wide) {
        // Without the wide line the narrow arguments are the best there is.
        if (argc <= 1 || !argv)
            return {};
        return {argv + 1, argv + argc};
    }
    std::vector<std::string> arguments;
    for (int i = 1; i < count; ++i)
        arguments.push_back(utf8(wide[i]));
    ::LocalFree(wide);
    return arguments;
}

void useUtf8Output()
{
    ::SetConsoleOutputCP(CP_UTF8);
}

} // namespace console
