#include "app/ConfigFile.h"

#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/TempFolder.h"

// Where the settings file lives, steered through the POSIX environment, /proc and mode bits.
namespace {

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

TEST(ResolveConfigPath, InstalledCopiesKeepTheirSettingsPerUser)
{
    TempFolder folder;
    ::setenv("XDG_CONFIG_HOME", folder.file("xdg").c_str(), 1);
    const std::string perUser = folder.file("xdg") + "/hoopwatch/ZUZiruro.ini";
    std::filesystem::create_directories(folder.file("portable"));
    std::filesystem::create_directories(folder.file("readonly"));
    std::filesystem::permissions(folder.file("readonly"), std::filesystem::perms(0555));
    const struct
    {
        std::string executable;
        std::string config;
    } cases[] = {
        {"/usr/bin/hoopwatch-cli", perUser},
        {"/usr/local/bin/hoopwatch-cli", perUser},
        {"/opt/hoopwatch/bin/hoopwatch", perUser},
        {"/bin/hoopwatch-cli", perUser},
        {"/usr/../usr/bin/hoopwatch", perUser},
        {folder.file("portable") + "/hoopwatch-cli", folder.file("portable") + "/ZUZiruro.ini"},
        // Not writable by its mode bits, for root as well.
        {folder.file("readonly") + "/hoopwatch-cli", perUser},
        {"", perUser},
    };
    for (const auto& c : cases)
        EXPECT_EQ(configPathFor(c.executable), c.config) << c.executable;
    std::filesystem::permissions(folder.file("readonly"), std::filesystem::perms(0755));
    ::unsetenv("XDG_CONFIG_HOME");
}

} // namespace
