#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "cli/CliOptions.h"
#include "records/ProductionReport.h"
#include "records/RecordsWriter.h"

// Draws the report's picture into a PNG file; false when it could not be written.
using PngChartWriter = std::function<bool(const std::string& path, const ProductionReport& report,
                                          std::int64_t from, std::int64_t to)>;

// report: without a PNG writer (hoopwatch-cli), a PNG chart hands the whole command over to
// hoopwatch-render, which calls this again with one.
int runReport(const GlobalOptions& global, ArgList args, const PngChartWriter& png);

// Tells on stderr, once, that the history beside the settings cannot be used.
RecordsWriter::FaultFn historyFaultPrinter(const std::string& command, const std::string& path);
