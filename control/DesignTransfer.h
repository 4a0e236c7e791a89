#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "app/UiTexts.h"
#include "control/LinkSettings.h"

// The largest design file a transfer takes; a larger file is refused, never cut.
inline constexpr std::size_t kMaxDesignFileSize = 40960000;
// The pause after every datagram of a transfer, and after every file of a batch.
inline constexpr std::chrono::milliseconds kTransferPause{500};

// Where a transfer stands; reported after every datagram that went out, and by a batch also
// when a file begins (chunksSent and chunkCount 0).
struct TransferProgress
{
    int fileIndex = 0; // 0-based position in the batch (0 for a single file)
    int fileCount = 1;
    int chunksSent = 0; // datagrams of this file sent so far
    int chunkCount = 0; // datagrams this file needs
};
using TransferProgressFn = std::function<void(const TransferProgress&)>;

// How one file's transfer ended. `error` is the message to show the operator; a transfer
// without a chosen machine ends silently, as does an empty file.
struct TransferOutcome
{
    bool sent = false;      // every datagram of the file went out
    bool noTarget = false;  // no machine is chosen: nothing was sent
    bool cancelled = false; // stopped between datagrams
    int chunksSent = 0;
    std::optional<TextId> error;
};

// The design file's raw bytes, or the text that says why it cannot be sent (empty path,
// missing or unreadable file, file above kMaxDesignFileSize).
struct DesignFileBytes
{
    std::vector<std::uint8_t> bytes;
    std::optional<TextId> error;
};
DesignFileBytes readDesignFile(const std::string& path);

// The machine a design goes to: the first table entry whose IsChoose is not 0.
std::optional<std::string> transferTarget(const LinkSettings& settings);

// Sends `bytes` as DesignChunk datagrams named `fileName` to `address`, pausing
// kTransferPause after each datagram (the last one included). `stop` is looked at between
// datagrams and during the pauses; the bytes on the wire and their pacing never change.
TransferOutcome sendDesignBytes(std::span<const std::uint8_t> bytes, std::string_view fileName,
                                const std::string& address, const LinkSettings& settings,
                                const TransferProgressFn& progress = {}, std::stop_token stop = {},
                                TransferProgress position = {});

// Button 1001: reads the file at `path` and sends it under `fileName` to `address`, or to
// the first chosen machine of the table when no address is given. Blocks for the whole
// transfer, so the window calls it from a worker thread.
TransferOutcome sendCurrentDesign(const std::string& path, const std::string& fileName,
                                  const LinkSettings& settings,
                                  const TransferProgressFn& progress = {},
                                  std::stop_token stop = {},
                                  const std::optional<std::string>& address = std::nullopt);

// Told when one file of a batch has ended, with its 0-based position.
using FileDoneFn = std::function<void(int fileIndex, const TransferOutcome& outcome)>;

// Batch sending: each path in turn (its name by designFileName), each followed by a
// kTransferPause pause. A file that fails does not stop the batch; a stop does. One outcome
// per file that was attempted.
std::vector<TransferOutcome>
sendDesignBatch(const std::vector<std::string>& paths, const LinkSettings& settings,
                const TransferProgressFn& progress = {}, std::stop_token stop = {},
                const std::optional<std::string>& address = std::nullopt,
                const FileDoneFn& fileDone = {});

// The file name a transfer carries: the text after the last backslash, or else after the
// last forward slash; the whole path when there is neither.
std::string designFileName(std::string_view path);

// Waits `duration` unless a stop is requested first; false when stopped.
bool pauseUnlessStopped(std::chrono::milliseconds duration, std::stop_token stop);
