#include "records/ReportFormat.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include "app/MachineTable.h"
#include "app/TextWidth.h"
#include "control/JsonText.h"

namespace {

std::string number(double value, int decimals)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string minutes(double seconds)
{
    return number(seconds / 60.0, 1);
}

std::string utilisationText(const ReportFigures& f)
{
    const auto u = f.utilisation();
    return u ? number(*u * 100.0, 1) : std::string();
}

std::string piecesText(const ReportFigures& f)
{
    std::string out;
    for (const auto& [design, count] : f.pieces) {
        if (!out.empty())
            out += "; ";
        out += design + " x" + std::to_string(count);
    }
    return out;
}

// The operator's name for a machine, empty when it has none.
const std::string& nameOf(const ProductionReport& report, const std::string& address)
{
    static const std::string none;
    const auto found = report.names.find(address);
    return found == report.names.end() ? none : found->second;
}

std::string jsonName(const ProductionReport& report, const std::string& address)
{
    const std::string& name = nameOf(report, address);
    return name.empty() ? std::string("null") : jsonString(name);
}

std::string csvLine(const std::string& machine, const std::string& name, const std::string& period,
                    const ReportFigures& f)
{
    return csvField(machine) + ',' + csvField(name) + ',' + csvField(period) + ',' +
           std::to_string(f.runsFinished) +
           ',' + csvField(piecesText(f)) + ',' + std::to_string(f.stitchesSewn) + ',' +
           minutes(f.sewingSeconds) + ',' + minutes(f.standingSeconds) + ',' +
           minutes(f.offlineSeconds) + ',' + utilisationText(f) + '\n';
}

std::string figuresJson(const ReportFigures& f)
{
    std::string pieces;
    for (const auto& [design, count] : f.pieces)
        pieces += (pieces.empty() ? "" : ",") + jsonString(design) + ':' + std::to_string(count);
    const auto u = f.utilisation();
    return "\"runsFinished\":" + std::to_string(f.runsFinished) + ",\"pieces\":{" + pieces +
           "},\"stitchesSewn\":" + std::to_string(f.stitchesSewn) +
           ",\"sewingMinutes\":" + minutes(f.sewingSeconds) +
           ",\"standingMinutes\":" + minutes(f.standingSeconds) +
           ",\"offlineMinutes\":" + minutes(f.offlineSeconds) +
           ",\"utilisation\":" + (u ? number(*u, 4) : std::string("null"));
}

} // namespace

std::string csvField(std::string_view text)
{
    std::string field(text);
    if (!field.empty() && (field[0] == '=' || field[0] == '+' || field[0] == '-' || field[0] == '@'))
        field.insert(field.begin(), '\'');
    if (field.find_first_of(",\"\r\n") == std::string::npos)
        return field;
    std::string quoted = "\"";
    for (const char c : field) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

std::string reportCsv(const ProductionReport& report)
{
    std::string out = "machine,name,period,runs finished,pieces,stitches sewn,sewing min,"
                      "standing min,offline min,utilisation %\n";
    for (const ReportRow& row : report.rows)
        out += csvLine(row.machine, nameOf(report, row.machine), row.period, row.figures);
    out += csvLine("*", "", "", report.total);
    return out;
}

std::string reportJson(const ProductionReport& report)
{
    std::string out = "{\"rows\":[";
    for (std::size_t i = 0; i < report.rows.size(); ++i) {
        const ReportRow& row = report.rows[i];
        out += (i ? ",{" : "{") + std::string("\"machine\":") + jsonString(row.machine) +
               ",\"name\":" + jsonName(report, row.machine) + ",\"period\":" + jsonString(row.period) + ',' + figuresJson(row.figures) + '}';
    }
    out += "],\"machines\":{";
    bool first = true;
    for (const auto& [machine, figures] : report.machines) {
        out += (first ? "" : ",") + jsonString(machine) + ":{\"name\":" +
               jsonName(report, machine) + ',' + figuresJson(figures) + '}';
        first = false;
    }
    return out + "},\"total\":{" + figuresJson(report.total) + "}}\n";
}

std::string reportText(const ProductionReport& report)
{
    const auto label = [&](const std::string& address) {
        return machineLabel(address, nameOf(report, address));
    };
    // Machine and period columns as wide as their widest cell, in terminal columns (a Chinese
    // name takes two a character).
    std::size_t machineWidth = 15;
    std::size_t periodWidth = 22;
    for (const auto& [machine, figures] : report.machines)
        machineWidth = std::max(machineWidth, displayWidth(label(machine)));
    for (const ReportRow& row : report.rows)
        periodWidth = std::max(periodWidth, displayWidth(row.period));
    std::string out;
    const auto add = [&](const std::string& machine, const std::string& period,
                         const std::string& figures) {
        out += padToWidth(machine, machineWidth) + ' ' + padToWidth(period, periodWidth) + ' ' +
               figures;
    };
    char line[512];
    std::snprintf(line, sizeof line, "%5s %10s %9s %9s %9s %6s  %s\n", "runs", "stitches",
                  "sewing", "standing", "offline", "util", "pieces");
    add("machine", "period", line);
    const auto addFigures = [&](const std::string& machine, const std::string& period,
                                const ReportFigures& f) {
        const std::string u = utilisationText(f);
        std::snprintf(line, sizeof line, "%5d %10" PRId64 " %7sm %7sm %7sm %5s%%  ",
                      f.runsFinished, f.stitchesSewn, minutes(f.sewingSeconds).c_str(),
                      minutes(f.standingSeconds).c_str(), minutes(f.offlineSeconds).c_str(),
                      u.empty() ? "-" : u.c_str());
        add(machine, period, line + piecesText(f) + '\n');
    };
    for (const ReportRow& row : report.rows)
        addFigures(label(row.machine), row.period, row.figures);
    for (const auto& [machine, figures] : report.machines)
        addFigures(label(machine), "all", figures);
    addFigures("total", "", report.total);
    return out;
}

std::string runsCsv(const std::vector<RunRow>& runs)
{
    std::string out = "machine,name,design,stitches,colours,checksum,started,ended,finished,"
                      "stitches sewn,sewing min,standing min,stops\n";
    for (const RunRow& r : runs) {
        out += csvField(r.address) + ',' + csvField(r.machineName) + ',' +
               csvField(r.design.name) + ',' +
               std::to_string(r.design.stitches) + ',' + std::to_string(r.design.colors) + ',' +
               csvField(r.design.checksum) + ',' + localDateTime(r.started) + ',' +
               (r.ended ? localDateTime(r.ended) : std::string()) + ',' +
               (r.finished ? "yes" : "no") + ',' + std::to_string(r.stitchesSewn) + ',' +
               minutes(r.sewingSeconds) + ',' + minutes(r.standingSeconds) + ',' +
               std::to_string(r.stops) + '\n';
    }
    return out;
}
