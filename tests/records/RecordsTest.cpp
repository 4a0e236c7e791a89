// The production history: the file it refuses, its upgrade, the rows the recorder derives
// from the fleet's events, the writer thread and retention.
#include "records/RecordsDatabase.h"

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include "records/ProductionRecorder.h"
#include "records/ProductionReport.h"
#include "records/RecordsWriter.h"
#include "tests/support/TempFolder.h"

namespace fs = std::filesystem;

namespace {

void execSql(const std::string& path, const std::string& sql)
{
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK)
        << sqlite3_errmsg(db);
    sqlite3_close(db);
}

EventRow event(std::int64_t at, RecordKind kind, const std::string& address, int stitch = 0)
{
    return {at, kind, address, {}, {"flower.dst", 285, 8, "0badf00d"}, stitch};
}

} // namespace

TEST(RecordsDatabase, FilesThatAreNotOursAreRefusedAndLeftAlone)
{
    TempFolder folder;
    struct Case
    {
        const char* name;
        std::function<void(const std::string&)> make;
        RecordsFault fault;
    };
    const Case cases[] = {
        {"folder", [](const std::string& p) { fs::create_directory(p); }, RecordsFault::NotRegular},
        {"text", [](const std::string& p) { writeBytes(p, std::string(3000, 'x')); },
         RecordsFault::Foreign},
        {"foreign", [](const std::string& p) { execSql(p, "CREATE TABLE notes(t TEXT);"); },
         RecordsFault::Foreign},
        {"newer",
         [](const std::string& p) {
             execSql(p, "PRAGMA application_id=1213157463; PRAGMA user_version=99;"
                        "CREATE TABLE future(x);");
         },
         RecordsFault::Newer},
        {"damaged",
         [](const std::string& p) {
             {
                 RecordsDatabase db;
                 ASSERT_EQ(db.open(p, RecordsDatabase::Mode::ReadWrite), RecordsFault::None);
                 std::vector<EventRow> rows;
                 for (int i = 0; i < 2000; ++i)
                     rows.push_back(event(i, RecordKind::Started, "127.0.0.9", i));
                 ASSERT_TRUE(db.append(rows, {}));
                 execSql(p, "PRAGMA wal_checkpoint(TRUNCATE)");
             }
             std::string bytes = readBytes(p);
             ASSERT_GT(bytes.size(), 20000u);
             // Scribble over the pages of the table's b-tree, past the header.
             for (std::size_t i = 4096 * 2; i < bytes.size(); i += 7)
                 bytes[i] = char(0xA5);
             writeBytes(p, bytes);
             fs::remove(p + "-wal");
             fs::remove(p + "-shm");
         },
         RecordsFault::Damaged},
    };
    for (const Case& c : cases) {
        const std::string path = folder.file(std::string(c.name) + ".sqlite");
        c.make(path);
        const bool isFile = fs::is_regular_file(path);
        const std::string before = isFile ? readBytes(path) : std::string();
        RecordsDatabase db;
        EXPECT_EQ(db.open(path, RecordsDatabase::Mode::ReadWrite, true), c.fault) << c.name;
        EXPECT_FALSE(db.isOpen()) << c.name;
        db.close();
        if (isFile) {
            EXPECT_EQ(readBytes(path), before) << c.name;
        }
    }
}

TEST(RecordsDatabase, AVersionOneFileIsUpgradedWithItsRowsAndTheirHours)
{
    TempFolder folder;
    const std::string path = folder.file("hoopwatch-history.sqlite");
    // The first layout the program wrote, as files in shops still hold it (times in seconds).
    execSql(path,
            "CREATE TABLE machines(id INTEGER PRIMARY KEY, address TEXT NOT NULL,"
            " name TEXT NOT NULL DEFAULT '', UNIQUE(address, name));"
            "CREATE TABLE designs(id INTEGER PRIMARY KEY, name TEXT NOT NULL, stitches INTEGER"
            " NOT NULL, colors INTEGER NOT NULL, checksum TEXT NOT NULL,"
            " UNIQUE(name, stitches, colors, checksum));"
            "CREATE TABLE events(id INTEGER PRIMARY KEY, at INTEGER NOT NULL, kind INTEGER NOT"
            " NULL, machine INTEGER NOT NULL, design INTEGER, stitch INTEGER NOT NULL);"
            "CREATE TABLE runs(id INTEGER PRIMARY KEY, machine INTEGER NOT NULL, design INTEGER,"
            " started INTEGER NOT NULL, ended INTEGER NOT NULL, finished INTEGER NOT NULL,"
            " sewn INTEGER NOT NULL, sewing_ms INTEGER NOT NULL, standing_ms INTEGER NOT NULL,"
            " stops INTEGER NOT NULL);"
            "CREATE TABLE meta(key TEXT PRIMARY KEY, value TEXT NOT NULL);"
            // The same machine under two names was two machines then.
            "INSERT INTO machines VALUES(1, '127.0.0.5', ''), (2, '127.0.0.5', 'Left');"
            "INSERT INTO events VALUES(1, 5, 1, 1, NULL, 0), (2, 65, 3, 2, NULL, 285);"
            "PRAGMA application_id=1213157463; PRAGMA user_version=1;");
    RecordsDatabase db;
    ASSERT_EQ(db.open(path, RecordsDatabase::Mode::ReadWrite), RecordsFault::None);
    const auto rows = db.events({});
    ASSERT_TRUE(rows);
    ASSERT_EQ(rows->size(), 2u);
    EXPECT_EQ((*rows)[1].kind, RecordKind::Finished);
    EXPECT_EQ((*rows)[1].stitch, 285);
    EXPECT_EQ((*rows)[0].machineName, "Left");
    // The hours of the events it held: one minute sewing 285 stitches, one piece.
    const auto hours = db.hours({0, 3600 * 1000, ""});
    ASSERT_TRUE(hours);
    ASSERT_EQ(hours->machines.size(), 1u);
    ASSERT_EQ(hours->rows.size(), 1u);
    EXPECT_EQ(hours->rows[0].totals, (HourTotals{60000, 0, 0, 285, 1}));
    db.close();
    execSql(path, "CREATE TEMP TABLE probe AS SELECT 1;"); // the file is still plain SQLite
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &raw), SQLITE_OK);
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(raw, "SELECT user_version FROM pragma_user_version", -1, &s, nullptr);
    ASSERT_EQ(sqlite3_step(s), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(s, 0), RecordsDatabase::kSchemaVersion);
    sqlite3_finalize(s);
    sqlite3_close(raw);
}

TEST(ProductionRecorder, EventsBecomeRunsWithTheirTimesStitchesAndStops)
{
    std::vector<EventRow> events;
    std::vector<RunRow> runs;
    ProductionRecorder recorder([&](std::vector<EventRow> e, std::vector<RunRow> r) {
        events.insert(events.end(), e.begin(), e.end());
        runs.insert(runs.end(), r.begin(), r.end());
    });
    const std::string a = "127.0.0.11";
    FleetMachine seen;
    seen.address = a;
    seen.name = "左一";
    seen.design = SentDesign{"flower.dst", 285, 8, 1, 0};
    const auto at = [&](FleetEventKind kind, std::int64_t ms, int stitch, int work) {
        seen.stitch = stitch;
        seen.work = static_cast<std::uint8_t>(work);
        recorder.onEvent({kind, a, false}, seen, ms);
    };
    recorder.onTransfer(a, {"flower.dst", 285, 8, 1, 0}, "0badf00d", 0);
    at(FleetEventKind::Started, 1000, 0, 1);
    at(FleetEventKind::Stopped, 11000, 100, 0);    // 10 s sewing, 100 stitches
    at(FleetEventKind::Started, 41000, 100, 1);    // 30 s standing
    at(FleetEventKind::WentOffline, 51000, 150, 1); // 10 s more, 50 stitches
    at(FleetEventKind::CameBack, 81000, 160, 1);    // offline time is neither
    at(FleetEventKind::Finished, 101000, 285, 1);   // 20 s, 125 stitches
    // A second run is abandoned by the next transfer.
    at(FleetEventKind::Started, 200000, 0, 1);
    recorder.onTransfer(a, {"star.dst", 90, 3, 2, 0}, "feedbeef", 230000);
    recorder.close(300000);

    ASSERT_EQ(runs.size(), 2u); // each written once, as it ends
    const RunRow& first = runs.front();
    EXPECT_TRUE(first.finished);
    EXPECT_EQ(first.ended, 101000);
    EXPECT_EQ(first.stitchesSewn, 100 + 50 + 125);
    EXPECT_DOUBLE_EQ(first.sewingSeconds, 40.0);
    EXPECT_DOUBLE_EQ(first.standingSeconds, 30.0);
    EXPECT_EQ(first.stops, 1);
    EXPECT_EQ(first.design, (RecordDesign{"flower.dst", 285, 8, "0badf00d"}));
    EXPECT_EQ(first.machineName, "左一");
    const RunRow& last = runs.back();
    EXPECT_EQ(last.started, 200000);
    EXPECT_EQ(last.ended, 230000);
    EXPECT_FALSE(last.finished);
    std::vector<RecordKind> kinds;
    for (const EventRow& e : events)
        kinds.push_back(e.kind);
    EXPECT_EQ(kinds, (std::vector<RecordKind>{
                         RecordKind::TransferAcknowledged, RecordKind::Started,
                         RecordKind::Stopped, RecordKind::Started, RecordKind::WentOffline,
                         RecordKind::CameBack, RecordKind::Started, RecordKind::Finished,
                         RecordKind::Started,
                         RecordKind::TransferAcknowledged, RecordKind::Unwatched}));
    EXPECT_EQ(events.back().design.name, "star.dst");
    EXPECT_EQ(events.back().machineName, "左一");
}

TEST(RecordsWriter, WritesOffTheCallerKeepsDaysAndStopsOnceOnABadFile)
{
    TempFolder folder;
    const std::string path = folder.file("hoopwatch-history.sqlite");
    const std::int64_t now = wallClockMillis();
    const std::int64_t day = 24LL * 3600 * 1000;
    {
        RecordsDatabase db;
        ASSERT_EQ(db.open(path, RecordsDatabase::Mode::ReadWrite), RecordsFault::None);
        ASSERT_TRUE(db.append({event(now - 3 * day, RecordKind::Started, "127.0.0.1"),
                               event(now - day / 2, RecordKind::Stopped, "127.0.0.1")},
                              {}));
    }
    int faults = 0;
    {
        RecordsWriter writer({path, 2}, [&](RecordsFault, const std::string&) { ++faults; });
        EXPECT_TRUE(writer.push({event(now, RecordKind::Finished, "127.0.0.1", 285)}, {}));
        writer.flush();
    }
    RecordsDatabase db;
    ASSERT_EQ(db.open(path, RecordsDatabase::Mode::ReadOnly), RecordsFault::None);
    const auto rows = db.events({now - 10 * day, INT64_MAX, ""});
    ASSERT_TRUE(rows);
    ASSERT_EQ(rows->size(), 2u); // the row older than two days went
    EXPECT_EQ((*rows)[1].kind, RecordKind::Finished);
    EXPECT_EQ(faults, 0);

    const std::string foreign = folder.file("notes.sqlite");
    writeBytes(foreign, "my own notes");
    RecordsWriter writer({foreign, 400}, [&](RecordsFault fault, const std::string&) {
        EXPECT_EQ(fault, RecordsFault::Foreign);
        ++faults;
    });
    writer.flush();
    EXPECT_TRUE(writer.stopped());
    EXPECT_FALSE(writer.push({event(now, RecordKind::Started, "127.0.0.1")}, {}));
    EXPECT_EQ(faults, 1);
    EXPECT_EQ(readBytes(foreign), "my own notes");

    // A queue that cannot take more drops the batch and says so once.
    std::vector<RecordsFault> told;
    RecordsWriter full({path, 400, 0}, [&](RecordsFault fault, const std::string&) {
        told.push_back(fault);
    });
    EXPECT_FALSE(full.push({event(now, RecordKind::Started, "127.0.0.1")}, {}));
    EXPECT_FALSE(full.push({event(now, RecordKind::Stopped, "127.0.0.1")}, {}));
    full.flush();
    EXPECT_EQ(told, std::vector<RecordsFault>{RecordsFault::Overflow});
    EXPECT_EQ(full.dropped(), 2u);
    EXPECT_FALSE(full.stopped());
}

// The window closing while the shop-floor server still watches: the server records what the
// machines do next, so the window's "unwatched" rows would only hide that time.
TEST(RecordsWriter, AWatcherEndingLeavesTheMachinesToAnotherStillWatching)
{
    TempFolder folder;
    const std::string path = folder.file("hoopwatch-history.sqlite");
    const std::int64_t now = wallClockMillis();
    const auto unwatchedRows = [&] {
        RecordsDatabase db;
        EXPECT_EQ(db.open(path, RecordsDatabase::Mode::ReadOnly), RecordsFault::None);
        const auto rows = db.events({});
        return std::count_if(rows->begin(), rows->end(),
                             [](const EventRow& e) { return e.kind == RecordKind::Unwatched; });
    };
    RecordsWriter window({path}, {});
    window.flush();
    {
        RecordsWriter sender({path, 400, 16, false}, {});
        sender.flush();
        EXPECT_TRUE(window.push({event(now, RecordKind::Unwatched, "127.0.0.1")}, {}));
        window.flush();
        EXPECT_EQ(unwatchedRows(), 1) << "a program that only sends watches nothing";
        RecordsWriter server({path}, {});
        server.flush();
        // The run the window's end cut short is the server's to finish.
        RunRow cut{"127.0.0.1", {}, {"flower.dst", 285, 8, ""}, now + 1000, now + 2000};
        EXPECT_TRUE(window.push({event(now + 1000, RecordKind::Started, "127.0.0.1"),
                                 event(now + 2000, RecordKind::Unwatched, "127.0.0.1")},
                                {cut}));
        window.flush();
        EXPECT_EQ(unwatchedRows(), 1) << "the server still watches";
        RecordsDatabase db;
        ASSERT_EQ(db.open(path, RecordsDatabase::Mode::ReadOnly), RecordsFault::None);
        EXPECT_TRUE(db.runs({})->empty());
    }
    EXPECT_TRUE(window.push({event(now + 3000, RecordKind::Unwatched, "127.0.0.1")}, {}));
    window.flush();
    EXPECT_EQ(unwatchedRows(), 2) << "the server ended";
}

// Watching begins where the history lost the machine: after a watcher ended, a machine found
// sewing counts from then on; a second watcher's first look adds nothing; a killed watcher's
// machines count only until it was last heard of, and the next writer closes them there.
TEST(RecordsWriter, WatchingBeginsWhereTheHistoryLostTheMachine)
{
    TempFolder folder;
    const std::string path = folder.file("hoopwatch-history.sqlite");
    const std::int64_t minute = 60 * 1000;
    const std::int64_t now = wallClockMillis() / 1000 * 1000;
    const auto kindsOf = [&](const std::string& address) {
        RecordsDatabase db;
        EXPECT_EQ(db.open(path, RecordsDatabase::Mode::ReadOnly), RecordsFault::None);
        std::vector<RecordKind> out;
        const auto rows = db.events({0, INT64_MAX, address});
        for (const EventRow& e : *rows)
            out.push_back(e.kind);
        return out;
    };
    const auto sewingMinutes = [&](const std::string& address) {
        RecordsDatabase db;
        EXPECT_EQ(db.open(path, RecordsDatabase::Mode::ReadOnly), RecordsFault::None);
        ReportQuery query;
        query.since = now - 60 * minute;
        query.until = now;
        query.machine = address;
        query.bands = false;
        return readReport(db, query, now)->total.sewingSeconds / 60.0;
    };

    // The recorder's first look at a sewing machine: a Started row that may be redundant, and
    // a run from then.
    std::vector<EventRow> told;
    std::vector<RunRow> ran;
    ProductionRecorder recorder([&](std::vector<EventRow> events, std::vector<RunRow> runs) {
        told.insert(told.end(), events.begin(), events.end());
        ran.insert(ran.end(), runs.begin(), runs.end());
    });
    FleetMachine seen;
    seen.address = "127.0.0.1";
    seen.answered = true;
    seen.online = true;
    seen.work = 1;
    seen.stitch = 500;
    recorder.onFirstAnswer(seen, now - 40 * minute);
    recorder.close(now - 30 * minute);
    ASSERT_EQ(told.size(), 2u);
    EXPECT_EQ(told[0].kind, RecordKind::Started);
    EXPECT_TRUE(told[0].firstSeen);
    EXPECT_EQ(told[0].stitch, 500);
    ASSERT_EQ(ran.size(), 1u);
    EXPECT_EQ(ran[0].started, now - 40 * minute);
    EXPECT_DOUBLE_EQ(ran[0].sewingSeconds, 600.0);

    {
        RecordsDatabase db;
        ASSERT_EQ(db.open(path, RecordsDatabase::Mode::ReadWrite), RecordsFault::None);
        struct Step
        {
            std::int64_t minutesAgo;
            RecordKind kind;
            bool firstSeen;
        };
        const Step steps[] = {
            {50, RecordKind::Started, false},
            {45, RecordKind::Unwatched, false},
            {40, RecordKind::Started, true},  // nothing known: kept
            {35, RecordKind::Started, true},  // a second watcher finds it sewing: not kept
            {30, RecordKind::CameBack, true}, // found standing where the history had it sewing
            {25, RecordKind::CameBack, true}, // and standing again: not kept
        };
        for (const Step& step : steps) {
            EventRow row = event(now - step.minutesAgo * minute, step.kind, "127.0.0.1", 100);
            row.firstSeen = step.firstSeen;
            ASSERT_TRUE(db.append({row}, {}));
        }
        // A machine of a watcher that was killed 10 minutes ago, sewing since 20.
        ASSERT_TRUE(db.append({event(now - 20 * minute, RecordKind::Started, "127.0.0.2")}, {}));
        ASSERT_TRUE(db.setMeta("watcher.killed", std::to_string(now - 10 * minute)));
        ASSERT_TRUE(db.setMeta("watcher.alive", std::to_string(now - minute)));
    }
    EXPECT_EQ(kindsOf("127.0.0.1"),
              (std::vector<RecordKind>{RecordKind::Started, RecordKind::Unwatched,
                                       RecordKind::Started, RecordKind::CameBack}));
    EXPECT_NEAR(sewingMinutes("127.0.0.1"), 5 + 10, 1e-6);
    EXPECT_NEAR(sewingMinutes("127.0.0.2"), 20, 1e-6) << "another program still watches";
    {
        RecordsWriter other({path}, {});
        other.flush();
        EXPECT_EQ(kindsOf("127.0.0.2"), std::vector<RecordKind>{RecordKind::Started})
            << "another program still watches";
    }
    {
        RecordsDatabase db;
        ASSERT_EQ(db.open(path, RecordsDatabase::Mode::ReadWrite), RecordsFault::None);
        ASSERT_TRUE(db.removeMeta("watcher.alive")); // it ended without a row of its own
    }
    EXPECT_NEAR(sewingMinutes("127.0.0.2"), 10, 1e-6) << "until the last watcher was heard of";
    RecordsWriter next({path}, {});
    next.flush();
    EXPECT_EQ(kindsOf("127.0.0.2"),
              (std::vector<RecordKind>{RecordKind::Started, RecordKind::Unwatched}));
    EXPECT_NEAR(sewingMinutes("127.0.0.2"), 10, 1e-6);
    RecordsDatabase db;
    ASSERT_EQ(db.open(path, RecordsDatabase::Mode::ReadOnly), RecordsFault::None);
    EXPECT_EQ(db.metaStartingWith("watcher.")->size(), 1u) << "only the next writer's own key";
}
