#include "control/DesignTransfer.h"

#include <algorithm>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <system_error>

#include "app/ConfigFile.h"
#include "app/MachineTable.h"
#include "app/Utf8Path.h"
#include "link/CommandPacket.h"
#include "link/PacketCipher.h"
#include "link/UdpSocket.h"

DesignFileBytes readDesignFile(const std::string& path)
{
    DesignFileBytes out;
    if (path.empty()) {
        out.error = TextId::DesignPathEmpty;
        return out;
    }
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path file = pathFromUtf8(path);
    // Only a regular file is opened: a FIFO or a device would block or never end.
    if (file.empty() || !fs::is_regular_file(file, ec)) {
        out.error = TextId::DesignFileUnreadable;
        return out;
    }
    const auto sizeBefore = fs::file_size(file, ec);
    const auto timeBefore = fs::last_write_time(file, ec);
    if (ec) {
        out.error = TextId::DesignFileUnreadable;
        return out;
    }
    // Checked before reading, so an oversized file never fills memory.
    if (sizeBefore > kMaxDesignFileSize) {
        out.error = TextId::DesignFileTooLarge;
        return out;
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        out.error = TextId::DesignFileUnreadable;
        return out;
    }
    // Read to the end rather than to the size seen before: a file that grew meanwhile must not
    // be cut to a prefix that no version of it ever was. One byte past the limit is enough to
    // tell that it is too large.
    out.bytes.resize(static_cast<std::size_t>(sizeBefore) + 1);
    std::size_t have = 0;
    while (in && have < kMaxDesignFileSize + 1) {
        if (have == out.bytes.size())
            out.bytes.resize(std::min(out.bytes.size() * 2, kMaxDesignFileSize + 1));
        in.read(reinterpret_cast<char*>(out.bytes.data() + have),
                static_cast<std::streamsize>(out.bytes.size() - have));
        have += static_cast<std::size_t>(in.gcount());
    }
    const bool readFailed = in.bad();
    in.close();
    out.bytes.resize(have);
    if (readFailed) {
        out.bytes.clear();
        out.error = TextId::DesignFileUnreadable;
        return out;
    }
    if (have > kMaxDesignFileSize) {
        out.bytes.clear();
        out.error = TextId::DesignFileTooLarge;
        return out;
    }
    // The copy goes out only when it is one version of the file: the size read matches the
    // size before and after, and nothing was written to the file in between.
    const auto sizeAfter = fs::file_size(file, ec);
    const auto timeAfter = ec ? timeBefore : fs::last_write_time(file, ec);
    if (ec || sizeAfter != sizeBefore || have != sizeBefore || timeAfter != timeBefore) {
        out.bytes.clear();
        out.error = TextId::DesignFileChanged;
    }
    return out;
}

std::optional<std::string> transferTarget(const LinkSettings& settings)
{
    return MachineTable(ConfigFile(settings.configPath)).firstChosenAddress();
}

bool pauseUnlessStopped(std::chrono::milliseconds duration, std::stop_token stop)
{
    std::mutex mutex;
    std::condition_variable_any wake;
    std::unique_lock lock(mutex);
    wake.wait_for(lock, stop, duration, [] { return false; });
    return !stop.stop_requested();
}

TransferOutcome sendDesignBytes(std::span<const std::uint8_t> bytes, std::string_view fileName,
                                const std::string& address, const LinkSettings& settings,
                                const TransferProgressFn& progress, std::stop_token stop,
                                TransferProgress position)
{
    TransferOutcome outcome;
    if (bytes.empty())
        return outcome; // nothing to send, and nothing to tell
    UdpSocket socket;
    if (!socket.open()) {
        outcome.error = TextId::TransferSocketFailed;
        return outcome;
    }
    const PacketCipher cipher(settings.key);
    const std::int32_t count = designChunkCount(bytes.size());
    position.chunkCount = count;
    std::size_t at = 0;
    for (std::int32_t number = 1; number <= count; ++number) {
        if (stop.stop_requested()) {
            outcome.cancelled = true;
            return outcome;
        }
        const std::size_t length = std::min(kChunkDataSize, bytes.size() - at);
        std::vector<std::uint8_t> datagram =
            buildDesignChunk(fileName, bytes.subspan(at, length), number, count);
        cipher.encrypt(datagram.data(), static_cast<std::int32_t>(datagram.size()));
        // A lost datagram is not noticed here; the machine's acknowledgement tells.
        (void)socket.sendTo(address, settings.machinePort, datagram);
        at += length;
        outcome.chunksSent = number;
        position.chunksSent = number;
        if (progress)
            progress(position);
        if (!pauseUnlessStopped(kTransferPause, stop) && number < count) {
            outcome.cancelled = true;
            return outcome;
        }
    }
    outcome.sent = true;
    return outcome;
}

namespace {

TransferOutcome sendOne(const std::string& path, const std::string& fileName,
                        const LinkSettings& settings, const TransferProgressFn& progress,
                        std::stop_token stop, const std::optional<std::string>& address,
                        TransferProgress position)
{
    TransferOutcome outcome;
    const DesignFileBytes file = readDesignFile(path);
    if (file.error) {
        outcome.error = file.error;
        return outcome;
    }
    const std::optional<std::string> target = address ? address : transferTarget(settings);
    if (!target) {
        outcome.noTarget = true;
        return outcome;
    }
    return sendDesignBytes(file.bytes, fileName, *target, settings, progress, stop, position);
}

} // namespace

TransferOutcome sendCurrentDesign(const std::string& path, const std::string& fileName,
                                  const LinkSettings& settings, const TransferProgressFn& progress,
                                  std::stop_token stop, const std::optional<std::string>& address)
{
    return sendOne(path, fileName, settings, progress, stop, address, TransferProgress{});
}

std::vector<TransferOutcome>
sendDesignBatch(const std::vector<std::string>& paths, const LinkSettings& settings,
                const TransferProgressFn& progress, std::stop_token stop,
                const std::optional<std::string>& address, const FileDoneFn& fileDone)
{
    std::vector<TransferOutcome> outcomes;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        if (stop.stop_requested())
            break;
        TransferProgress position;
        position.fileIndex = static_cast<int>(i);
        position.fileCount = static_cast<int>(paths.size());
        if (progress)
            progress(position);
        outcomes.push_back(sendOne(paths[i], designFileName(paths[i]), settings, progress, stop,
                                   address, position));
        if (fileDone)
            fileDone(position.fileIndex, outcomes.back());
        if (outcomes.back().cancelled || !pauseUnlessStopped(kTransferPause, stop))
            break;
    }
    return outcomes;
}

std::string designFileName(std::string_view path)
{
    std::size_t cut = path.rfind('\\');
    if (cut == std::string_view::npos)
        cut = path.rfind('/');
    return std::string(cut == std::string_view::npos ? path : path.substr(cut + 1));
}
