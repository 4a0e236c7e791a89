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
#include "ui/DialogUnits.h"
#include "ui/DirectionImages.h"
#include "ui/MessageBoxes.h"
#include "ui/QtTexts.h"
#include "ui/TextFit.h"

namespace {

struct LabelSpec
{
    int id;
    TextId text;
    int x, y, w, h;
};

constexpr LabelSpec kLabels[] = {
    {1046, TextId::ParamDirection, 24, 19, 63, 11},
    {1047, TextId::ParamAngle, 24, 44, 66, 11},
    {1048, TextId::ParamPriorityMode, 24, 69, 65, 11},
    {1049, TextId::ParamZoom, 24, 93, 67, 17},
    {1050, TextId::ParamRepeatMode, 24, 119, 65, 11},
    {1051, TextId::ParamRepeatOrder, 24, 144, 63, 16},
    {1052, TextId::ParamRepeatCount, 24, 167, 70, 17},
    {1053, TextId::ParamRepeatSpacing, 24, 188, 66, 15},
};

struct EditSpec
{
    int id;
    const char* initial;
    int x, y, w, h;
};

constexpr EditSpec kEdits[] = {
    {1026, "0", 100, 41, 88, 14},  {1037, "100", 99, 90, 56, 14}, {1038, "100", 191, 90, 56, 14},
    {1032, "1", 97, 166, 56, 14},  {1033, "1", 192, 166, 53, 14}, {1034, "0", 97, 189, 56, 14},
    {1035, "0", 192, 186, 53, 14},
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

    for (const LabelSpec& spec : kLabels) {
        placeControl(new QLabel(this), spec.id, units, spec.x, spec.y, spec.w, spec.h)
            ->setWordWrap(true);
    }
    m_directionButton = placeControl(new QPushButton(this), 1000, units, 99, 12, 23, 21);
    m_directionButton->setIconSize(QSize(32, 32));
    m_priorityButton = placeControl(new QPushButton(this), 1027, units, 99, 64, 149, 14);
    m_repeatModeButton = placeControl(new QPushButton(this), 1030, units, 98, 115, 150, 14);
    m_repeatOrderButton = placeControl(new QPushButton(this), 1031, units, 97, 140, 150, 14);
    for (const EditSpec& spec : kEdits) {
        auto* edit =
            placeControl(new QLineEdit(this), spec.id, units, spec.x, spec.y, spec.w, spec.h);
        edit->setText(QString::fromLatin1(spec.initial));
        if (spec.id == 1026) {
            edit->setValidator(new QRegularExpressionValidator(
                QRegularExpression(QStringLiteral("[0-9]*")), edit));
        }
    }
    auto* send = placeControl(new QPushButton(this), 1036, units, 7, 231, 65, 29);
    auto* exit = placeControl(new QPushButton(this), 1, units, 234, 236, 66, 23);
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
    for (const LabelSpec& spec : kLabels) {
        auto* label = findChild<QLabel*>(QString::number(spec.id));
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
    for (const char* id : {"1036", "1"}) {
        auto* button = findChild<QPushButton*>(QLatin1String(id));
        widen(button, buttonSizeFor(button, button->text()));
    }
    fitDialogWidth(this, units.size(7, 0).width());
}

void CDesignSet::applyTexts()
{
    setWindowTitle(qtText(TextId::ParamCaption, m_language));
    for (const LabelSpec& spec : kLabels) {
        findChild<QLabel*>(QString::number(spec.id))->setText(qtText(spec.text, m_language));
    }
    m_priorityButton->setText(qtText(TextId::ParamZoomPriority, m_language));
    m_repeatModeButton->setText(qtText(TextId::ParamUsuallyRepeated, m_language));
    m_repeatOrderButton->setText(qtText(TextId::ParamXPriority, m_language));
    findChild<QPushButton*>(QStringLiteral("1036"))
        ->setText(twoLines(qtText(TextId::ParamSend, m_language)));
    findChild<QPushButton*>(QStringLiteral("1"))->setText(qtText(TextId::ParamExit, m_language));
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
    const auto number = [this](int id) {
        return parseCNumber(findChild<QLineEdit*>(QString::number(id))->text().toStdString());
    };
    ParameterBlock block;
    block.patternDirection = m_direction;
    block.angle = number(1026);
    block.scaleX = number(1037);
    block.scaleY = number(1038);
    block.priorityMode = m_priorityMode;
    block.repeatMode = m_repeatMode;
    block.repeatOrder = m_repeatOrder;
    block.repeatCountX = number(1032);
    block.repeatCountY = number(1033);
    block.repeatSpacingX = number(1034);
    block.repeatSpacingY = number(1035);
    setColorSequence(&block, m_colorNumbers, m_colorCount);
    const CommandOutcome outcome =
        ::sendParameters(m_machineAddress, MachineTable(m_config).count(),
                         m_state.currentDesignId.load(), block, m_settings);
    if (outcome.message) {
        showMessage(this, qtText(*outcome.message, m_language));
    }
}
