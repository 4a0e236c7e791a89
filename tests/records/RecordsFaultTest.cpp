// Several writers on one history file, killed at random moments: every committed row stays
// and the file stays sound.
#include "records/RecordsDatabase.h"

#include <chrono>
#include <cstdio>
#include <map>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <cstdlib>
#include <windows.h>
#else
#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include "tests/support/TempFolder.h"

namespace {

constexpr int kRowsPerBatch = 20;

// Writer `id` (the `w`th of its round) appends batches until it is killed; `tell(batch)` runs
// only after that batch's commit returned. The exit code says why it ended by itself.
template <typename Tell>
int writeUntilKilled(const std::string& path, int id, int w, Tell tell)
{
    RecordsDatabase db;
    if (const RecordsFault fault = db.open(path, RecordsDatabase::Mode::ReadWrite);
        fault != RecordsFault::None) {
        std::fprintf(stderr, "open: %s (%s)\n", recordsFaultText(fault).data(), db.detail().c_str());
        return 3;
    }
    for (int batch = 0; batch < 100000; ++batch) {
        std::vector<EventRow> rows;
        for (int r = 0; r < kRowsPerBatch; ++r)
            rows.push_back({(id * 1000000LL + batch) * 1000, RecordKind::Started,
                            "127.0.0." + std::to_string(w + 1), "",
                            {"d" + std::to_string(batch % 7) + ".dst", 100, 2, ""}, r});
        if (!db.append(rows, {}))
            return 4;
        if (!tell(batch))
            return 5;
    }
    return 0;
}

// A writer process and the pipe through which it tells its committed batches.
struct Writer
{
#ifdef _WIN32
    HANDLE process = nullptr;
    HANDLE told = nullptr;
    bool started() const { return process != nullptr; }
#else
    pid_t process = -1;
    int told = -1;
    bool started() const { return process > 0; }
#endif
    int id = 0;
};

#ifdef _WIN32
// Windows has no fork: a writer is this program started again with HOOPWATCH_RECORDS_WRITER
// set to "id w path"; it writes before any test would start and never returns.
constexpr const char* kWriterVariable = "HOOPWATCH_RECORDS_WRITER";
constexpr UINT kKilled = 137;

[[maybe_unused]] const bool kIsWriter = [] {
    const char* spec = std::getenv(kWriterVariable);
    if (spec == nullptr)
        return false;
    int id = 0, w = 0, used = 0;
    if (std::sscanf(spec, "%d %d %n", &id, &w, &used) != 2 || used == 0)
        std::exit(2);
    const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    std::exit(writeUntilKilled(spec + used, id, w, [out](int batch) {
        DWORD written = 0;
        return ::WriteFile(out, &batch, sizeof batch, &written, nullptr) && written == sizeof batch;
    }));
}();

Writer startWriter(const std::string& path, int id, int w)
{
    Writer writer;
    writer.id = id;
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    HANDLE toldEnd = nullptr;
    if (!::CreatePipe(&writer.told, &toldEnd, &inherited, 0))
        return writer;
    ::SetHandleInformation(writer.told, HANDLE_FLAG_INHERIT, 0);
    wchar_t program[MAX_PATH];
    ::GetModuleFileNameW(nullptr, program, MAX_PATH);
    std::wstring commandLine = L"\"" + std::wstring(program) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = toldEnd;
    startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION started{};
    const std::string spec = std::to_string(id) + " " + std::to_string(w) + " " + path;
    ::SetEnvironmentVariableA(kWriterVariable, spec.c_str());
    if (::CreateProcessW(program, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                         &startup, &started)) {
        writer.process = started.hProcess;
        ::CloseHandle(started.hThread);
    }
    ::SetEnvironmentVariableA(kWriterVariable, nullptr);
    ::CloseHandle(toldEnd);
    return writer;
}

bool readTold(Writer& writer, int* batch)
{
    DWORD got = 0;
    return ::ReadFile(writer.told, batch, sizeof *batch, &got, nullptr) && got == sizeof *batch;
}

// Kills the writer and waits for its end; false when it had ended by itself.
bool killWriter(Writer& writer, std::string* why)
{
    ::TerminateProcess(writer.process, kKilled);
    ::WaitForSingleObject(writer.process, INFINITE);
    DWORD code = 0;
    ::GetExitCodeProcess(writer.process, &code);
    ::CloseHandle(writer.process);
    *why = "exit code " + std::to_string(code);
    return code == kKilled;
}

void closeTold(Writer& writer)
{
    ::CloseHandle(writer.told);
}
#else
Writer startWriter(const std::string& path, int id, int w)
{
    Writer writer;
    writer.id = id;
    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        return writer;
    writer.process = ::fork();
    if (writer.process == 0) {
        ::close(pipeFds[0]);
        ::_exit(writeUntilKilled(path, id, w, [&](int batch) {
            return ::write(pipeFds[1], &batch, sizeof batch) == sizeof batch;
        }));
    }
    ::close(pipeFds[1]);
    writer.told = pipeFds[0];
    return writer;
}

bool readTold(Writer& writer, int* batch)
{
    return ::read(writer.told, batch, sizeof *batch) == sizeof *batch;
}

bool killWriter(Writer& writer, std::string* why)
{
    ::kill(writer.process, SIGKILL);
    int status = 0;
    ::waitpid(writer.process, &status, 0);
    *why = "status " + std::to_string(status);
    return WIFSIGNALED(status);
}

void closeTold(Writer& writer)
{
    ::close(writer.told);
}
#endif

} // namespace

TEST(RecordsFault, WritersKilledAtRandomLoseNoCommittedRow)
{
    TempFolder folder;
    const std::string path = folder.file("hoopwatch-history.sqlite");
    std::mt19937 random(21);
    std::set<std::pair<int, int>> committed; // (writer, batch) confirmed by a writer
    int nextWriter = 0;
    constexpr int kRounds = 8;
    constexpr int kWriters = 3;
    for (int round = 0; round < kRounds; ++round) {
        std::vector<Writer> writers;
        for (int w = 0; w < kWriters; ++w) {
            writers.push_back(startWriter(path, nextWriter++, w));
            ASSERT_TRUE(writers.back().started()) << "writer not started";
        }
#ifdef _WIN32
        // A process takes far longer to start here than the moments below: each writer's
        // first commit is awaited first, so the kills still fall among the commits.
        for (Writer& writer : writers) {
            int batch = 0;
            if (readTold(writer, &batch))
                committed.insert({writer.id, batch});
        }
#endif
        std::this_thread::sleep_for(
            std::chrono::microseconds(std::uniform_int_distribution<int>(2000, 120000)(random)));
        for (Writer& writer : writers) {
            std::string why;
            EXPECT_TRUE(killWriter(writer, &why)) << "writer ended by itself: " << why;
            int batch = 0;
            while (readTold(writer, &batch))
                committed.insert({writer.id, batch});
            closeTold(writer);
        }
    }
    RecordsDatabase db;
    ASSERT_EQ(db.open(path, RecordsDatabase::Mode::ReadWrite, true), RecordsFault::None);
    EXPECT_EQ(db.integrityCheck(), "ok");
    const auto rows = db.events({});
    ASSERT_TRUE(rows);
    std::map<std::pair<int, int>, int> found;
    for (const EventRow& row : *rows)
        ++found[{int(row.at / 1000 / 1000000), int(row.at / 1000 % 1000000)}];
    EXPECT_GT(committed.size(), std::size_t{kRounds});
    for (const auto& key : committed)
        EXPECT_EQ(found[key], kRowsPerBatch) << key.first << "/" << key.second;
    // A batch is whole or absent, never part-written.
    for (const auto& [key, count] : found)
        EXPECT_EQ(count, kRowsPerBatch) << key.first << "/" << key.second;
}
