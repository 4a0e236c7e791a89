#include "app/ConfigFile.h"

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "app/ProfileDocument.h"
#include "tests/support/TempFolder.h"

// Child processes, the environment and /proc: the POSIX side of the settings file.
namespace {

TEST(ConfigFile, KilledWriterLeavesAWholeFile)
{
    TempFolder folder;
    const ConfigFile config(folder.file("ZUZiruro.ini"));
    writeStartupDefaults(config);
    const std::string filler(90, 'v');
    // Kill the writer at a few different moments; each time the file must parse with the
    // sections written before and an unbroken run of the loop's keys.
    for (int round = 0; round < 3; ++round) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (int k = 0; k < 20000; ++k)
                config.writeText("Loop" + std::to_string(round), "k" + std::to_string(k), filler);
            ::_exit(0);
        }
        ::usleep(static_cast<useconds_t>(50000 + 70000 * round));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);

        const ProfileDocument document = config.snapshot();
        EXPECT_EQ(document.value("Z62_Net_0", "Ip").value_or(""), "192.168.7.100");
        EXPECT_EQ(document.value("Z62Language", "Language").value_or(""), "0");
        for (int earlier = 0; earlier < round; ++earlier)
            EXPECT_EQ(document.value("Loop" + std::to_string(earlier), "k0").value_or(""), filler);
        const std::string section = "Loop" + std::to_string(round);
        int written = 0;
        while (document.value(section, "k" + std::to_string(written)))
            ++written;
        EXPECT_FALSE(document.value(section, "k" + std::to_string(written + 1)));
        for (int k = 0; k < written; ++k)
            ASSERT_EQ(document.value(section, "k" + std::to_string(k)).value_or(""), filler);
    }
}

TEST(ResolveConfigPath, ExplicitThenEnvironmentThenBesideTheExecutable)
{
    ::unsetenv("HOOPWATCH_CONFIG");
    EXPECT_EQ(resolveConfigPath(std::string("/tmp/given.ini")), "/tmp/given.ini");

    const auto executable = std::filesystem::read_symlink("/proc/self/exe");
    EXPECT_EQ(resolveConfigPath(std::nullopt),
              (executable.parent_path() / "ZUZiruro.ini").string());
    EXPECT_EQ(resolveConfigPath(std::string()), resolveConfigPath(std::nullopt));

    ::setenv("HOOPWATCH_CONFIG", "/tmp/from-env.ini", 1);
    EXPECT_EQ(resolveConfigPath(std::nullopt), "/tmp/from-env.ini");
    EXPECT_EQ(resolveConfigPath(std::string("/tmp/given.ini")), "/tmp/given.ini");
    ::unsetenv("HOOPWATCH_CONFIG");
}

TEST(ResolveConfigPath, PerUserFolderFollowsXdgThenHome)
{
    TempFolder folder;
    const std::string oldHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    ::setenv("XDG_CONFIG_HOME", folder.file("xdg").c_str(), 1);
    EXPECT_EQ(userConfigPath(), folder.file("xdg") + "/hoopwatch/ZUZiruro.ini");
    EXPECT_TRUE(std::filesystem::is_directory(folder.file("xdg") + "/hoopwatch"));

    ::setenv("XDG_CONFIG_HOME", "relative/is/ignored", 1);
    ::setenv("HOME", folder.file("home").c_str(), 1);
    EXPECT_EQ(userConfigPath(), folder.file("home") + "/.config/hoopwatch/ZUZiruro.ini");

    ::unsetenv("XDG_CONFIG_HOME");
    ::setenv("HOME", oldHome.c_str(), 1);
}

} // namespace
