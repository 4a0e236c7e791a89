// `hoopwatch-cli render` runs hoopwatch-render, the executable beside it that links the Qt
// drawing backend, so that no other command loads a Qt library. This file is the one place
// where starting the other executable differs by platform.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "cli/DesignFile.h"

#ifdef _WIN32
#include <algorithm>

#include <process.h>
#include <windows.h>

#include "app/Platform.h"
#include "app/Utf8Path.h"
#else
#include <climits>
#include <unistd.h>
#endif

namespace {

#ifdef _WIN32
constexpr const char* kRenderProgram = "hoopwatch-render.exe";
constexpr char kSeparator = '\\';

// The C runtime joins the arguments into one command line without quoting them; each is
// quoted here the way the receiving runtime splits them again (backslashes before a quote
// doubled), so that paths with spaces or quotes arrive whole.
std::string quotedArgument(const std::string& arg)
{
    std::string out = "\"";
    std::size_t backslashes = 0;
    for (const char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        out.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
        backslashes = 0;
        out += c;
    }
    out.append(2 * backslashes, '\\');
    return out + "\"";
}

// The arguments travel as UTF-16: a narrow command line would pass them in the ANSI code
// page, which has no room for most file names (hoopwatch-render reads the wide line back).
std::wstring wide(const std::string& utf8)
{
    const int length = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    std::wstring text(std::size_t(std::max(length, 0)), L'\0');
    if (length > 0)
        ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), text.data(), length);
    return text;
}

std::string ownPath()
{
    return utf8FromPath(platform::executablePath());
}
#else
constexpr const char* kRenderProgram = "hoopwatch-render";
constexpr char kSeparator = '/';

std::string ownPath()
{
    std::vector<char> path(PATH_MAX);
    const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= path.size())
        return {};
    return std::string(path.data(), static_cast<std::size_t>(n));
}
#endif

// hoopwatch-render in the folder of this executable.
std::string renderProgramPath()
{
    const std::string self = ownPath();
    const std::size_t slash = self.find_last_of(kSeparator);
    if (slash == std::string::npos)
        return {};
    return self.substr(0, slash + 1) + kRenderProgram;
}

} // namespace

int cmdRender(const GlobalOptions&, ArgList args)
{
    const std::string program = renderProgramPath();
    std::vector<std::string> words;
    words.push_back(program);
    words.insert(words.end(), args.rest().begin(), args.rest().end());
    std::fflush(stdout);
    if (!program.empty()) {
#ifdef _WIN32
        std::vector<std::wstring> wideWords;
        for (const std::string& w : words)
            wideWords.push_back(wide(quotedArgument(w)));
        std::vector<const wchar_t*> argv;
        for (const std::wstring& w : wideWords)
            argv.push_back(w.c_str());
        argv.push_back(nullptr);
        const intptr_t rc = _wspawnv(_P_WAIT, wide(program).c_str(), argv.data());
        if (rc >= 0)
            return static_cast<int>(rc);
#else
        std::vector<char*> argv;
        for (std::string& w : words)
            argv.push_back(w.data());
        argv.push_back(nullptr);
        ::execv(program.c_str(), argv.data());
#endif
    }
    std::fprintf(stderr,
                 "hoopwatch-cli render: cannot start %s (it must lie beside hoopwatch-cli)\n",
                 program.empty() ? kRenderProgram : program.c_str());
    return kExitUnreadable;
}
