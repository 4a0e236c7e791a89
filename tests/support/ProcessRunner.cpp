#include "tests/support/ProcessRunner.h"

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <string_view>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

extern "C" char** environ;

// The child of a threaded test may only make async-signal-safe calls between fork and exec
// (another thread may hold the allocator's or the environment's lock at the fork), so every
// string and array is made before the fork.
pid_t spawn(const std::vector<std::string>& argv, const std::string& outPath,
            const std::string& errPath)
{
    std::vector<std::string> env;
    for (char** e = environ; e && *e; ++e) {
        const std::string_view entry(*e);
        if (!entry.starts_with("HOOPWATCH_LOOPBACK_ONLY=") &&
            !entry.starts_with("HOOPWATCH_CONFIG="))
            env.emplace_back(entry);
    }
    env.emplace_back("HOOPWATCH_LOOPBACK_ONLY=1");
    std::vector<char*> envp;
    for (auto& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);

    const pid_t pid = ::fork();
    if (pid != 0)
        return pid;
    const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out >= 0)
        ::dup2(out, 1);
    if (err >= 0)
        ::dup2(err, 2);
    ::execve(args[0], args.data(), envp.data());
    ::_exit(127);
}

int waitFor(pid_t pid, std::chrono::seconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

std::string binPath(const std::string& name)
{
    return std::string(HOOPWATCH_BIN_DIR) + "/" + name;
}

std::string readText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

ProcessResult runProcess(const std::vector<std::string>& argv, const std::string& workDir,
                         std::chrono::seconds limit)
{
    static int serial = 0;
    const std::string base = workDir + "/run" + std::to_string(++serial);
    const pid_t pid = spawn(argv, base + ".out", base + ".err");
    ProcessResult r;
    r.exitCode = pid > 0 ? waitFor(pid, limit) : -1;
    r.out = readText(base + ".out");
    r.err = readText(base + ".err");
    return r;
}

BackgroundProcess::BackgroundProcess(const std::vector<std::string>& argv,
                                     const std::string& outPath)
    : m_pid(spawn(argv, outPath, outPath + ".err"))
{
}

BackgroundProcess::~BackgroundProcess()
{
    stop();
}

int BackgroundProcess::wait(std::chrono::seconds limit)
{
    if (m_pid <= 0)
        return -1;
    const int code = waitFor(m_pid, limit);
    m_pid = -1;
    return code;
}

bool BackgroundProcess::ended()
{
    if (m_pid <= 0)
        return true;
    int status = 0;
    if (::waitpid(m_pid, &status, WNOHANG) == 0)
        return false;
    m_pid = -1;
    return true;
}

void BackgroundProcess::stop()
{
    if (m_pid <= 0)
        return;
    ::kill(m_pid, SIGTERM);
    waitFor(m_pid, std::chrono::seconds(5));
    m_pid = -1;
}

SimulatedMachines::SimulatedMachines(const std::vector<std::string>& argv,
                                     const std::string& outPath, std::chrono::milliseconds limit)
    : m_errPath(outPath + ".err"), m_process(argv, outPath)
{
    // The announcement follows the binding of every socket.
    const auto announced = [&] { return errors().find("machine(s) on port") != std::string::npos; };
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!announced() && !m_process.ended() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    m_ready = announced() && !m_process.ended();
}
