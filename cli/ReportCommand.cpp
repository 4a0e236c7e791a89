// report: what every machine sewed, from the production history beside the settings file.
#include "cli/ReportCommand.h"

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "app/ConfigFile.h"
#include "app/Utf8Path.h"
#include "cli/Commands.h"
#include "cli/DesignFile.h"
#include "control/FleetStore.h"
#include "records/ProductionRecording.h"
#include "records/RecordsDatabase.h"
#include "records/ReportChart.h"
#include "records/ReportFormat.h"

namespace {

constexpr int kExitBadMachine = 3;

const char* const kReportHelp =
    "usage: hoopwatch-cli report [--since DATE] [--until DATE] [--machine A]\n"
    "                            [--by day|shift|design] [--csv|--json] [--chart OUT.svg|OUT.png]\n"
    "Per machine and period: runs finished, pieces (finished runs of each design), stitches\n"
    "sewn, sewing, standing and offline time, utilisation (sewing / time online); totals.\n"
    "  --since DATE   from YYYY-MM-DD or \"YYYY-MM-DD HH:MM\" local time (default: today 00:00)\n"
    "  --until DATE   up to that moment; a date alone includes its whole day (default: now)\n"
    "  --machine A    one machine's address\n"
    "  --by           day (default), shift (Z62History/Shifts in the settings file, default\n"
    "                 08:00-20:00,20:00-08:00) or design\n"
    "  --csv, --json  comma-separated lines or one JSON object instead of the table\n"
    "  --chart FILE   also draws stitches, utilisation and a timeline per machine\n"
    "Exit: 0 done, 1 no history, or one that cannot be read, or a chart that cannot be\n"
    "written, 2 usage, 3 --machine is not an IPv4 address.\n";

bool hasSuffix(const std::string& path, const std::string& suffix)
{
    if (path.size() < suffix.size())
        return false;
    for (std::size_t i = 0; i < suffix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(path[path.size() - suffix.size() + i])) !=
            suffix[i])
            return false;
    return true;
}

bool writeSvg(const std::string& path, const std::string& svg)
{
    const std::filesystem::path file = pathFromUtf8(path);
    std::error_code error;
    if (file.empty() ||
        (std::filesystem::exists(file, error) && !std::filesystem::is_regular_file(file, error)))
        return false;
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(svg.data(), static_cast<std::streamsize>(svg.size()));
    out.close();
    return static_cast<bool>(out);
}

} // namespace

RecordsWriter::FaultFn historyFaultPrinter(const std::string& command, const std::string& path)
{
    return [command, path](RecordsFault fault, const std::string& detail) {
        // A build without the history (the cross-built tool) has nothing to tell at every run;
        // report says it once asked.
        if (fault == RecordsFault::NotAvailable)
            return;
        if (fault == RecordsFault::Overflow) {
            std::fprintf(stderr, "hoopwatch-cli %s: the production history %s: %s\n",
                         command.c_str(), path.c_str(), std::string(recordsFaultText(fault)).c_str());
            return;
        }
        std::fprintf(stderr,
                     "hoopwatch-cli %s: the production history %s cannot be used (%s%s%s); "
                     "nothing is recorded there\n",
                     command.c_str(), path.c_str(), std::string(recordsFaultText(fault)).c_str(),
                     detail.empty() ? "" : ": ", detail.c_str());
    };
}

int cmdReport(const GlobalOptions& global, ArgList args)
{
    return runReport(global, std::move(args), {});
}

int runReport(const GlobalOptions& global, ArgList args, const PngChartWriter& png)
{
    const std::vector<std::string> original = args.rest();
    if (args.takeFlag("--help")) {
        std::fputs(kReportHelp, stdout);
        return kExitDone;
    }
    const std::int64_t now = wallClockMillis();
    ReportQuery query;
    query.since = localDayStart(now);
    query.until = now;
    bool bad = false;
    const auto date = [&](const char* option, bool isEnd) -> std::optional<std::int64_t> {
        const auto v = args.take(option);
        if (!v)
            return std::nullopt;
        const auto at = parseLocalDate(*v);
        if (!at) {
            std::fprintf(stderr, "hoopwatch-cli report: %s needs YYYY-MM-DD or \"YYYY-MM-DD HH:MM\", not '%s'\n",
                         option, v->c_str());
            bad = true;
            return std::nullopt;
        }
        return isEnd && v->size() == 10 ? localDayStart(*at, 1) : *at;
    };
    if (const auto since = date("--since", false))
        query.since = *since;
    if (const auto until = date("--until", true))
        query.until = *until;
    std::optional<std::string> machine = args.take("--machine");
    if (const auto by = args.take("--by")) {
        if (*by == "day")
            query.by = ReportGrouping::Day;
        else if (*by == "shift")
            query.by = ReportGrouping::Shift;
        else if (*by == "design")
            query.by = ReportGrouping::Design;
        else {
            std::fprintf(stderr, "hoopwatch-cli report: --by takes day, shift or design, not '%s'\n",
                         by->c_str());
            bad = true;
        }
    }
    const bool csv = args.takeFlag("--csv");
    const bool json = args.takeFlag("--json");
    const std::optional<std::string> chart = args.take("--chart");
    if (csv && json) {
        std::fputs("hoopwatch-cli report: choose --csv or --json, not both\n", stderr);
        bad = true;
    }
    if (chart && !hasSuffix(*chart, ".svg") && !hasSuffix(*chart, ".png")) {
        std::fprintf(stderr, "hoopwatch-cli report: --chart writes .svg or .png, not '%s'\n",
                     chart->c_str());
        bad = true;
    }
    if (!bad && query.until <= query.since) {
        std::fputs("hoopwatch-cli report: --until must lie after --since\n", stderr);
        bad = true;
    }
    if (auto u = args.unknownOption()) {
        std::fprintf(stderr, "hoopwatch-cli report: unknown option %s\n", u->c_str());
        bad = true;
    } else if (!args.rest().empty()) {
        std::fprintf(stderr, "hoopwatch-cli report: unexpected argument %s\n",
                     args.rest().front().c_str());
        bad = true;
    }
    if (bad) {
        std::fputs(kReportHelp, stderr);
        return kExitUsage;
    }
    if (machine) {
        const auto canonical = canonicalAddress(*machine);
        if (!canonical) {
            std::fprintf(stderr, "hoopwatch-cli report: --machine needs an IPv4 address, not '%s'\n",
                         machine->c_str());
            return kExitBadMachine;
        }
        query.machine = *canonical;
    }
    const std::string configPath = resolveConfigPath(global.configPath);
    // Only hoopwatch-render draws PNG; it runs this same command with a writer.
    if (chart && hasSuffix(*chart, ".png") && !png) {
        std::vector<std::string> words = {"report", "--config", configPath};
        words.insert(words.end(), original.begin(), original.end());
        return cmdRender(global, ArgList(words));
    }

    query.bands = chart.has_value();
    const ConfigFile config(configPath);
    const HistorySettings history = readHistorySettings(config);
    if (query.by == ReportGrouping::Shift) {
        const auto shifts = parseShifts(history.shifts);
        if (!shifts) {
            std::fprintf(stderr,
                         "hoopwatch-cli report: Z62History/Shifts in %s is '%s'; it needs "
                         "non-overlapping HH:MM-HH:MM shifts separated by commas\n",
                         configPath.c_str(), history.shifts.c_str());
            return kExitUnreadable;
        }
        query.shifts = *shifts;
    }
    RecordsDatabase database;
    std::error_code error;
    if (!std::filesystem::exists(pathFromUtf8(history.path), error)) {
        std::fprintf(stderr, "hoopwatch-cli report: there is no production history %s yet\n",
                     history.path.c_str());
        return kExitUnreadable;
    }
    const RecordsFault fault = database.open(history.path, RecordsDatabase::Mode::ReadOnly);
    if (fault != RecordsFault::None) {
        std::fprintf(stderr, "hoopwatch-cli report: the production history %s cannot be read (%s%s%s)\n",
                     history.path.c_str(), std::string(recordsFaultText(fault)).c_str(),
                     database.detail().empty() ? "" : ": ", database.detail().c_str());
        return kExitUnreadable;
    }
    std::string detail;
    const auto read = readReport(database, query, now, &detail);
    if (!read) {
        std::fprintf(stderr, "hoopwatch-cli report: the production history %s cannot be read (%s)\n",
                     history.path.c_str(), detail.c_str());
        return kExitUnreadable;
    }
    const ProductionReport& report = *read;
    const std::string text = csv ? reportCsv(report) : json ? reportJson(report) : reportText(report);
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
    if (chart) {
        const std::int64_t end = std::min(query.until, now);
        const bool written = hasSuffix(*chart, ".png")
                                 ? png(*chart, report, query.since, end)
                                 : writeSvg(*chart, reportChartSvg(report, query.since, end, 900));
        if (!written) {
            std::fprintf(stderr, "hoopwatch-cli report: the chart %s could not be written\n",
                         chart->c_str());
            return kExitUnreadable;
        }
    }
    return kExitDone;
}
