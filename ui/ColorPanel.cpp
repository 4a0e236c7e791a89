#include "ui/ColorPanel.h"

#include <algorithm>

#include <QPainter>
#include <QPoint>

#include "ui/CColorSetDlg.h"

namespace {

// Swatch and label cells hang off the client area's right edge, one row every 27 pixels.
constexpr int kRowPitch = 27;
constexpr int kRowTop = 40;
constexpr int kRowHeight = 20;

QColor fromColorRef(std::uint32_t value)
{
    return QColor(int(value & 0xFF), int((value >> 8) & 0xFF), int((value >> 16) & 0xFF));
}

// A 1-pixel frame with black top and left edges and white bottom and right edges.
void drawSunkenFrame(QPainter& painter, const QRect& rect)
{
    const int left = rect.left();
    const int top = rect.top();
    const int right = rect.left() + rect.width() - 1;
    const int bottom = rect.top() + rect.height() - 1;
    painter.setPen(QPen(Qt::black, 1));
    painter.drawLine(left, top, right, top);
    painter.drawLine(left, top, left, bottom);
    painter.setPen(QPen(Qt::white, 1));
    painter.drawLine(left, bottom, right, bottom);
    painter.drawLine(right, top, right, bottom);
}

std::optional<ColorChoice> runPicker(QWidget* parent, int position, const ColorPalette& palette,
                                     const ConfigFile& config)
{
    CColorSetDlg picker(parent, position, palette, config);
    picker.exec();
    if (!picker.chosen()) {
        return std::nullopt;
    }
    return ColorChoice{picker.colorNumber(), picker.displayColor()};
}

} // namespace

ColorChangeSequence::ColorChangeSequence()
{
    colorNumbers.fill(1);
    displayColors.fill(kStartColor);
}

void resetDisplayColors(ColorChangeSequence& sequence, int colorCount, const ColorPalette& palette)
{
    const int used = std::clamp(colorCount, 0, ColorChangeSequence::kEntries);
    const int cycle = static_cast<int>(palette.colors.size());
    for (int i = 0; i < used; ++i) {
        sequence.displayColors[static_cast<std::size_t>(i)] =
            palette.colors[static_cast<std::size_t>(i % cycle)];
    }
}

ColorPanel::ColorPanel(ConfigFile config) : m_config(std::move(config)) {}

void ColorPanel::layout(const QRect& clientRect)
{
    m_clientRight = clientRect.left() + clientRect.width();
    m_clientTop = clientRect.top();
}

QRect ColorPanel::swatchRect(int position) const
{
    const int top = m_clientTop + kRowTop + kRowPitch * position;
    return QRect(QPoint(m_clientRight - 105, top),
                 QPoint(m_clientRight - 20 - 1, top + kRowHeight - 1));
}

QRect ColorPanel::labelRect(int position) const
{
    const int top = m_clientTop + kRowTop + kRowPitch * position;
    return QRect(QPoint(m_clientRight - 140, top),
                 QPoint(m_clientRight - 110 - 1, top + kRowHeight - 1));
}

int ColorPanel::usedEntries() const
{
    return std::clamp(m_colorCount, 0, ColorChangeSequence::kEntries);
}

std::span<const std::uint32_t> ColorPanel::displayColors() const
{
    return std::span<const std::uint32_t>(m_sequence.displayColors)
        .first(static_cast<std::size_t>(usedEntries()));
}

std::span<const std::int32_t> ColorPanel::colorNumbers() const
{
    return std::span<const std::int32_t>(m_sequence.colorNumbers)
        .first(static_cast<std::size_t>(usedEntries()));
}

void ColorPanel::paint(QPainter& painter) const
{
    painter.save();
    const int used = usedEntries();
    for (int i = 0; i < kCellsPerPage; ++i) {
        const int index = entryIndex(i);
        if (index >= used) {
            continue;
        }
        const QRect swatch = swatchRect(i);
        const QColor color = fromColorRef(m_sequence.displayColors[std::size_t(index)]);
        painter.fillRect(swatch, Qt::white);
        painter.setPen(QPen(color, 1));
        painter.setBrush(color);
        painter.drawRect(swatch.adjusted(0, 0, -1, -1));
        drawSunkenFrame(painter, swatch);
    }
    painter.setBackgroundMode(Qt::TransparentMode);
    painter.setPen(Qt::black);
    for (int i = 0; i < kCellsPerPage; ++i) {
        const int index = entryIndex(i);
        if (index >= used) {
            continue;
        }
        const QRect label = labelRect(i);
        painter.fillRect(label, Qt::white);
        painter.drawText(label, Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip,
                         QString::number(index + 1));
    }
    painter.restore();
}

bool ColorPanel::click(const QPoint& pos, QWidget* parent, const ColorPalette& palette)
{
    for (int i = 0; i < kCellsPerPage; ++i) {
        const int index = entryIndex(i);
        if (index >= usedEntries()) {
            return false;
        }
        if (!swatchRect(i).contains(pos)) {
            continue;
        }
        const std::optional<ColorChoice> choice =
            m_picker ? m_picker(parent, i, palette) : runPicker(parent, i, palette, m_config);
        // The picker is modal, but an import could still have shrunk the design meanwhile.
        if (!choice || index >= usedEntries()) {
            return false;
        }
        m_sequence.colorNumbers[std::size_t(index)] = choice->colorNumber;
        m_sequence.displayColors[std::size_t(index)] = choice->displayColor;
        return true;
    }
    return false;
}

bool ColorPanel::pageUp()
{
    if (m_page <= 1) {
        return false;
    }
    --m_page;
    return true;
}

bool ColorPanel::pageDown()
{
    if (m_page >= kLastPage) {
        return false;
    }
    ++m_page;
    return true;
}

void ColorPanel::designImported(int colorCount, const ColorPalette& palette)
{
    m_colorCount = std::max(colorCount, 0);
    resetDisplayColors(m_sequence, m_colorCount, palette);
}
