#pragma once

// A production history file filled with the sample fleet, for the benchmarks that read one.
#include <cstdint>
#include <string>
#include <vector>

#include "records/ProductionRecorder.h"
#include "records/ProductionSample.h"
#include "records/RecordsDatabase.h"

struct FilledHistory
{
    std::int64_t events = 0; // fleet events fed
    std::int64_t rows = 0;   // rows written
};

// Writes the sample's events and runs to a new history at `path` in batches of about 20,000
// rows, as the recording thread does.
inline FilledHistory fillHistory(const std::string& path, const ProductionSampleSettings& settings)
{
    FilledHistory out;
    RecordsDatabase db;
    db.open(path, RecordsDatabase::Mode::ReadWrite);
    std::vector<EventRow> events;
    std::vector<RunRow> runs;
    const auto flush = [&] {
        out.rows += std::int64_t(events.size() + runs.size());
        db.append(events, runs);
        events.clear();
        runs.clear();
    };
    ProductionRecorder recorder([&](std::vector<EventRow> e, std::vector<RunRow> r) {
        events.insert(events.end(), e.begin(), e.end());
        runs.insert(runs.end(), r.begin(), r.end());
        if (events.size() > 20000)
            flush();
    });
    out.events = feedProductionSample(recorder, settings);
    flush();
    db.close();
    return out;
}
