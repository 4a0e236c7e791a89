#include "render/QPainterChartCanvas.h"

#include <cmath>

#include <QFont>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QString>

namespace {

QColor colourOf(std::uint32_t rgb)
{
    return QColor(int((rgb >> 16) & 0xFF), int((rgb >> 8) & 0xFF), int(rgb & 0xFF));
}

} // namespace

void QPainterChartCanvas::fillRect(double x, double y, double w, double h, std::uint32_t rgb)
{
    m_painter.fillRect(QRectF(x, y, w, h), colourOf(rgb));
}

void QPainterChartCanvas::line(double x1, double y1, double x2, double y2, std::uint32_t rgb)
{
    m_painter.setPen(QPen(colourOf(rgb), 1));
    m_painter.drawLine(QPointF(x1, y1), QPointF(x2, y2));
}

void QPainterChartCanvas::text(double x, double y, const std::string& text, std::uint32_t rgb,
                               Align align, double pixelSize)
{
    QFont font = m_painter.font();
    font.setPixelSize(std::max(1, int(std::lround(pixelSize))));
    m_painter.setFont(font);
    m_painter.setPen(colourOf(rgb));
    const QString s = QString::fromUtf8(text.data(), qsizetype(text.size()));
    const double width = QFontMetricsF(font).horizontalAdvance(s);
    const double left = align == Align::Left ? x : align == Align::Centre ? x - width / 2 : x - width;
    m_painter.drawText(QPointF(left, y), s);
}

bool writeReportChartPng(const std::string& path, const ProductionReport& report,
                         std::int64_t from, std::int64_t to, const ChartLabels& labels)
{
    constexpr int kWidth = 900;
    QImage image(kWidth, int(std::ceil(reportChartHeight(report))), QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterChartCanvas canvas(painter);
        drawReportChart(canvas, report, from, to, kWidth, labels);
    }
    return image.save(QString::fromStdString(path), "PNG");
}
