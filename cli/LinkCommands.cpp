// send, jog, lever, confirm, release, palette, status, params: the window's machine
// operations from the command line, on the same core functions and the same datagrams.
#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/ConfigFile.h"
#include "app/UiTexts.h"
#include "cli/Commands.h"
#include "cli/ConfigReport.h"
#include "app/MachineTable.h"
#include "cli/ReportCommand.h"
#include "control/ControlSession.h"
#include "control/DesignDelivery.h"
#include "control/DesignTransfer.h"
#include "control/LinkSettings.h"
#include "control/LinkState.h"
#include "control/MachineCommands.h"
#include "control/ReplyText.h"
#include "control/SentDesignRecord.h"
#include "control/TransferAcks.h"
#include "link/CommandPacket.h"
#include "link/PacketCipher.h"
#include "link/Reply.h"
#include "link/UdpSocket.h"
#include "records/ProductionRecording.h"

namespace {

// Exit codes beyond 0 (done) and 2 (usage).
constexpr int kExitRefused = 1;  // unreadable, too large or empty file; design id 0
constexpr int kExitNoTarget = 3; // no machine to send to, or an address that cannot be one
constexpr int kExitNoAnswer = 4; // the machine did not answer, or did not acknowledge it all

const char* const kSendHelp =
    "usage: hoopwatch-cli send FILE... [--to ADDR] [--wait S]\n"
    "       hoopwatch-cli send FILE --to ADDR,ADDR,...|all [--wait S]\n"
    "Sends design files in 10240-byte chunks, 500 ms apart. One file is a send of the current\n"
    "design; several are sent one after another with a 500 ms pause after each.\n"
    "  --to ADDR   machine address (default: the first chosen machine of the table)\n"
    "  --to A,B,.. one design to several machines at once, each its own paced transfer; 'all'\n"
    "              is every machine of the table. One line per machine on stdout.\n"
    "  --wait S    seconds to wait after the last chunk for the acknowledgements (default 1)\n"
    "Progress goes to stderr, each acknowledgement to stdout as it arrives.\n"
    "Exit: 0 every chunk acknowledged, 1 unreadable, empty, too large or changing file, or a\n"
    "settings file that could not be written, 3 no or invalid target machine, 4 chunks without\n"
    "acknowledgement (named on stderr).\n";

const char* const kCommandHelp =
    "usage: hoopwatch-cli jog|lever|confirm|release|palette|status [--to ADDR] [--design-id N]\n"
    "                     [--wait S] [--verbose]\n"
    "  jog      jog to the 100-degree position (code 5)\n"
    "  lever    start or stop work (code 7)\n"
    "  confirm  embroidery confirm (code 15);  release: embroidery release (code 17)\n"
    "  palette  ask for the colour palette and print it (code 11)\n"
    "  status   ask for the state and print work state, embroidery state, stitch number\n"
    "  --to ADDR       machine address (default: the first chosen machine of the table)\n"
    "  --design-id N   design number the request carries (default 0)\n"
    "  --wait S        seconds to wait for the answer (default 2)\n"
    "  --verbose       count the datagrams passed over while waiting\n"
    "Only the whole answer of the machine asked counts.\n"
    "Exit: 0 answered, 3 no or invalid target machine (not online / unselected), 4 no answer.\n";

const char* const kParamsHelp =
    "usage: hoopwatch-cli params [--to ADDR] --design-id N [--direction D] [--angle A]\n"
    "                     [--scale-x X] [--scale-y Y] [--priority P] [--repeat-mode M]\n"
    "                     [--repeat-order O] [--repeat-x N] [--repeat-y N] [--spacing-x N]\n"
    "                     [--spacing-y N] [--colors c1,c2,...] [--wait S] [--verbose]\n"
    "Sends the layout parameters and the colour-change sequence (code 9). Left-out values take\n"
    "the parameter dialog's starting values (direction 0, angle 0, scale 100, modes 0, repeat\n"
    "1, spacing 0); the colour count is the number of colours given. Values are cut to their\n"
    "field's width as the window does.\n"
    "Exit: 0 answered, 1 design id 0 (\"No matching design!\"), 3 no or invalid target machine,\n"
    "4 no answer.\n";

// The CLI speaks the configured language when a configuration says so, English otherwise.
int cliLanguage(const ConfigFile& config)
{
    return config.exists() ? readLanguage(config, "2") : 2;
}

// Why `address` cannot be a machine's address, or nothing when it can be one.
std::optional<std::string> targetProblem(const std::string& address)
{
    if (!isIpv4Address(address))
        return "'" + address + "' is not an IPv4 address";
    if (loopbackOnly() && !isLoopbackAddress(address))
        return address + " is outside 127.0.0.0/8, which HOOPWATCH_LOOPBACK_ONLY=1 refuses";
    return std::nullopt;
}

std::optional<std::chrono::milliseconds> takeWait(ArgList& args, double def, bool* bad)
{
    double seconds = def;
    if (auto v = args.take("--wait")) {
        auto d = parseDouble(*v);
        // Bounded: a wait is at most ten minutes.
        if (!d || *d < 0 || *d > 600) {
            *bad = true;
            return std::nullopt;
        }
        seconds = *d;
    }
    return std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
}

bool reportUnknown(const std::string& name, const ArgList& args, bool allowPositional)
{
    if (auto u = args.unknownOption()) {
        std::fprintf(stderr, "hoopwatch-cli %s: unknown option %s\n", name.c_str(), u->c_str());
        return true;
    }
    if (!allowPositional && !args.rest().empty()) {
        std::fprintf(stderr, "hoopwatch-cli %s: unexpected argument %s\n", name.c_str(),
                     args.rest().front().c_str());
        return true;
    }
    return false;
}

// Prints every acknowledgement the receiver hands over, as it arrives.
class PrintingListener : public ReceiverListener
{
public:
    explicit PrintingListener(int language) : m_language(language) {}
    void onReply(const Reply& reply) override
    {
        // Only the whole acknowledgement of the machine the chunks went to counts.
        m_acks.take(reply);
        const auto id = replyText(reply.kind);
        if (!id)
            return;
        const std::string_view text = uiText(*id, m_language);
        std::lock_guard lock(m_mutex);
        std::printf("%.*s (design %d)\n", static_cast<int>(text.size()), text.data(),
                    reply.designId);
        std::fflush(stdout);
    }
    void onSocketFailed() override
    {
        std::fprintf(stderr, "hoopwatch-cli: cannot listen for answers; acknowledgements are "
                             "not shown\n");
    }

    // The acknowledgements of the design being sent, counted by the same rule as the window's.
    TransferAcks& acks() { return m_acks; }

private:
    int m_language;
    TransferAcks m_acks;
    std::mutex m_mutex;
};

void printText(TextId id, int language, std::FILE* to)
{
    const auto text = uiText(id, language);
    std::fprintf(to, "%.*s\n", static_cast<int>(text.size()), text.data());
}

// Hands the acknowledgements of the machines under way to the delivery; nothing else shows.
class DeliveryListener : public ReceiverListener
{
public:
    explicit DeliveryListener(DesignDelivery& delivery) : m_delivery(delivery) {}
    void onReply(const Reply& reply) override { m_delivery.take(reply); }
    void onSocketFailed() override
    {
        std::fprintf(stderr, "hoopwatch-cli: cannot listen for answers; no acknowledgement can "
                             "be counted\n");
    }

private:
    DesignDelivery& m_delivery;
};

// send FILE --to A,B,... or --to all: one design to several machines at once.
int sendToMany(const LinkSettings& settings, const std::string& to, const std::string& file,
               std::chrono::milliseconds wait, int language)
{
    const ConfigFile config(settings.configPath);
    const std::vector<MachineEntry> table =
        MachineTable(config).load(static_cast<int>(kMaxFleetEntries));
    std::vector<std::string> targets;
    if (to == "all") {
        for (const MachineEntry& entry : table)
            targets.push_back(entry.address);
        if (targets.empty()) {
            std::fputs("hoopwatch-cli send: the machine table is empty; nothing sent\n", stderr);
            return kExitNoTarget;
        }
    } else {
        std::stringstream in(to);
        std::string item;
        while (std::getline(in, item, ','))
            targets.push_back(item);
        if (to.back() == ',' ||
            std::any_of(targets.begin(), targets.end(), [](const auto& t) { return t.empty(); })) {
            std::fprintf(stderr, "hoopwatch-cli send: --to '%s' has an empty address\n%s",
                         to.c_str(), kSendHelp);
            return 2;
        }
    }
    // Every address is checked before anything goes out: a design reaches all or none.
    for (const std::string& target : targets) {
        if (const auto problem = targetProblem(target)) {
            std::fprintf(stderr, "hoopwatch-cli send: %s; nothing sent\n", problem->c_str());
            return kExitNoTarget;
        }
    }
    const auto label = [&](const std::string& address) {
        for (const MachineEntry& entry : table)
            if (entry.address == address)
                return machineLabel(address, entry.name);
        return address;
    };
    const DesignFileBytes bytes = readDesignFile(file);
    if (bytes.error) {
        std::fprintf(stderr, "send: %s: ", file.c_str());
        printText(*bytes.error, language, stderr);
        return kExitRefused;
    }
    if (bytes.bytes.empty()) {
        std::fprintf(stderr, "send: %s: empty file, nothing sent\n", file.c_str());
        return kExitRefused;
    }

    std::mutex printing;
    DesignDelivery delivery(settings, {[&](const DeliveryProgress& p) {
                                           std::lock_guard lock(printing);
                                           std::fprintf(stderr,
                                                        "send: %s chunk %d/%d, %d acknowledged\n",
                                                        label(p.address).c_str(), p.chunksSent,
                                                        p.chunkCount, p.acknowledged);
                                       },
                                       {}});
    LinkState state;
    DeliveryListener listener(delivery);
    ControlSession session(settings, state, listener);
    session.noteCommandTargets(targets);
    session.startReceiver();
    const std::string name = designFileName(file);
    const std::vector<MachineDelivery> results = delivery.run(bytes.bytes, name, targets, {}, wait);
    session.stop();

    int confirmed = 0;
    for (const MachineDelivery& result : results) {
        const std::string who = label(result.address);
        std::printf("%s: %d of %d chunks acknowledged", who.c_str(), result.acks.acknowledged,
                    result.acks.sent);
        if (result.confirmed()) {
            ++confirmed;
            std::printf(" (design %d)\n", result.designId);
            const SentDesign design =
                describeSentDesign(file, name, result.designId, wallClockSeconds());
            if (!recordSentDesign(settings.configPath, result.address, design))
                std::fprintf(
                    stderr, "send: %s was sent to %s, but it could not be recorded in %s\n",
                    file.c_str(), who.c_str(), FleetStore::pathBeside(settings.configPath).c_str());
        } else if (result.outcome.error) {
            std::printf(", not sent\n");
            std::fprintf(stderr, "send: %s: ", who.c_str());
            printText(*result.outcome.error, language, stderr);
        } else {
            std::printf(", not confirmed\n");
            std::fprintf(stderr, "send: %s: chunks %d to %d of %d not acknowledged by %s\n",
                         file.c_str(), result.acks.acknowledged + 1, std::max(result.acks.sent, 1),
                         std::max(result.acks.sent, 1), who.c_str());
        }
    }
    std::printf("%s: %d of %zu machines acknowledged every chunk\n", name.c_str(), confirmed,
                results.size());
    std::fflush(stdout);
    return confirmed == static_cast<int>(results.size()) ? 0 : kExitNoAnswer;
}

int cmdSend(const LinkSettings& settings, ArgList args)
{
    if (args.takeFlag("--help")) {
        std::fputs(kSendHelp, stdout);
        return 0;
    }
    const std::optional<std::string> to = args.take("--to");
    bool bad = false;
    const auto wait = takeWait(args, 1.0, &bad);
    if (bad || reportUnknown("send", args, true) || args.rest().empty()) {
        std::fputs(kSendHelp, stderr);
        return 2;
    }
    const std::vector<std::string> files = args.rest();
    const ConfigFile config(settings.configPath);
    const int language = cliLanguage(config);
    if (to && (*to == "all" || to->find(',') != std::string::npos)) {
        if (files.size() != 1) {
            std::fprintf(stderr, "hoopwatch-cli send: several machines take one file at a time\n%s",
                         kSendHelp);
            return 2;
        }
        return sendToMany(settings, *to, files.front(), *wait, language);
    }

    // The target is fixed before the receiver starts: its first-run defaults must not invent
    // a machine to send to.
    const std::optional<std::string> target = to ? to : transferTarget(settings);
    if (!target) {
        std::fputs("hoopwatch-cli send: no machine is chosen; nothing sent\n", stderr);
        return kExitNoTarget;
    }
    if (const auto problem = targetProblem(*target)) {
        std::fprintf(stderr, "hoopwatch-cli send: %s; nothing sent\n", problem->c_str());
        return kExitNoTarget;
    }

    LinkState state;
    PrintingListener listener(language);
    ControlSession session(settings, state, listener);
    session.noteCommandTarget(*target);
    const std::uint64_t transfer = listener.acks().begin(*target);
    session.startReceiver();

    const TransferProgressFn progress = [&](const TransferProgress& p) {
        // A batch also reports the start of each file; only datagrams are printed.
        if (p.chunksSent == 0)
            return;
        listener.acks().chunkSent(transfer);
        std::fprintf(stderr, "send: file %d/%d chunk %d/%d -> %s\n", p.fileIndex + 1, p.fileCount,
                     p.chunksSent, p.chunkCount, target->c_str());
    };
    std::vector<TransferOutcome> outcomes;
    if (files.size() == 1)
        outcomes.push_back(sendCurrentDesign(files.front(), designFileName(files.front()), settings,
                                             progress, {}, target));
    else
        outcomes = sendDesignBatch(files, settings, progress, {}, target);
    listener.acks().endSending(transfer, true);

    int exitCode = 0;
    int chunksSent = 0;
    for (std::size_t i = 0; i < outcomes.size(); ++i) {
        const TransferOutcome& o = outcomes[i];
        chunksSent += o.chunksSent;
        if (o.error) {
            std::fprintf(stderr, "send: %s: ", files[i].c_str());
            printText(*o.error, language, stderr);
            exitCode = kExitRefused;
        } else if (!o.sent) {
            std::fprintf(stderr, "send: %s: empty file, nothing sent\n", files[i].c_str());
            exitCode = kExitRefused;
        }
    }
    if (chunksSent > 0) {
        const auto until = std::chrono::steady_clock::now() + *wait;
        while (listener.acks().count().acknowledged < chunksSent &&
               std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    session.stop();

    // The machine acknowledges chunks in the order they arrive, so the first acknowledgements
    // stand for the first chunks.
    int acknowledged = listener.acks().count().acknowledged;
    bool missing = false;
    for (std::size_t i = 0; i < outcomes.size(); ++i) {
        const int sent = outcomes[i].chunksSent;
        const int covered = std::min(sent, acknowledged);
        acknowledged -= covered;
        if (covered < sent) {
            missing = true;
            std::fprintf(stderr, "send: %s: chunks %d to %d of %d not acknowledged by %s\n",
                         files[i].c_str(), covered + 1, sent, sent, target->c_str());
        }
    }
    if (exitCode == 0 && missing)
        exitCode = kExitNoAnswer;
    // The machine holds the last file it took whole; only a confirmed one is recorded.
    if (!missing && !outcomes.empty() && outcomes.back().sent && !outcomes.back().error) {
        const std::string& file = files[outcomes.size() - 1];
        const SentDesign design = describeSentDesign(
            file, designFileName(file), listener.acks().designId(), wallClockSeconds());
        if (!recordSentDesign(settings.configPath, *target, design))
            std::fprintf(stderr, "send: %s was sent, but it could not be recorded in %s\n",
                         file.c_str(), FleetStore::pathBeside(settings.configPath).c_str());
        HistorySettings history = readHistorySettings(ConfigFile(settings.configPath));
        history.watching = false;
        ProductionRecording recording(history, historyFaultPrinter("send", history.path));
        recording.onTransfer(*target, design, designChecksum(readDesignFile(file).bytes));
    }
    return exitCode;
}

void printAnswer(const Reply& answer, int language)
{
    switch (answer.kind) {
    case ReplyKind::StatusReply:
        if (const auto& s = answer.status) {
            std::printf("work state: %u (%s)\n", s->workState,
                        s->workState ? "working" : "not working");
            std::printf("embroidery state: %u (%s)\n", s->embroideryState,
                        s->embroideryState == 1 ? "confirmed" : "released");
            std::printf("current stitch: %d\n", s->currentStitch);
        }
        break;
    case ReplyKind::PaletteReply:
        if (const auto& p = answer.palette) {
            std::printf("colours: %d\n", p->count);
            for (std::size_t i = 0; i < p->colors.size(); ++i)
                std::printf("%zu: 0x%08" PRIX32 "\n", i + 1, p->colors[i]);
        }
        break;
    default:
        if (const auto id = replyText(answer.kind))
            printText(*id, language, stdout);
        break;
    }
    std::printf("design id: %d\n", answer.designId);
}

// Opens the answer socket before the request goes out, so no answer can be missed.
std::optional<UdpSocket> listenForAnswers(const LinkSettings& settings)
{
    UdpSocket socket;
    if (!socket.bind(bindAddressFor("0.0.0.0"), settings.listenPort, false)) {
        std::fprintf(stderr, "hoopwatch-cli: cannot listen on port %u; the answer is not shown\n",
                     settings.listenPort);
        return std::nullopt;
    }
    return socket;
}

int finishCommand(const CommandOutcome& outcome, const std::optional<UdpSocket>& socket,
                  const LinkSettings& settings, ReplyKind answerKind, const std::string& target,
                  std::chrono::milliseconds wait, int language, bool verbose)
{
    if (!outcome.sent) {
        if (outcome.message)
            printText(*outcome.message, language, stderr);
        else
            std::fputs("hoopwatch-cli: cannot create a socket\n", stderr);
        return outcome.message == TextId::NoMatchingDesign ? kExitRefused : kExitNoTarget;
    }
    if (!socket)
        return 0;
    const PacketCipher cipher(settings.key);
    const AwaitedReply answer = awaitReply(*socket, cipher, answerKind, target, wait);
    if (verbose)
        std::fprintf(stderr,
                     "hoopwatch-cli: %d datagram(s) passed over (not the whole answer of %s)\n",
                     answer.skipped, target.c_str());
    if (!answer.reply) {
        std::fprintf(stderr, "hoopwatch-cli: no answer from %s\n", target.c_str());
        return kExitNoAnswer;
    }
    printAnswer(*answer.reply, language);
    return 0;
}

// False, with a message, when the chosen address cannot be a machine's.
bool refuseInvalidTarget(const std::string& name, const CommandTarget& target)
{
    if (!target.address)
        return true;
    if (const auto problem = targetProblem(*target.address)) {
        std::fprintf(stderr, "hoopwatch-cli %s: %s; nothing sent\n", name.c_str(),
                     problem->c_str());
        return false;
    }
    return true;
}

CommandTarget commandTarget(const LinkSettings& settings, const std::optional<std::string>& to)
{
    if (to)
        return CommandTarget{1, *to};
    return tableTarget(settings);
}

int cmdMachine(const std::string& name, const LinkSettings& settings, ArgList args)
{
    if (args.takeFlag("--help")) {
        std::fputs(kCommandHelp, stdout);
        return 0;
    }
    const std::optional<std::string> to = args.take("--to");
    std::int32_t designId = 0;
    bool bad = false;
    if (auto v = args.take("--design-id")) {
        auto n = parseInt(*v);
        bad = !n;
        designId = n.value_or(0);
    }
    const auto wait = takeWait(args, 2.0, &bad);
    const bool verbose = args.takeFlag("--verbose");
    if (bad || reportUnknown(name, args, false)) {
        std::fputs(kCommandHelp, stderr);
        return 2;
    }
    static const std::map<std::string, std::pair<CommandCode, ReplyKind>> kCodes = {
        {"jog", {CommandCode::Jog, ReplyKind::JogAck}},
        {"lever", {CommandCode::Lever, ReplyKind::LeverAck}},
        {"confirm", {CommandCode::EmbConfirm, ReplyKind::EmbConfirmAck}},
        {"release", {CommandCode::EmbRelease, ReplyKind::EmbReleaseAck}},
        {"palette", {CommandCode::PaletteQuery, ReplyKind::PaletteReply}},
        {"status", {CommandCode::StatusQuery, ReplyKind::StatusReply}}};
    const auto [request, answer] = kCodes.at(name);
    const int language = cliLanguage(ConfigFile(settings.configPath));
    const CommandTarget target = commandTarget(settings, to);
    if (!refuseInvalidTarget(name, target))
        return kExitNoTarget;
    const auto socket = listenForAnswers(settings);
    const CommandOutcome outcome = sendMachineCommand(request, target, designId, settings);
    return finishCommand(outcome, socket, settings, answer, target.address.value_or(""), *wait,
                         language, verbose);
}

// Comma-separated colour numbers; nullopt when one is not a number.
std::optional<std::vector<std::int32_t>> parseColors(const std::string& text)
{
    std::vector<std::int32_t> colors;
    std::stringstream in(text);
    std::string item;
    while (std::getline(in, item, ',')) {
        auto n = parseInt(item);
        if (!n)
            return std::nullopt;
        colors.push_back(*n);
    }
    return colors;
}

int cmdParams(const LinkSettings& settings, ArgList args)
{
    if (args.takeFlag("--help")) {
        std::fputs(kParamsHelp, stdout);
        return 0;
    }
    const std::optional<std::string> to = args.take("--to");
    ParameterBlock block; // starts at the dialog's opening values
    std::int32_t designId = 0;
    bool bad = false;
    const std::pair<const char*, std::int32_t*> numbers[] = {
        {"--design-id", &designId},
        {"--direction", &block.patternDirection},
        {"--angle", &block.angle},
        {"--scale-x", &block.scaleX},
        {"--scale-y", &block.scaleY},
        {"--priority", &block.priorityMode},
        {"--repeat-mode", &block.repeatMode},
        {"--repeat-order", &block.repeatOrder},
        {"--repeat-x", &block.repeatCountX},
        {"--repeat-y", &block.repeatCountY},
        {"--spacing-x", &block.repeatSpacingX},
        {"--spacing-y", &block.repeatSpacingY}};
    for (const auto& [option, slot] : numbers) {
        if (auto v = args.take(option)) {
            auto n = parseInt(*v);
            if (!n) {
                std::fprintf(stderr, "hoopwatch-cli params: %s needs a whole number\n", option);
                bad = true;
            }
            *slot = n.value_or(0);
        }
    }
    if (auto v = args.take("--colors")) {
        auto colors = parseColors(*v);
        if (!colors) {
            std::fputs("hoopwatch-cli params: --colors needs numbers separated by commas\n",
                       stderr);
            bad = true;
        } else {
            setColorSequence(&block, *colors, static_cast<std::int32_t>(colors->size()));
        }
    }
    const auto wait = takeWait(args, 2.0, &bad);
    const bool verbose = args.takeFlag("--verbose");
    if (bad || reportUnknown("params", args, false)) {
        std::fputs(kParamsHelp, stderr);
        return 2;
    }
    const int language = cliLanguage(ConfigFile(settings.configPath));
    const CommandTarget target = commandTarget(settings, to);
    // The window opens the parameter dialog only with a machine ticked.
    if (designId != 0 && target.machineCount != 0 && !target.address) {
        printText(TextId::UnselectedMachine, language, stderr);
        return kExitNoTarget;
    }
    if (designId != 0 && !refuseInvalidTarget("params", target))
        return kExitNoTarget;
    const auto socket = designId != 0 ? listenForAnswers(settings) : std::nullopt;
    const CommandOutcome outcome = sendParameters(target.address.value_or(std::string()),
                                                  target.machineCount, designId, block, settings);
    return finishCommand(outcome, socket, settings, ReplyKind::ParametersAck,
                         target.address.value_or(""), *wait, language, verbose);
}

} // namespace

LinkSettings linkSettings(const GlobalOptions& global)
{
    LinkSettings s;
    if (global.machinePort)
        s.machinePort = static_cast<std::uint16_t>(*global.machinePort);
    if (global.listenPort)
        s.listenPort = static_cast<std::uint16_t>(*global.listenPort);
    if (global.key)
        s.key = *global.key;
    s.configPath = resolveConfigPath(global.configPath);
    return s;
}

bool isLinkCommand(const std::string& name)
{
    static const char* const kNames[] = {"send",    "jog",     "lever",  "confirm",
                                         "release", "palette", "status", "params"};
    for (const char* n : kNames)
        if (name == n)
            return true;
    return false;
}

int cmdLink(const std::string& name, const GlobalOptions& global, ArgList args)
{
    const LinkSettings settings = linkSettings(global);
    if (global.key && !isValidCipherKey(*global.key)) {
        std::fputs("hoopwatch-cli: --key needs 16 letters or digits\n", stderr);
        return 2;
    }
    int exitCode = 0;
    if (name == "send")
        exitCode = cmdSend(settings, std::move(args));
    else if (name == "params")
        exitCode = cmdParams(settings, std::move(args));
    else
        exitCode = cmdMachine(name, settings, std::move(args));
    return reportConfigFailure(settings.configPath, exitCode);
}
