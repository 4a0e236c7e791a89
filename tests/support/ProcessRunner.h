#pragma once

#include <chrono>
#include <string>
#include <sys/types.h>
#include <vector>

// Runs the project's executables for end-to-end tests: output captured in files, every run
// bounded in time, every background process ended by its own id.
struct ProcessResult
{
    int exitCode = -1; // -1 when it had to be killed
    std::string out;
    std::string err;
};

std::string binPath(const std::string& name);
std::string readText(const std::string& path);

// Runs to its end (killed after `limit`).
ProcessResult runProcess(const std::vector<std::string>& argv, const std::string& workDir,
                         std::chrono::seconds limit = std::chrono::seconds(30));

// A process that runs beside the test, stopped with SIGTERM when the object goes.
class BackgroundProcess
{
public:
    BackgroundProcess(const std::vector<std::string>& argv, const std::string& outPath);
    ~BackgroundProcess();
    BackgroundProcess(const BackgroundProcess&) = delete;
    BackgroundProcess& operator=(const BackgroundProcess&) = delete;
    // The exit code, once it has ended (killed after `limit`).
    int wait(std::chrono::seconds limit = std::chrono::seconds(30));
    bool running() const { return m_pid > 0; }
    // The process id while it runs (for signals and /proc), -1 after.
    pid_t pid() const { return m_pid; }
    void stop();
    // True once it has ended (or was never started); the exit is collected then.
    bool ended();

private:
    pid_t m_pid = -1;
};

// z62-sim beside the test, started from `argv` (its path first, or a wrapper such as env) and
// waited for until it says on stderr that its sockets are bound, at most `limit`: a request
// sent after the constructor is never lost to a machine that is still starting. Stopped with
// SIGTERM when the object goes.
class SimulatedMachines
{
public:
    SimulatedMachines(const std::vector<std::string>& argv, const std::string& outPath,
                      std::chrono::milliseconds limit = std::chrono::seconds(10));
    // Whether it announced itself in time; else errors() says why not.
    bool ready() const { return m_ready; }
    // What it wrote to stderr so far (its announcement, or why it could not start).
    std::string errors() const { return readText(m_errPath); }
    BackgroundProcess& process() { return m_process; }

private:
    std::string m_errPath;
    BackgroundProcess m_process;
    bool m_ready = false;
};
