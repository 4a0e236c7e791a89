#include "app/Platform.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "app/ConfigFile.h"
#include "tests/support/TempFolder.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// A folder name no narrow Windows code page can hold together: Chinese and accented Latin.
fs::path unicodeFolder(const TempFolder& base)
{
    const fs::path folder = base.path() / fs::path(u8"花样 Café");
    fs::create_directories(folder);
    return folder;
}

std::string utf8(const fs::path& path)
{
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::string contentOf(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace

TEST(Platform, ExecutablePathNamesThisTestProgram)
{
    const fs::path self = platform::executablePath();
    ASSERT_FALSE(self.empty());
    EXPECT_TRUE(fs::is_regular_file(self));
    EXPECT_NE(self.filename().string().find("test_app"), std::string::npos) << self;
}

TEST(Platform, WriteAndReplaceSwapsTheWholeFileOrNothing)
{
    TempFolder base;
    const fs::path folder = unicodeFolder(base);
    const fs::path target = folder / "ZUZiruro.ini";
    const fs::path temp = folder / "ZUZiruro.ini.new";

    // Created, then replaced by a shorter file: no tail of the old content stays.
    ASSERT_TRUE(platform::writeAndReplace(temp, target, "first, longer content\r\n"));
    ASSERT_TRUE(platform::writeAndReplace(temp, target, "second\r\n"));
    EXPECT_EQ(contentOf(target), "second\r\n");
    EXPECT_FALSE(fs::exists(temp));

    // A temporary file that cannot be created: false, target untouched, nothing left behind.
    const fs::path nowhere = folder / "missing-folder" / "x.tmp";
    EXPECT_FALSE(platform::writeAndReplace(nowhere, target, "lost"));
    EXPECT_EQ(contentOf(target), "second\r\n");
    EXPECT_FALSE(fs::exists(nowhere));

    // A target that is a folder cannot be replaced: false, the temporary file is removed.
    fs::create_directories(folder / "a-folder");
    EXPECT_FALSE(platform::writeAndReplace(temp, folder / "a-folder", "lost"));
    EXPECT_TRUE(fs::is_directory(folder / "a-folder"));
    EXPECT_FALSE(fs::exists(temp));
}

TEST(Platform, FileLockExcludesASecondHolderUntilReleased)
{
    TempFolder base;
    const fs::path lockPath = unicodeFolder(base) / "ZUZiruro.ini.lock";
    auto first = std::make_unique<platform::FileLock>(lockPath);
    ASSERT_TRUE(first->locked());
    EXPECT_TRUE(fs::exists(lockPath)) << "created when missing";

    std::atomic<bool> acquired{false};
    std::jthread second([&] {
        const platform::FileLock lock(lockPath);
        acquired = lock.locked();
    });
    std::this_thread::sleep_for(200ms);
    EXPECT_FALSE(acquired) << "the second lock waits while the first is held";
    first.reset();
    for (int i = 0; i < 200 && !acquired; ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_TRUE(acquired);

    const platform::FileLock impossible(base.path() / "no-such-folder" / "x.lock");
    EXPECT_FALSE(impossible.locked());
}

TEST(Platform, WritabilityReadingAndFolders)
{
    TempFolder base;
    const fs::path folder = unicodeFolder(base);
    EXPECT_TRUE(platform::mayWrite(folder));
    EXPECT_FALSE(platform::mayWrite(base.path() / "missing"));
    // Only a probe is made; the folder stays as it was.
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 0);

    const fs::path file = folder / "设置.ini";
    std::ofstream(file, std::ios::binary) << "[A]\r\nb=1\r\n";
    EXPECT_TRUE(platform::mayWrite(file));
    EXPECT_EQ(platform::readRegularFile(file, 100), "[A]\r\nb=1\r\n");
    EXPECT_EQ(platform::readRegularFile(file, 9), std::nullopt) << "over the limit";
    EXPECT_EQ(platform::readRegularFile(folder, 100), std::nullopt) << "a folder";
    EXPECT_EQ(platform::readRegularFile(folder / "missing.ini", 100), std::nullopt);
    // No write permission (the read-only attribute on Windows) holds for every user.
    fs::permissions(file, fs::perms::owner_read);
    EXPECT_FALSE(platform::mayWrite(file));
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);

    EXPECT_FALSE(platform::isSystemInstallFolder(folder));
    EXPECT_FALSE(platform::isSystemInstallFolder("relative/folder"));
    const fs::path user = platform::userSettingsFolder();
    ASSERT_FALSE(user.empty());
    EXPECT_EQ(user.filename(), "hoopwatch");
    EXPECT_TRUE(user.is_absolute());
}

TEST(Platform, SettingsFileInAUnicodeFolderReadsBackAnAnsiCrlfFile)
{
    TempFolder base;
    const fs::path file = unicodeFolder(base) / "ZUZiruro.ini";
    {
        std::ofstream(file, std::ios::binary) << "[z62_net_count]\r\nCOUNT=1\r\n"
                                                 "[Z62_NET_0]\r\nip=127.0.0.5\r\nIsChoose=1\r\n";
    }
    const ConfigFile config(utf8(file));
    EXPECT_TRUE(config.exists());
    EXPECT_EQ(config.readNumber("Z62_Net_Count", "count", "0"), 1);
    EXPECT_EQ(config.readText("Z62_Net_0", "Ip", ""), "127.0.0.5");
    ASSERT_TRUE(config.writeText("Z62_Net_0", "BackUp_Name", "机器"));
    EXPECT_EQ(ConfigFile(utf8(file)).readText("z62_net_0", "backup_name", ""), "机器");
    EXPECT_EQ(contentOf(file), "[z62_net_count]\r\nCOUNT=1\r\n[Z62_NET_0]\r\nip=127.0.0.5\r\n"
                               "IsChoose=1\r\nBackUp_Name=机器\r\n");
    // No temporary file is left beside it.
    for (const auto& entry : fs::directory_iterator(file.parent_path()))
        EXPECT_NE(entry.path().extension(), ".tmp") << entry.path();
}
