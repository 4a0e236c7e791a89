#include "records/ReportChart.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <set>


namespace {

constexpr std::uint32_t kInk = 0x212121;
constexpr std::uint32_t kGrid = 0xDDDDDD;
constexpr double kLabelWidth = 110;
constexpr double kRowHeight = 22;
// Room one machine's texts need: a name or figure under or over a bar, a line of a label.
constexpr double kTextRoom = 72;
constexpr double kLineHeight = 12;

std::string shortNumber(double value)
{
    char text[32];
    if (value >= 1e6)
        std::snprintf(text, sizeof text, "%.1fM", value / 1e6);
    else if (value >= 1e4)
        std::snprintf(text, sizeof text, "%.0fk", value / 1e3);
    else
        std::snprintf(text, sizeof text, "%.0f", value);
    return text;
}

std::vector<std::string> machinesOf(const ProductionReport& report)
{
    std::set<std::string> names;
    for (const auto& [machine, figures] : report.machines)
        names.insert(machine);
    for (const StateBand& band : report.bands)
        names.insert(band.machine);
    return {names.begin(), names.end()};
}

// A machine as the chart names it: the operator's name, else its address.
const std::string& shownName(const ProductionReport& report, const std::string& address)
{
    const auto found = report.names.find(address);
    return found == report.names.end() || found->second.empty() ? address : found->second;
}

class SvgCanvas : public ChartCanvas
{
public:
    std::string body;
    void fillRect(double x, double y, double w, double h, std::uint32_t rgb) override
    {
        char text[160];
        std::snprintf(text, sizeof text,
                      "<rect x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\" fill=\"#%06x\"/>\n",
                      x, y, std::max(0.0, w), std::max(0.0, h), rgb);
        body += text;
    }
    void line(double x1, double y1, double x2, double y2, std::uint32_t rgb) override
    {
        char text[160];
        std::snprintf(text, sizeof text,
                      "<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" stroke=\"#%06x\"/>\n",
                      x1, y1, x2, y2, rgb);
        body += text;
    }
    void text(double x, double y, const std::string& content, std::uint32_t rgb, Align align,
              double pixelSize) override
    {
        const char* anchor = align == Align::Left ? "start" : align == Align::Centre ? "middle" : "end";
        char head[200];
        std::snprintf(head, sizeof head,
                      "<text x=\"%.1f\" y=\"%.1f\" fill=\"#%06x\" font-size=\"%.0f\" "
                      "text-anchor=\"%s\">",
                      x, y, rgb, pixelSize, anchor);
        body += head + escaped(content) + "</text>\n";
    }

private:
    // Names come cleaned (valid UTF-8, no control characters); only XML's own marks remain.
    static std::string escaped(const std::string& text)
    {
        std::string out;
        for (const char c : text) {
            switch (c) {
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '&':
                out += "&amp;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                if (static_cast<unsigned char>(c) >= 0x20)
                    out += c;
            }
        }
        return out;
    }
};

} // namespace

void drawMachineBars(ChartCanvas& canvas, const ProductionReport& report, double width,
                     double height, const ChartLabels& labels)
{
    const std::vector<std::string> machines = machinesOf(report);
    canvas.text(8, 16, labels.stitches, kSewingColour, ChartCanvas::Align::Left, 13);
    canvas.text(width - 8, 16, labels.utilisation, kUtilisationColour, ChartCanvas::Align::Right, 13);
    if (machines.empty()) {
        canvas.text(width / 2, height / 2, labels.noData, kInk, ChartCanvas::Align::Centre, 13);
        return;
    }
    double most = 1;
    for (const auto& [machine, f] : report.machines)
        most = std::max(most, double(f.stitchesSewn));
    const double top = 28;
    const double bottom = height - 24;
    const double plot = std::max(10.0, bottom - top);
    canvas.line(8, bottom, width - 8, bottom, kInk);
    const double slot = (width - 16) / double(machines.size());
    const double bar = std::clamp(slot * 0.35, 0.5, 48.0);
    // Where the machines are too many for their texts, the figures over the bars are left out
    // and every so many is named, so that no two texts overlap.
    const bool figuresFit = slot >= kTextRoom;
    const std::size_t named = figuresFit ? 1 : std::size_t(std::ceil(kTextRoom / slot));
    for (std::size_t i = 0; i < machines.size(); ++i) {
        const auto found = report.machines.find(machines[i]);
        const ReportFigures figures = found == report.machines.end() ? ReportFigures{} : found->second;
        const double centre = 8 + slot * (double(i) + 0.5);
        const double h = plot * double(figures.stitchesSewn) / most;
        canvas.fillRect(centre - bar, bottom - h, bar, h, kSewingColour);
        if (figuresFit)
            canvas.text(centre - bar / 2, bottom - h - 3,
                        shortNumber(double(figures.stitchesSewn)), kInk,
                        ChartCanvas::Align::Centre, 11);
        if (const auto u = figures.utilisation()) {
            const double uh = plot * *u;
            canvas.fillRect(centre, bottom - uh, bar, uh, kUtilisationColour);
            if (figuresFit)
                canvas.text(centre + bar / 2, bottom - uh - 3, shortNumber(*u * 100) + "%", kInk,
                            ChartCanvas::Align::Centre, 11);
        }
        if (i % named == 0)
            canvas.text(centre, height - 8, shownName(report, machines[i]), kInk,
                        ChartCanvas::Align::Centre, 11);
    }
}

void drawTimeline(ChartCanvas& canvas, const ProductionReport& report, std::int64_t from,
                  std::int64_t to, double width, double height, const ChartLabels& labels)
{
    const std::vector<std::string> machines = machinesOf(report);
    const double left = kLabelWidth;
    const double right = width - 8;
    const double span = double(std::max<std::int64_t>(1, to - from));
    // The legend.
    double x = left;
    for (const auto& [name, colour] : {std::pair{labels.sewing, kSewingColour},
                                       std::pair{labels.standing, kStandingColour},
                                       std::pair{labels.offline, kOfflineColour}}) {
        canvas.fillRect(x, 6, 12, 12, colour);
        canvas.text(x + 16, 16, name, kInk, ChartCanvas::Align::Left, 12);
        x += 110;
    }
    const double top = 26;
    const double row = machines.empty() ? kRowHeight
                                        : std::min(kRowHeight, (height - top - 20) / double(machines.size()));
    // Hour marks, at most about twelve of them.
    const double hours = span / 3600000.0;
    const int step = std::max(1, int(std::ceil(hours / 12.0)));
    const std::int64_t firstHour = localDayStart(from);
    for (std::int64_t mark = firstHour; mark <= to; mark += std::int64_t{step} * 3600000) {
        if (mark < from)
            continue;
        const double mx = left + (right - left) * double(mark - from) / span;
        canvas.line(mx, top, mx, top + row * double(machines.size()), kGrid);
        canvas.text(mx, top + row * double(machines.size()) + 14, localDateTime(mark).substr(11),
                    kInk, ChartCanvas::Align::Centre, 10);
    }
    // Rows lower than a line of text are named every so many.
    const std::size_t named = std::size_t(std::ceil(kLineHeight / row));
    const double gap = std::min(2.0, row * 0.15);
    for (std::size_t i = 0; i < machines.size(); ++i) {
        const double y = top + row * double(i);
        if (i % named == 0)
            canvas.text(8, y + std::max(row, kLineHeight) * 0.7, shownName(report, machines[i]),
                        kInk, ChartCanvas::Align::Left, 11);
        for (const StateBand& band : report.bands) {
            if (band.machine != machines[i] || band.to <= from || band.from >= to)
                continue;
            const std::uint32_t colour = band.state == MachineState::Sewing   ? kSewingColour
                                         : band.state == MachineState::Offline ? kOfflineColour
                                                                               : kStandingColour;
            const double bx = left + (right - left) * double(std::max(band.from, from) - from) / span;
            const double bw = (right - left) * double(std::min(band.to, to) - std::max(band.from, from)) / span;
            canvas.fillRect(bx, y + gap, std::max(bw, 0.5), row - 2 * gap, colour);
        }
    }
}

double reportChartHeight(const ProductionReport& report)
{
    return 260 + 60 + kRowHeight * double(std::max<std::size_t>(1, machinesOf(report).size()));
}

void drawReportChart(ChartCanvas& canvas, const ProductionReport& report, std::int64_t from,
                     std::int64_t to, double width, const ChartLabels& labels)
{
    const double height = reportChartHeight(report);
    canvas.fillRect(0, 0, width, height, 0xFFFFFF);
    drawMachineBars(canvas, report, width, 250, labels);

    class Shifted : public ChartCanvas
    {
    public:
        Shifted(ChartCanvas& inner, double dy) : m_inner(inner), m_dy(dy) {}
        void fillRect(double x, double y, double w, double h, std::uint32_t rgb) override
        {
            m_inner.fillRect(x, y + m_dy, w, h, rgb);
        }
        void line(double x1, double y1, double x2, double y2, std::uint32_t rgb) override
        {
            m_inner.line(x1, y1 + m_dy, x2, y2 + m_dy, rgb);
        }
        void text(double x, double y, const std::string& t, std::uint32_t rgb, Align a,
                  double size) override
        {
            m_inner.text(x, y + m_dy, t, rgb, a, size);
        }

    private:
        ChartCanvas& m_inner;
        double m_dy;
    } below(canvas, 260);
    drawTimeline(below, report, from, to, width, height - 260, labels);
}

std::string reportChartSvg(const ProductionReport& report, std::int64_t from, std::int64_t to,
                           double width, const ChartLabels& labels)
{
    SvgCanvas canvas;
    drawReportChart(canvas, report, from, to, width, labels);
    char head[256];
    const double height = reportChartHeight(report);
    std::snprintf(head, sizeof head,
                  "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%.0f\" height=\"%.0f\" "
                  "viewBox=\"0 0 %.0f %.0f\" font-family=\"sans-serif\">\n",
                  width, height, width, height);
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" + std::string(head) + canvas.body +
           "</svg>\n";
}
