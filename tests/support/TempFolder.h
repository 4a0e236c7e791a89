#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

// A fresh folder under the system temp folder, removed with everything in it afterwards.
class TempFolder
{
public:
    // inMemory puts the folder on /dev/shm when there is one, for tests that write a lot and
    // are not about what reaches the disk.
    explicit TempFolder(bool inMemory = false)
    {
        std::filesystem::path base = std::filesystem::temp_directory_path();
        std::error_code error;
        if (inMemory && std::filesystem::is_directory("/dev/shm", error))
            base = "/dev/shm";
        // create_directory is false for a name that exists, so each folder is new.
        std::random_device random;
        for (int attempt = 0; attempt < 100 && m_path.empty(); ++attempt) {
            const auto candidate = base / ("hoopwatch-test-" + std::to_string(random()));
            if (std::filesystem::create_directory(candidate, error))
                m_path = candidate;
        }
    }
    ~TempFolder()
    {
        std::error_code error;
        std::filesystem::remove_all(m_path, error);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    std::string file(const std::string& name) const { return (m_path / name).string(); }
    // Writes `bytes` as the folder's file `name` and returns its path.
    std::string write(const std::string& name, const std::vector<std::uint8_t>& bytes) const
    {
        std::ofstream(m_path / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return file(name);
    }

private:
    std::filesystem::path m_path;
};

inline std::string readBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}
