#include "ui/CColorSetDlg.h"

#include <algorithm>

#include <QMouseEvent>
#include <QPainter>

#include "app/UiTexts.h"
#include "ui/DialogUnits.h"
#include "ui/QtTexts.h"

namespace {

QColor fromColorRef(std::uint32_t value)
{
    return QColor(int(value & 0xFF), int((value >> 8) & 0xFF), int((value >> 16) & 0xFF));
}

QRect fromEdges(int left, int top, int right, int bottom)
{
    return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
}

} // namespace

CColorSetDlg::CColorSetDlg(QWidget* parent, int position, const ColorPalette& palette,
                           const ConfigFile& config)
    : QDialog(parent), m_palette(palette), m_position(position),
      // The picker alone reads the language with default 0, so a missing key gives English.
      m_language(readLanguage(config, "0"))
{
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    const QSize size = dialogUnitsFor(font()).size(96, 288);
    for (int k = 0; k < 15; ++k) {
        const auto at = static_cast<std::size_t>(k);
        m_swatches[at] = fromEdges(50, 20 + 30 * k, 130, 45 + 30 * k);
        m_labels[at] = fromEdges(5, 20 + 30 * k, 65, 45 + 30 * k);
    }
    const QString title = qtText(TextId::PickerCaption, m_language) + QString::number(position + 1);
    setWindowTitle(title);
    // The title bar holds an icon and a close button beside the caption, which title bars
    // usually draw in bold.
    QFont titleFont = font();
    titleFont.setBold(true);
    const QFontMetrics metrics(titleFont);
    setFixedSize(std::max(size.width(), metrics.horizontalAdvance(title) + 6 * metrics.height()),
                 size.height());
}

void CColorSetDlg::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setBackgroundMode(Qt::TransparentMode);
    // The count comes from the machine unchecked; only the 15 colours of the table exist.
    const int shown = std::clamp(m_palette.count, 0, static_cast<int>(m_palette.colors.size()));
    for (int k = 0; k < shown; ++k) {
        const auto at = static_cast<std::size_t>(k);
        const QRect swatch = m_swatches[at];
        const QColor color = fromColorRef(m_palette.colors[at]);
        painter.setPen(QPen(color, 1));
        painter.setBrush(color);
        painter.drawRect(swatch.adjusted(0, 0, -1, -1));
        const int right = swatch.left() + swatch.width() - 1;
        const int bottom = swatch.top() + swatch.height() - 1;
        painter.setPen(Qt::black);
        painter.drawLine(swatch.left(), swatch.top(), right, swatch.top());
        painter.drawLine(swatch.left(), swatch.top(), swatch.left(), bottom);
        painter.setPen(Qt::white);
        painter.drawLine(swatch.left(), bottom, right, bottom);
        painter.drawLine(right, swatch.top(), right, bottom);
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(m_labels[at], Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip,
                         QString::number(k + 1) + QLatin1Char(':'));
    }
}

void CColorSetDlg::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QDialog::mousePressEvent(event);
        return;
    }
    // Every one of the 15 rectangles picks its colour number, painted or not.
    const QPoint pos = event->position().toPoint();
    for (int k = 0; k < 15; ++k) {
        const auto at = static_cast<std::size_t>(k);
        if (m_swatches[at].contains(pos)) {
            m_displayColor = m_palette.colors[at];
            m_colorNumber = k + 1;
            m_chosen = true;
            done(0);
            return;
        }
    }
}
