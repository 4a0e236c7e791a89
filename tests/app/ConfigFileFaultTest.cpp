// Fault injection against the settings file: other processes, kills, special files, bad modes.
#include "app/ConfigFile.h"

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "app/MachineTable.h"
#include "app/ProfileDocument.h"
#include "app/UiTexts.h"
#include "tests/support/TempFolder.h"

namespace fs = std::filesystem;

namespace {

std::set<std::string> folderNames(const fs::path& folder)
{
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

// Runs each body in its own child process, all released at the same moment, and returns
// how many of them succeeded.
int runAtOnce(const std::vector<std::function<bool()>>& bodies)
{
    int gate[2];
    if (::pipe(gate) != 0)
        return 0;
    std::vector<pid_t> children;
    for (const auto& body : bodies) {
        const pid_t child = ::fork();
        if (child == 0) {
            ::close(gate[1]);
            char byte = 0;
            // Blocks until the parent closes its end: every child starts together.
            (void)::read(gate[0], &byte, 1);
            ::_exit(body() ? 0 : 1);
        }
        if (child > 0)
            children.push_back(child);
    }
    ::close(gate[0]);
    ::close(gate[1]);
    int succeeded = 0;
    for (pid_t child : children) {
        int status = 0;
        ::waitpid(child, &status, 0);
        succeeded += (WIFEXITED(status) && WEXITSTATUS(status) == 0) ? 1 : 0;
    }
    return succeeded;
}

TEST(ConfigFileFault, ProcessesWritingAtOnceLoseNoKey)
{
    TempFolder folder(true);
    const ConfigFile config(folder.file("ZUZiruro.ini"));
    constexpr int kProcesses = 4;
    constexpr int kKeys = 60;
    std::vector<std::function<bool()>> bodies;
    for (int p = 0; p < kProcesses; ++p) {
        bodies.push_back([&config, p] {
            bool ok = true;
            for (int k = 0; k < kKeys; ++k)
                ok = config.writeText("P" + std::to_string(p), "k" + std::to_string(k),
                                      std::to_string(k)) &&
                     ok;
            return ok;
        });
    }
    ASSERT_EQ(runAtOnce(bodies), kProcesses);
    const ProfileDocument document = config.snapshot();
    int present = 0;
    for (int p = 0; p < kProcesses; ++p) {
        for (int k = 0; k < kKeys; ++k) {
            const auto value = document.value("P" + std::to_string(p), "k" + std::to_string(k));
            present += (value && *value == std::to_string(k)) ? 1 : 0;
        }
    }
    EXPECT_EQ(present, kProcesses * kKeys);
    EXPECT_EQ(folderNames(folder.path()),
              (std::set<std::string>{"ZUZiruro.ini", "ZUZiruro.ini.lock"}));
}

TEST(ConfigFileFault, ProcessesAppendingAtOnceFillTheTable)
{
    // Four searches on one file, each finding its own 30 machines, while the window changes
    // the language.
    TempFolder folder(true);
    const ConfigFile config(folder.file("ZUZiruro.ini"));
    const MachineTable table(config);
    ASSERT_TRUE(writeStartupDefaults(config));
    constexpr int kSearches = 4;
    constexpr int kMachines = 30;
    std::vector<std::function<bool()>> bodies;
    for (int s = 0; s < kSearches; ++s) {
        bodies.push_back([&table, s] {
            bool ok = true;
            for (int m = 0; m < kMachines; ++m)
                ok = table.append("127.0." + std::to_string(s) + "." + std::to_string(m)) && ok;
            return ok;
        });
    }
    bodies.push_back([&config] {
        bool ok = true;
        for (int i = 0; i < 20; ++i)
            ok = config.writeText("Z62Language", "Language", i % 2 ? "2" : "1") && ok;
        return ok;
    });
    ASSERT_EQ(runAtOnce(bodies), kSearches + 1);
    const auto entries = table.load(1000);
    ASSERT_EQ(entries.size(), static_cast<std::size_t>(kSearches * kMachines));
    std::set<std::string> addresses;
    for (const auto& entry : entries)
        addresses.insert(entry.address);
    EXPECT_EQ(addresses.size(), entries.size());
    EXPECT_EQ(readLanguage(config), 2);
}

TEST(ConfigFileFault, KilledWritersLeaveAWholeFileAndNoTemporary)
{
    TempFolder folder;
    const ConfigFile config(folder.file("ZUZiruro.ini"));
    // A file of the user's beside the settings, which no write may touch.
    const std::string userFile = folder.file("ZUZiruro.ini.backup");
    writeBytes(userFile, "kept");
    ASSERT_TRUE(writeStartupDefaults(config));

    const std::string filler(90, 'v');
    constexpr int kKills = 30;
    for (int round = 0; round < kKills; ++round) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (int k = 0; k < 5000; ++k)
                config.writeText("Loop", "k" + std::to_string(k), filler + std::to_string(round));
            ::_exit(0);
        }
        // Kill at a different moment each round: before, during and between writes.
        ::usleep(static_cast<useconds_t>(500 + 700 * round));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);

        const ProfileDocument document = config.snapshot();
        ASSERT_TRUE(document.readable()) << round;
        EXPECT_EQ(document.value("Z62_Net_0", "Ip").value_or(""), "192.168.7.100") << round;
        EXPECT_EQ(document.value("Z62Language", "Language").value_or(""), "0") << round;
        // The keys form an unbroken run, each with a whole value.
        int written = 0;
        while (document.value("Loop", "k" + std::to_string(written)))
            ++written;
        EXPECT_FALSE(document.value("Loop", "k" + std::to_string(written + 1))) << round;
        for (int k = 0; k < written; ++k) {
            const std::string value = document.value("Loop", "k" + std::to_string(k)).value_or("");
            ASSERT_EQ(value.substr(0, filler.size()), filler) << round << " k" << k;
        }
    }
    ASSERT_TRUE(config.writeText("After", "kills", "1"));
    EXPECT_EQ(folderNames(folder.path()),
              (std::set<std::string>{"ZUZiruro.ini", "ZUZiruro.ini.lock", "ZUZiruro.ini.backup"}));
    EXPECT_EQ(readBytes(userFile), "kept");
}

// A settings path that must be refused: how to make it, what the refusal says.
struct RefusedTarget
{
    const char* name;
    std::function<bool(const std::string& path)> make; // false when it cannot be made here
    TextId reason;
    int language; // what a read of Z62Language/Language with default 1 gives
};

TEST(ConfigFileFault, SpecialAndProtectedFilesAreRefusedAndLeftAlone)
{
    const std::string oversized =
        "[Z62Language]\nLanguage=2\n; " + std::string(ConfigFile::kMaxFileBytes, 'x') + "\n";
    const RefusedTarget cases[] = {
        {"fifo", [](const std::string& path) { return ::mkfifo(path.c_str(), 0644) == 0; },
         TextId::ConfigNotRegular, 1},
        {"folder", [](const std::string& path) { return fs::create_directory(path); },
         TextId::ConfigNotRegular, 1},
        // Our own null device node in the temp folder, never the system's /dev/null.
        {"device",
         [](const std::string& path) {
             return ::mknod(path.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;
         },
         TextId::ConfigNotRegular, 1},
        {"read-only file",
         [](const std::string& path) {
             writeBytes(path, "[Z62Language]\nLanguage=2\n");
             fs::permissions(path, fs::perms(0444));
             return true;
         },
         TextId::ConfigReadOnly, 2},
        {"oversized file",
         [&oversized](const std::string& path) {
             writeBytes(path, oversized);
             return true;
         },
         TextId::ConfigTooLarge, 1},
        {"link loop",
         [](const std::string& path) {
             fs::create_symlink("loop-b", path);
             fs::create_symlink("ZUZiruro.ini", fs::path(path).parent_path() / "loop-b");
             return true;
         },
         TextId::ConfigNotRegular, 1},
        // The file itself is writable, but no other writer can be kept out.
        {"folder at the lock file",
         [](const std::string& path) {
             writeBytes(path, "[Z62Language]\nLanguage=2\n");
             return fs::create_directory(path + ".lock");
         },
         TextId::ConfigWriteFailed, 2},
        {"fifo at the lock file",
         [](const std::string& path) {
             writeBytes(path, "[Z62Language]\nLanguage=2\n");
             return ::mkfifo((path + ".lock").c_str(), 0644) == 0;
         },
         TextId::ConfigWriteFailed, 2},
        {"missing folder",
         [](const std::string& path) {
             // The settings path names a folder that is not there; nothing creates it.
             return fs::remove(fs::path(path).parent_path());
         },
         TextId::ConfigWriteFailed, 1},
    };
    for (const RefusedTarget& c : cases) {
        TempFolder folder;
        const std::string path = c.name == std::string("missing folder")
                                     ? folder.file("gone") + "/ZUZiruro.ini"
                                     : folder.file("ZUZiruro.ini");
        fs::create_directories(fs::path(path).parent_path());
        if (!c.make(path)) {
            std::printf("skipped %s: cannot be made here\n", c.name);
            continue;
        }
        std::error_code error;
        const auto statusBefore = fs::symlink_status(path, error);
        const std::string bytesBefore =
            statusBefore.type() == fs::file_type::regular ? readBytes(path) : std::string();

        const ConfigFile config(path);
        EXPECT_EQ(config.readNumber("Z62Language", "Language", "1"), c.language) << c.name;
        EXPECT_FALSE(config.writeText("Z62Language", "Language", "3")) << c.name;
        EXPECT_EQ(writeStartupDefaults(config), config.exists()) << c.name;
        EXPECT_FALSE(MachineTable(config).append("127.0.0.9")) << c.name;
        ASSERT_TRUE(config.failure()) << c.name;
        EXPECT_EQ(config.failure()->text, c.reason) << c.name;
        EXPECT_EQ(config.failure()->path, path) << c.name;

        const auto statusAfter = fs::symlink_status(path, error);
        EXPECT_EQ(statusAfter.type(), statusBefore.type()) << c.name;
        EXPECT_EQ(statusAfter.permissions(), statusBefore.permissions()) << c.name;
        if (statusBefore.type() == fs::file_type::regular) {
            EXPECT_EQ(readBytes(path), bytesBefore) << c.name;
        }
        EXPECT_FALSE(fs::exists(folder.file("ZUZiruro.ini.tmp"))) << c.name;
        EXPECT_FALSE(fs::exists(folder.file("gone"))) << c.name;
        config.clearFailure();
    }
}

TEST(ConfigFileFault, AWriteThatRunsOutOfSpaceLeavesTheOldFile)
{
    TempFolder folder;
    const ConfigFile config(folder.file("ZUZiruro.ini"));
    const std::string before = "[Z62Language]\nLanguage=2\n";
    writeBytes(config.path(), before);
    // A child whose files may not grow past 64 bytes stands for a full disk.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{64, 64};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const bool refused = !config.writeText("Z62_Net_0", "Ip", std::string(80, '7'));
        const auto failure = config.failure();
        ::_exit(refused && failure && failure->text == TextId::ConfigWriteFailed ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the write reported failure";
    EXPECT_EQ(readBytes(config.path()), before);
    EXPECT_FALSE(fs::exists(folder.file("ZUZiruro.ini.tmp")));
}

TEST(ConfigFileFault, LinksAreWrittenThroughToTheirTarget)
{
    const struct
    {
        const char* name;
        const char* linkTarget; // relative to the folder
        const char* existing;   // bytes of the target before, nullptr when missing
    } cases[] = {
        {"dangling", "real.ini", nullptr},
        {"existing", "real.ini", "[Keep]\nme=1\n"},
        {"into a subfolder", "sub/real.ini", nullptr},
    };
    for (const auto& c : cases) {
        TempFolder folder;
        fs::create_directories(folder.file("sub"));
        const fs::path real = folder.path() / c.linkTarget;
        if (c.existing)
            writeBytes(real.string(), c.existing);
        // Two links in a row: ZUZiruro.ini -> middle.ini -> the real file.
        fs::create_symlink("middle.ini", folder.file("ZUZiruro.ini"));
        fs::create_symlink(c.linkTarget, folder.file("middle.ini"));
        const ConfigFile config(folder.file("ZUZiruro.ini"));
        EXPECT_FALSE(config.exists() && !c.existing) << c.name;

        ASSERT_TRUE(writeStartupDefaults(config)) << c.name;
        ASSERT_TRUE(config.writeText("Z62Language", "Language", "2")) << c.name;
        EXPECT_TRUE(fs::is_symlink(folder.file("ZUZiruro.ini"))) << c.name;
        EXPECT_TRUE(fs::is_symlink(folder.file("middle.ini"))) << c.name;
        ASSERT_TRUE(fs::is_regular_file(fs::symlink_status(real))) << c.name;
        const std::string bytes = readBytes(real.string());
        EXPECT_NE(bytes.find("Language=2"), std::string::npos) << c.name;
        EXPECT_EQ(bytes.find("[Keep]") != std::string::npos, c.existing != nullptr) << c.name;
        EXPECT_TRUE(fs::exists(real.string() + ".lock")) << c.name << ": locked at the target";
        EXPECT_FALSE(config.failure()) << c.name;
    }
}

TEST(ConfigFileFault, ReplacingKeepsOwnerAndMode)
{
    TempFolder folder;
    const std::string path = folder.file("ZUZiruro.ini");
    writeBytes(path, "[Z62Language]\nLanguage=2\n");
    ::chmod(path.c_str(), 0640);
    if (::chown(path.c_str(), 4321, 4322) != 0)
        GTEST_SKIP() << "needs root to give the file another owner";
    ASSERT_TRUE(ConfigFile(path).writeText("Z62Language", "Language", "1"));
    struct stat info = {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, 4321u);
    EXPECT_EQ(info.st_gid, 4322u);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(readBytes(path), "[Z62Language]\nLanguage=1\n");
}

TEST(ConfigFileFault, TheFirstFailureIsReportedOnce)
{
    TempFolder folder;
    const std::string path = folder.file("ZUZiruro.ini");
    fs::create_directory(path);
    const ConfigFile config(path);
    EXPECT_FALSE(config.failure());
    EXPECT_FALSE(config.takeUnreportedFailure());

    EXPECT_FALSE(MachineTable(config).reset());
    fs::remove(path);
    writeBytes(path, "[S]\n");
    fs::permissions(path, fs::perms(0444));
    EXPECT_FALSE(config.writeText("S", "k", "v"));

    // Another ConfigFile of the same path (a thread's own copy) sees the same failure.
    const ConfigFile other(path);
    ASSERT_TRUE(other.failure());
    EXPECT_EQ(other.failure()->text, TextId::ConfigNotRegular) << "the first one is kept";
    const auto reported = other.takeUnreportedFailure();
    ASSERT_TRUE(reported);
    EXPECT_EQ(configFailureMessage(*reported, 2),
              "The configuration file is not a regular file; the settings cannot be saved!\n" +
                  path);
    EXPECT_FALSE(config.takeUnreportedFailure()) << "reported once";
    EXPECT_TRUE(config.failure()) << "still known";
    EXPECT_FALSE(ConfigFile(folder.file("other.ini")).failure()) << "kept per path";

    config.clearFailure();
    fs::permissions(path, fs::perms(0644));
    EXPECT_TRUE(config.writeText("S", "k", "v"));
    EXPECT_FALSE(config.failure());
}

} // namespace
