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
    int x, y, w, h;
    // The range its label states, and the field's name in a refusal.
    int min, max;
    TextId name;
};

// In the order of CDesignSet::Values::edits.
constexpr EditPlace kEdits[] = {
    {ParamControl::Angle, 100, 41, 88, 14, 0, 89, TextId::ParamFieldAngle},
    {ParamControl::ScaleX, 99, 90, 56, 14, 50, 200, TextId::ParamFieldScaleX},
    {ParamControl::ScaleY, 191, 90, 56, 14, 50, 200, TextId::ParamFieldScaleY},
    {ParamControl::RepeatCountX, 97, 166, 56, 14, 1, 99, TextId::ParamFieldRepeatCountX},
    {ParamControl::RepeatCountY, 192, 166, 53, 14, 1, 99, TextId::ParamFieldRepeatCountY},
    {ParamControl::RepeatSpacingX, 97, 189, 56, 14, -999, 999, TextId::ParamFieldSpacingX},
    {ParamControl::RepeatSpacingY, 192, 186, 53, 14, -999, 999, TextId::ParamFieldSpacingY},
};
static_assert(std::size(kEdits) == CDesignSet::kEditCount);

// A whole number written plainly (blanks around it, an optional sign, at most six digits);
// nothing for any other text.
std::optional<int> wholeNumber(const QString& text)
{
    const QString trimmed = text.trimmed();
    static const QRegularExpression plain(QStringLiteral("^[+-]?[0-9]{1,6}$"));
    if (!plain.match(trimmed).hasMatch())
        return std::nullopt;
    return trimmed.toInt();
}

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
    const Values defaults;
    for (std::size_t i = 0; i < std::size(kEdits); ++i) {
        const EditPlace& place = kEdits[i];
        auto* edit =
            placeControl(new QLineEdit(this), place.id, units, place.x, place.y, place.w, place.h);
        edit->setText(QString::number(defaults.edits[i]));
        if (place.id == ParamControl::Angle) {
            edit->setValidator(new QRegularExpressionValidator(
                QRegularExpression(QStringLiteral("[0-9]*")), edit));
        }
        // Enter in a field sends as the button does, so typed values are never dropped.
        connect(edit, &QLineEdit::returnPressed, this, [this] { sendParameters(); });
    }
    auto* send = placeControl(new QPushButton(this), ParamControl::Send, units, 7, 231, 65, 29);
    auto* exit = placeControl(new QPushButton(this), ParamControl::Exit, units, 234, 236, 66, 23);
    // No button takes Enter for itself: Enter in an edit sends, on a button it does nothing.
    for (QPushButton* button : findChildren<QPushButton*>()) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }

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
    showModes();
}

void CDesignSet::showModes()
{
    m_directionButton->setIcon(QIcon(QPixmap::fromImage(directionImage(m_direction))));
    const auto show = [this](QPushButton* button, int value, TextId off, TextId on) {
        button->setText(qtText(value == 0 ? off : on, m_language));
    };
    show(m_priorityButton, m_priorityMode, TextId::ParamZoomPriority,
         TextId::ParamRotationPriority);
    show(m_repeatModeButton, m_repeatMode, TextId::ParamUsuallyRepeated,
         TextId::ParamLocalRecurrence);
    show(m_repeatOrderButton, m_repeatOrder, TextId::ParamXPriority, TextId::ParamYPriority);
}

void CDesignSet::setValues(const Values& values)
{
    m_direction = values.direction % 8;
    m_priorityMode = values.priorityMode % 2;
    m_repeatMode = values.repeatMode % 2;
    m_repeatOrder = values.repeatOrder % 2;
    for (std::size_t i = 0; i < std::size(kEdits); ++i)
        findChild<QLineEdit*>(controlName(kEdits[i].id))->setText(QString::number(values.edits[i]));
    showModes();
}

std::optional<CDesignSet::Values> CDesignSet::readValues()
{
    Values values;
    values.direction = m_direction;
    values.priorityMode = m_priorityMode;
    values.repeatOrder = m_repeatOrder;
    values.repeatMode = m_repeatMode;
    for (std::size_t i = 0; i < std::size(kEdits); ++i) {
        const EditPlace& place = kEdits[i];
        auto* edit = findChild<QLineEdit*>(controlName(place.id));
        const std::optional<int> number = wholeNumber(edit->text());
        if (!number || *number < place.min || *number > place.max) {
            showMessage(this, qtText(TextId::ParamOutOfRange, m_language)
                                  .arg(qtText(place.name, m_language))
                                  .arg(place.min)
                                  .arg(place.max)
                                  .arg(edit->text().left(20)));
            edit->setFocus();
            edit->selectAll();
            return std::nullopt;
        }
        values.edits[i] = *number;
    }
    return values;
}

void CDesignSet::toggle(int* value, QPushButton* button, int textOff, int textOn)
{
    *value = (*value + 1) % 2;
    button->setText(qtText(static_cast<TextId>(*value == 0 ? textOff : textOn), m_language));
}

bool CDesignSet::sendParameters()
{
    // A value outside its field's range is refused before anything is sent.
    const std::optional<Values> values = readValues();
    if (!values)
        return false;
    ParameterBlock block;
    block.patternDirection = values->direction;
    block.angle = values->edits[0];
    block.scaleX = values->edits[1];
    block.scaleY = values->edits[2];
    block.priorityMode = values->priorityMode;
    block.repeatMode = values->repeatMode;
    block.repeatOrder = values->repeatOrder;
    block.repeatCountX = values->edits[3];
    block.repeatCountY = values->edits[4];
    block.repeatSpacingX = values->edits[5];
    block.repeatSpacingY = values->edits[6];
    setColorSequence(&block, m_colorNumbers, m_colorCount);
    const CommandOutcome outcome =
        ::sendParameters(m_machineAddress, MachineTable(m_config).count(),
                         m_state.currentDesignId.load(), block, m_settings);
    if (outcome.message)
        showMessage(this, qtText(*outcome.message, m_language), m_machineAddress);
    if (!outcome.sent)
        return false;
    m_lastSent = values;
    return true;
}
