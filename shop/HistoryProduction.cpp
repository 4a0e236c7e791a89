#include "shop/HistoryProduction.h"

#include <cmath>

#include "records/ProductionReport.h"
#include "records/RecordsDatabase.h"

std::optional<std::string> HistoryProduction::todayJson()
{
    const std::lock_guard lock(m_mutex);
    const std::int64_t now = wallClockMillis();
    if (m_readAt != 0 && now - m_readAt < kRefreshMs && now >= m_readAt)
        return m_json;
    m_readAt = now;
    m_json.reset();

    RecordsDatabase history;
    if (history.open(m_path, RecordsDatabase::Mode::ReadOnly) != RecordsFault::None)
        return m_json;
    ReportQuery query;
    query.since = localDayStart(now);
    query.until = now;
    query.bands = false;
    const auto report = readReport(history, query, now);
    if (!report)
        return m_json;
    const ReportFigures& total = report->total;
    std::string json = "{\"pieces\":" + std::to_string(total.runsFinished) +
                       ",\"stitches\":" + std::to_string(total.stitchesSewn) + ",\"utilisation\":";
    if (const auto share = total.utilisation())
        json += std::to_string(std::lround(*share * 100)) + "}";
    else
        json += "null}";
    m_json = std::move(json);
    return m_json;
}
