#include "ui/CDesignSet.h"

#include <algorithm>
#include <tuple>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>

#include "app/MachineTable.h"
#include "app/UiTexts.h"
#include "control/LinkSettings.h"
#include "control/LinkState.h"
#include "control/MachineCommands.h"
#include "ui/ControlIds.h"
#include "ui/DialogUnits.h"
#include "ui/DirectionImages.h"
#include "ui/MessageBoxes.h"
#include "ui/QtTexts.h"
#include "ui/TextFit.h"

namespace {

struct LabelPlace
{
    ParamControl id;
    TextId text;
    int x, y, w, h;
};

constexpr LabelPlace kLabels[] = {
    {ParamControl::DirectionLabel, TextId::ParamDirection, 24, 19, 63, 11},
    {ParamControl::AngleLabel, TextId::ParamAngle, 24, 44, 66, 11},
    {ParamControl::PriorityModeLabel, TextId::ParamPriorityMode, 24, 69, 65, 11},
    {ParamControl::ZoomLabel, TextId::ParamZoom, 24, 93, 67, 17},
    {ParamControl::RepeatModeLabel, TextId::ParamRepeatMode, 24, 119, 65, 11},
    {ParamControl::RepeatOrderLabel, TextId::ParamRepeatOrder, 24, 144, 63, 16},
    {ParamControl::RepeatCountLabel, TextId::ParamRepeatCount, 24, 167, 70, 17},
    {ParamControl::RepeatSpacingLabel, TextId::ParamRepeatSpacing, 24, 188, 66, 15},
};

struct EditPlace
{
    ParamControl id;
    const char* initial;
    int x, y, w, h;
};

constexpr EditPlace kEdits[] = {
    {ParamControl::Angle, "0", 100, 41, 88, 14},
    {ParamControl::ScaleX, "100", 99, 90, 56, 14},
    {ParamControl::ScaleY, "100", 191, 90, 56, 14},
    {ParamControl::RepeatCountX, "1", 97, 166, 56, 14},
    {ParamControl::RepeatCountY, "1", 192, 166, 53, 14},
    {ParamControl::RepeatSpacingX, "0", 97, 189, 56, 14},
    {ParamControl::RepeatSpacingY, "0", 192, 186, 53, 14},
};

// The send button is a multi-line button: its text breaks at the blank nearest the middle,
// or in the middle when it has none (Chinese).
QString twoLines(const QString& text)
{
    const qsizetype middle = text.size() / 2;
    qsizetype best = -1;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char(' ') &&
            (best < 0 || std::abs(i - middle) < std::abs(best - middle))) {
            best = i;
        }
    }
    if (best >= 0) {
        return text.left(best) + QLatin1Char('\n') + text.mid(best + 1);
    }
    return text.left(middle) + QLatin1Char('\n') + text.mid(middle);
}

} // namespace

CDesignSet::CDesignSet(QWidget* parent, ConfigFile config, const LinkSettings& settings,
                       const LinkState& state, std::string machineAddress,
                       std::span<const std::int32_t> colorNumbers, int colorCount)
    : QDialog(parent), m_config(std::move(config)), m_settings(settings), m_state(state),
      m_machineAddress(std::move(machineAddress))
{
    // Blocks beyond the buffer get no entry; the count says how many entries are in use.
    const auto copied = std::min<std::size_t>({static_cast<std::size_t>(std::max(colorCount, 0)),
                                               colorNumbers.size(), m_colorNumbers.size()});
    std::copy_n(colorNumbers.begin(), copied, m_colorNumbers.begin());
    m_colorCount = static_cast<int>(copied);

    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    // The template's units follow the font in use, as Windows derives them from a dialog's font.
    const DialogUnits units = dialogUnitsFor(font());
    setFixedSize(units.size(307, 269));

    for (const LabelPlace& place : kLabels) {
        placeControl(new QLabel(this), place.id, units, place.x, place.y, place.w, place.h)
            ->setWordWrap(true);
    }
    m_directionButton =
        placeControl(new QPushButton(this), ParamControl::Direction, units, 99, 12, 23, 21);
    m_directionButton->setIconSize(QSize(32, 32));
    m_priorityButton =
        placeControl(new QPushButton(this), ParamControl::PriorityMode, units, 99, 64, 149, 14);
    m_repeatModeButton =
        placeControl(new QPushButton(this), ParamControl::RepeatMode, units, 98, 115, 150, 14);
    m_repeatOrderButton =
        placeControl(new QPushButton(this), ParamControl::RepeatOrder, units, 97, 140, 150, 14);
    for (const EditPlace& place : kEdits) {
        auto* edit =
            placeControl(new QLineEdit(this), place.id, units, place.x, place.y, place.w, place.h);
        edit->setText(QString::fromLatin1(place.initial));
        if (place.id == ParamControl::Angle) {
            edit->setValidator(new QRegularExpressionValidator(
                QRegularExpression(QStringLiteral("[0-9]*")), edit));
        }
    }
    auto* send = placeControl(new QPushButton(this), ParamControl::Send, units, 7, 231, 65, 29);
    auto* exit = placeControl(new QPushButton(this), ParamControl::Exit, units, 234, 236, 66, 23);
    // Exit is the default button, so Enter in an edit closes the dialog too.
    exit->setDefault(true);

    connect(m_directionButton, &QPushButton::clicked, this, [this] { stepDirection(); });
    connect(m_priorityButton, &QPushButton::clicked, this, [this] {
        toggle(&m_priorityMode, m_priorityButton, int(TextId::ParamZoomPriority),
               int(TextId::ParamRotationPriority));
    });
    connect(m_repeatModeButton, &QPushButton::clicked, this, [this] {
        toggle(&m_repeatMode, m_repeatModeButton, int(TextId::ParamUsuallyRepeated),
               int(TextId::ParamLocalRecurrence));
    });
    connect(m_repeatOrderButton, &QPushButton::clicked, this, [this] {
        toggle(&m_repeatOrder, m_repeatOrderButton, int(TextId::ParamXPriority),
               int(TextId::ParamYPriority));
    });
    connect(send, &QPushButton::clicked, this, [this] { sendParameters(); });
    connect(exit, &QPushButton::clicked, this, &QDialog::accept);

    m_language = readLanguage(m_config, "1");
    applyTexts();
    m_directionButton->setIcon(QIcon(QPixmap::fromImage(directionImage(0))));
    fitTexts(units);
}

void CDesignSet::fitTexts(const DialogUnits& units)
{
    // A label wraps at blanks within its height; the label column widens for the label that
    // needs it most and takes everything to its right along.
    int extra = 0;
    int columnRight = 0;
    QList<QLabel*> labels;
    for (const LabelPlace& place : kLabels) {
        auto* label = findChild<QLabel*>(controlName(place.id));
        labels << label;
        extra =
            std::max(extra, wrappedTextWidth(label->fontMetrics(), label->text(), label->height()) -
                                label->width());
        columnRight = std::max(columnRight, label->geometry().right() + 1);
    }
    if (extra > 0) {
        shiftControls(this, columnRight, extra);
        for (QLabel* label : labels)
            label->resize(label->width() + extra, label->height());
    }
    // A mode button shows either of its two texts.
    const auto widen = [](QPushButton* button, QSize need) {
        button->resize(std::max(button->width(), need.width()),
                       std::max(button->height(), need.height()));
    };
    const std::tuple<QPushButton*, TextId, TextId> modes[] = {
        {m_priorityButton, TextId::ParamZoomPriority, TextId::ParamRotationPriority},
        {m_repeatModeButton, TextId::ParamUsuallyRepeated, TextId::ParamLocalRecurrence},
        {m_repeatOrderButton, TextId::ParamXPriority, TextId::ParamYPriority},
    };
    for (const auto& [button, off, on] : modes) {
        widen(button, buttonSizeFor(button, qtText(off, m_language))
                          .expandedTo(buttonSizeFor(button, qtText(on, m_language))));
    }
    for (ParamControl id : {ParamControl::Send, ParamControl::Exit}) {
        auto* button = findChild<QPushButton*>(controlName(id));
        widen(button, buttonSizeFor(button, button->text()));
    }
    fitDialogWidth(this, units.size(7, 0).width());
}

void CDesignSet::applyTexts()
{
    setWindowTitle(qtText(TextId::ParamCaption, m_language));
    for (const LabelPlace& place : kLabels) {
        findChild<QLabel*>(controlName(place.id))->setText(qtText(place.text, m_language));
    }
    m_priorityButton->setText(qtText(TextId::ParamZoomPriority, m_language));
    m_repeatModeButton->setText(qtText(TextId::ParamUsuallyRepeated, m_language));
    m_repeatOrderButton->setText(qtText(TextId::ParamXPriority, m_language));
    findChild<QPushButton*>(controlName(ParamControl::Send))
        ->setText(twoLines(qtText(TextId::ParamSend, m_language)));
    findChild<QPushButton*>(controlName(ParamControl::Exit))
        ->setText(qtText(TextId::ParamExit, m_language));
}

void CDesignSet::stepDirection()
{
    m_direction = (m_direction + 1) % 8;
    m_directionButton->setIcon(QIcon(QPixmap::fromImage(directionImage(m_direction))));
}

void CDesignSet::toggle(int* value, QPushButton* button, int textOff, int textOn)
{
    *value = (*value + 1) % 2;
    button->setText(qtText(static_cast<TextId>(*value == 0 ? textOff : textOn), m_language));
}

void CDesignSet::sendParameters()
{
    const auto number = [this](ParamControl id) {
        return parseCNumber(findChild<QLineEdit*>(controlName(id))->text().toStdString());
    };
    ParameterBlock block;
    block.patternDirection = m_direction;
    block.angle = number(ParamControl::Angle);
    block.scaleX = number(ParamControl::ScaleX);
    block.scaleY = number(ParamControl::ScaleY);
    block.priorityMode = m_priorityMode;
    block.repeatMode = m_repeatMode;
    block.repeatOrder = m_repeatOrder;
    block.repeatCountX = number(ParamControl::RepeatCountX);
    block.repeatCountY = number(ParamControl::RepeatCountY);
    block.repeatSpacingX = number(ParamControl::RepeatSpacingX);
    block.repeatSpacingY = number(ParamControl::RepeatSpacingY);
    setColorSequence(&block, m_colorNumbers, m_colorCount);
    const CommandOutcome outcome =
        ::sendParameters(m_machineAddress, MachineTable(m_config).count(),
                         m_state.currentDesignId.load(), block, m_settings);
    if (outcome.message) {
        showMessage(this, qtText(*outcome.message, m_language));
    }
}
