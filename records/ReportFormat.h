#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "records/ProductionReport.h"

// The report as the tool prints it and the window exports it.
std::string reportText(const ProductionReport& report);
// One header line, then one line per machine and period, then a line "*" with the totals.
std::string reportCsv(const ProductionReport& report);
// One JSON object: "rows", "machines" and "total".
std::string reportJson(const ProductionReport& report);
// The runs as a table: one header line, one line per run.
std::string runsCsv(const std::vector<RunRow>& runs);
// A CSV field, quoted when it holds a separator, quote or line break; a leading =, +, - or @
// is set off with a quote so that a spreadsheet never runs it as a formula.
std::string csvField(std::string_view text);
