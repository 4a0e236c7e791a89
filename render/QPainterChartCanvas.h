#pragma once

#include "records/ReportChart.h"

class QPainter;

// The report's charts on a QPainter: the window's Production view and PNG files.
class QPainterChartCanvas : public ChartCanvas
{
public:
    explicit QPainterChartCanvas(QPainter& painter) : m_painter(painter) {}
    void fillRect(double x, double y, double w, double h, std::uint32_t rgb) override;
    void line(double x1, double y1, double x2, double y2, std::uint32_t rgb) override;
    void text(double x, double y, const std::string& text, std::uint32_t rgb, Align align,
              double pixelSize) override;

private:
    QPainter& m_painter;
};

// The report's picture as a PNG file; false when it could not be written.
bool writeReportChartPng(const std::string& path, const ProductionReport& report,
                         std::int64_t from, std::int64_t to, const ChartLabels& labels = {});
