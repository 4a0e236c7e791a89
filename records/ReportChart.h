#pragma once

#include <cstdint>
#include <string>

#include "records/ProductionReport.h"

// What a chart is drawn on: SVG text here, a QPainter in the window and for PNG files.
// Coordinates in pixels from the top left; colours 0xRRGGBB.
class ChartCanvas
{
public:
    enum class Align { Left, Centre, Right };
    virtual ~ChartCanvas() = default;
    virtual void fillRect(double x, double y, double w, double h, std::uint32_t rgb) = 0;
    virtual void line(double x1, double y1, double x2, double y2, std::uint32_t rgb) = 0;
    // `y` is the text's baseline.
    virtual void text(double x, double y, const std::string& text, std::uint32_t rgb,
                      Align align, double pixelSize) = 0;
};

// The words of a chart, in the operator's language.
struct ChartLabels
{
    std::string stitches = "Stitches sewn";
    std::string utilisation = "Utilisation";
    std::string sewing = "Sewing";
    std::string standing = "Standing";
    std::string offline = "Offline";
    std::string noData = "Nothing recorded in this range";
};

inline constexpr std::uint32_t kSewingColour = 0x2E7D32;
inline constexpr std::uint32_t kStandingColour = 0xF9A825;
inline constexpr std::uint32_t kOfflineColour = 0x9E9E9E;
inline constexpr std::uint32_t kUtilisationColour = 0x1565C0;

// Bars of stitches sewn per machine, with each machine's utilisation as a second bar.
void drawMachineBars(ChartCanvas& canvas, const ProductionReport& report, double width,
                     double height, const ChartLabels& labels);
// One row per machine: sewing, standing and offline bands across [from, to).
void drawTimeline(ChartCanvas& canvas, const ProductionReport& report, std::int64_t from,
                  std::int64_t to, double width, double height, const ChartLabels& labels);
// Both, one above the other, as the report's picture; the height grows with the machines.
double reportChartHeight(const ProductionReport& report);
void drawReportChart(ChartCanvas& canvas, const ProductionReport& report, std::int64_t from,
                     std::int64_t to, double width, const ChartLabels& labels);

// The report's picture as an SVG document.
std::string reportChartSvg(const ProductionReport& report, std::int64_t from, std::int64_t to,
                           double width, const ChartLabels& labels = {});
