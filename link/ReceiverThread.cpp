#include "link/ReceiverThread.h"

#include <algorithm>
#include <array>
#include <chrono>

#include "link/ByteOrder.h"

namespace {

// Short enough that a stop takes effect promptly.
constexpr std::chrono::milliseconds kReceiveTimeout{100};

// Bytes a reply needs for every field its code reads. The code and design number sit in the
// first block, so nothing shorter than one block is read at all.
constexpr std::size_t kMinimumReply = 16;
constexpr std::size_t kPaletteReplyMinimum = kHeaderSize + kColorPaletteImageSize; // 128
constexpr std::size_t kStatusReplyMinimum = kHeaderSize + kMachineStatusSize;      // 112

} // namespace

ReceiverThread::ReceiverThread(LinkSettings settings, LinkState& state, ReceiverListener& listener)
    : m_settings(std::move(settings)), m_state(state), m_listener(listener),
      m_cipher(m_settings.key), m_config(m_settings.configPath), m_table(m_config)
{
}

ReceiverThread::~ReceiverThread()
{
    stop();
}

bool ReceiverThread::start()
{
    if (m_thread.joinable())
        return true;
    // Exclusive: a second receiver on the same port (another instance of the application)
    // must fail visibly rather than share the machines' answers unnoticed.
    if (!m_socket.bind("0.0.0.0", m_settings.listenPort, false)) {
        m_listener.onSocketFailed();
        return false;
    }
    m_port = m_socket.localPort();
    writeReceiverDefaults(m_config);
    m_thread = std::jthread([this](std::stop_token stop) { run(stop); });
    return true;
}

void ReceiverThread::stop()
{
    if (m_thread.joinable()) {
        m_thread.request_stop();
        m_thread.join();
    }
    m_socket.close();
}

void ReceiverThread::run(std::stop_token stop)
{
    while (!stop.stop_requested()) {
        // A fresh zeroed buffer for every datagram: nothing of an earlier one can be read.
        std::array<std::uint8_t, kReceiveBufferSize> buffer{};
        auto received = m_socket.receive(buffer, kReceiveTimeout);
        if (!received)
            continue;
        handleDatagram(buffer, received->length, received->sender);
    }
}

void ReceiverThread::handleDatagram(std::span<std::uint8_t, kReceiveBufferSize> buffer,
                                    std::size_t received, const std::string& sender)
{
    // Only whole blocks of what arrived are decrypted and read.
    const std::size_t usable = std::min(received, kReceiveBufferSize) / 16 * 16;
    m_cipher.decrypt(buffer.data(), std::int32_t(usable));
    dispatch(std::span<const std::uint8_t>(buffer.data(), usable), sender);
}

void ReceiverThread::dispatch(std::span<const std::uint8_t> plain, const std::string& sender)
{
    if (plain.size() < kMinimumReply)
        return;
    const std::int32_t code = getI32le(plain, CommandPacket::kCodeAt);
    const std::int32_t designId = getI32le(plain, CommandPacket::kDesignIdAt);
    auto acknowledge = [&](TextId text) {
        m_state.currentDesignId = designId;
        m_listener.onMessage(text);
    };

    switch (CommandCode(code)) {
    case CommandCode::SearchReply:
        if (m_table.append(sender))
            m_listener.onMachineFound(sender);
        break;
    case CommandCode::DesignChunkAck:
        acknowledge(TextId::DesignSent);
        break;
    case CommandCode::ParametersAck:
        acknowledge(TextId::DesignParamSent);
        break;
    case CommandCode::PaletteReply:
        if (plain.size() < kPaletteReplyMinimum)
            return;
        if (auto palette = ColorPalette::decode(plain.subspan(kHeaderSize))) {
            m_state.colorPalette.store(*palette);
            m_state.currentDesignId = designId;
            m_state.paletteReceived = true;
        }
        break;
    case CommandCode::DesignIdReport:
        m_state.currentDesignId = designId;
        break;
    case CommandCode::JogAck:
        acknowledge(TextId::JogDone);
        break;
    case CommandCode::LeverAck:
        acknowledge(TextId::LeverDone);
        break;
    case CommandCode::EmbConfirmAck:
        m_state.currentDesignId = designId;
        m_state.repaintRequested = true;
        m_listener.onMessage(TextId::EmbConfirmDone);
        break;
    case CommandCode::EmbReleaseAck:
        m_state.currentDesignId = designId;
        m_state.repaintRequested = false;
        m_listener.onMessage(TextId::EmbReleaseDone);
        break;
    case CommandCode::StatusReply:
        if (plain.size() < kStatusReplyMinimum)
            return;
        if (auto status = MachineStatus::decode(plain.subspan(kHeaderSize)))
            m_state.applyStatusReply(*status);
        break;
    default:
        // Requests (the PC's own search probe among them) and unknown codes.
        break;
    }
}
