#include "control/SearchThread.h"

#include "app/ConfigFile.h"
#include "app/MachineTable.h"
#include "link/CommandPacket.h"
#include "link/LocalAddress.h"
#include "link/PacketCipher.h"
#include "link/UdpSocket.h"

namespace {

constexpr std::string_view kLocalIpSection = "Z62_Net_Local_IP";
constexpr std::string_view kTestErrorSection = "Z62_Net_Test_error";
constexpr std::string_view kIpKey = "IP";
constexpr int kProbeCount = 256;

} // namespace

std::string sweepPrefix(const LinkSettings& settings)
{
    return settings.searchPrefix ? *settings.searchPrefix : subnetPrefix(localAddress());
}

SearchSweep runSearchSweep(const LinkSettings& settings)
{
    SearchSweep sweep;
    UdpSocket socket;
    if (!socket.open()) {
        sweep.skipped = true;
        return sweep;
    }
    sweep.localAddress = localAddress();
    sweep.prefix =
        settings.searchPrefix ? *settings.searchPrefix : subnetPrefix(sweep.localAddress);
    // Without a prefix the probes would go to bare host numbers and reach no machine; the table
    // is left as it was.
    if (sweep.prefix.empty()) {
        sweep.skipped = true;
        return sweep;
    }

    const ConfigFile config(settings.configPath);
    MachineTable(config).reset();
    config.writeText(kLocalIpSection, kIpKey, sweep.localAddress);

    const PacketCipher cipher(settings.key);
    auto probe = buildPlainCommand(CommandCode::Search, 0);
    cipher.encrypt(probe.data(), std::int32_t(probe.size()));
    for (int i = 0; i < kProbeCount; ++i) {
        const std::string address = sweep.prefix + std::to_string(i);
        if (socket.sendTo(address, settings.machinePort, probe)) {
            ++sweep.probesSent;
        } else {
            ++sweep.probesFailed;
            config.writeText(kTestErrorSection, kIpKey, sweep.localAddress);
        }
    }
    return sweep;
}

SearchThread::SearchThread(LinkSettings settings) : m_settings(std::move(settings)) {}

SearchThread::~SearchThread()
{
    wait();
}

void SearchThread::start()
{
    wait();
    m_thread = std::jthread([this] { runSearchSweep(m_settings); });
}

void SearchThread::wait()
{
    if (m_thread.joinable())
        m_thread.join();
}
