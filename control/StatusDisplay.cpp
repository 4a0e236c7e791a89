#include "control/StatusDisplay.h"

#include <cstdint>
#include <initializer_list>

#include "app/UiTexts.h"

namespace {

// Puts the numbers into the template's "%d" places in order; the templates hold no other
// conversions, so no printf with a run-time format is needed.
std::string fillNumbers(std::string_view text, std::initializer_list<std::int64_t> numbers)
{
    std::string out;
    auto next = numbers.begin();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == 'd' && next != numbers.end()) {
            out += std::to_string(*next++);
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

} // namespace

std::string designInfoText(const DesignSummary& summary, int language)
{
    // 64-bit differences: extremes of opposite sign cannot overflow.
    const std::int64_t height = (std::int64_t(summary.maxY) - summary.minY) / 100;
    const std::int64_t width = (std::int64_t(summary.maxX) - summary.minX) / 100;
    return fillNumbers(uiText(TextId::DesignInfoTemplate, language),
                       {summary.stitchCount, summary.colorCount, height, width});
}

std::string embroideryStateText(const MachineStatus& status, int language)
{
    return std::string(uiText(
        status.embroideryState == 1 ? TextId::EmbStateConfirm : TextId::EmbStateRelease, language));
}

std::string currentStitchText(const MachineStatus& status, int language)
{
    return fillNumbers(uiText(TextId::CurrentNeedleTemplate, language), {status.currentStitch});
}

std::string progressText(const ProgressShown& progress, int language)
{
    if (!progress.percent)
        return {};
    std::string out =
        "  " + fillNumbers(uiText(TextId::SewnPercent, language), {*progress.percent});
    if (progress.secondsLeft && *progress.secondsLeft > 0) {
        const std::int64_t minutes = (*progress.secondsLeft + 59) / 60;
        out += "  ";
        out += minutes < 60 ? fillNumbers(uiText(TextId::MinutesLeft, language), {minutes})
                            : fillNumbers(uiText(TextId::HoursMinutesLeft, language),
                                          {minutes / 60, minutes % 60});
    }
    return out;
}

std::string transferAckText(const AckCount& count, int language)
{
    return fillNumbers(uiText(TextId::TransferAckCount, language),
                       {count.acknowledged, count.sent});
}

StateStripTexts stateStripTexts(const DesignSummary& summary, const MachineStatus& status,
                                int language)
{
    return {designInfoText(summary, language), embroideryStateText(status, language),
            currentStitchText(status, language)};
}

std::string_view embroideryButtonLabel(const MachineStatus& status, int language)
{
    return uiText(status.embroideryState != 0 ? TextId::EmbConfirm : TextId::EmbRelease, language);
}

std::string_view leverButtonLabel(const MachineStatus& status, int language)
{
    return uiText(status.workState == 0 ? TextId::StartWork : TextId::StopWork, language);
}
