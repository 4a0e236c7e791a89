#include "records/RecordsDatabase.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <thread>
#include <utility>

#include <sqlite3.h>

#include "app/Utf8Path.h"

namespace {

// "HOPW": tells our history files from every other SQLite file.
constexpr int kApplicationId = 0x484F5057;
constexpr int kBusyMillis = 5000;

// Step n brings a file of version n to version n + 1; the third step also has work in code
// (the hours of the events already kept).
constexpr const char* kMigrations[] = {
    "CREATE TABLE machines(id INTEGER PRIMARY KEY, address TEXT NOT NULL,"
    " name TEXT NOT NULL DEFAULT '', UNIQUE(address, name));"
    "CREATE TABLE designs(id INTEGER PRIMARY KEY, name TEXT NOT NULL, stitches INTEGER NOT NULL,"
    " colors INTEGER NOT NULL, checksum TEXT NOT NULL, UNIQUE(name, stitches, colors, checksum));"
    "CREATE TABLE events(id INTEGER PRIMARY KEY, at INTEGER NOT NULL, kind INTEGER NOT NULL,"
    " machine INTEGER NOT NULL, design INTEGER, stitch INTEGER NOT NULL);"
    "CREATE TABLE runs(id INTEGER PRIMARY KEY, machine INTEGER NOT NULL, design INTEGER,"
    " started INTEGER NOT NULL, ended INTEGER NOT NULL, finished INTEGER NOT NULL,"
    " sewn INTEGER NOT NULL, sewing_ms INTEGER NOT NULL, standing_ms INTEGER NOT NULL,"
    " stops INTEGER NOT NULL);"
    "CREATE TABLE meta(key TEXT PRIMARY KEY, value TEXT NOT NULL);",
    // Reports and retention read each machine's events by time.
    "CREATE INDEX events_machine_at ON events(machine, at);",
    // One machine per address (its name the last one recorded); the events stored in machine
    // and time order, so that a machine's month is one read; totals per hour.
    "CREATE TABLE machines3(id INTEGER PRIMARY KEY, address TEXT NOT NULL UNIQUE,"
    " name TEXT NOT NULL DEFAULT '');"
    "INSERT INTO machines3(id, address, name) SELECT min(id), address, '' FROM machines"
    " GROUP BY address;"
    "UPDATE machines3 SET name = coalesce((SELECT name FROM machines m WHERE"
    " m.address = machines3.address AND m.name <> '' ORDER BY m.id DESC LIMIT 1), '');"
    "CREATE TEMP TABLE machine_map AS SELECT m.id AS old, n.id AS new FROM machines m"
    " JOIN machines3 n ON n.address = m.address;"
    "CREATE TABLE events3(machine INTEGER NOT NULL, at INTEGER NOT NULL, seq INTEGER NOT NULL,"
    " kind INTEGER NOT NULL, design INTEGER, stitch INTEGER NOT NULL,"
    " PRIMARY KEY(machine, at, seq)) WITHOUT ROWID;"
    "INSERT INTO events3 SELECT mm.new, e.at,"
    " row_number() OVER (PARTITION BY mm.new, e.at ORDER BY e.id) - 1, e.kind, e.design, e.stitch"
    " FROM events e JOIN machine_map mm ON mm.old = e.machine;"
    "UPDATE runs SET machine = (SELECT new FROM machine_map WHERE old = runs.machine);"
    "DROP TABLE events; DROP TABLE machines; DROP TABLE temp.machine_map;"
    "ALTER TABLE events3 RENAME TO events; ALTER TABLE machines3 RENAME TO machines;"
    "CREATE INDEX runs_machine_ended ON runs(machine, ended);"
    "CREATE TABLE hours(machine INTEGER NOT NULL, hour INTEGER NOT NULL,"
    " design INTEGER NOT NULL, sewing_ms INTEGER NOT NULL, standing_ms INTEGER NOT NULL,"
    " offline_ms INTEGER NOT NULL, stitches INTEGER NOT NULL, finished INTEGER NOT NULL,"
    " PRIMARY KEY(machine, hour, design)) WITHOUT ROWID;",
};
static_assert(std::size(kMigrations) == RecordsDatabase::kSchemaVersion);

// Two watchers of one machine report the same event within this many seconds of each other.
constexpr std::int64_t kSameEventSeconds = 60;
constexpr std::int64_t kSameRunMillis = 15 * 1000;

// Events keep whole seconds (four bytes where milliseconds take six, in the table and its
// index); an event stands at the start of its second.
std::int64_t eventSecond(std::int64_t ms)
{
    return ms >= 0 ? ms / 1000 : -((-ms + 999) / 1000);
}
// The first second whose start lies at or after `ms`.
std::int64_t secondFrom(std::int64_t ms)
{
    return ms >= 0 ? (ms > INT64_MAX - 999 ? INT64_MAX / 1000 + 1 : (ms + 999) / 1000) : -(-ms / 1000);
}

class Statement
{
public:
    Statement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr); }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    explicit operator bool() const { return m_stmt != nullptr; }
    sqlite3_stmt* get() const { return m_stmt; }
    void bind(int i, std::int64_t v) { sqlite3_bind_int64(m_stmt, i, v); }
    void bind(int i, double v) { sqlite3_bind_double(m_stmt, i, v); }
    void bind(int i, const std::string& v)
    {
        sqlite3_bind_text(m_stmt, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
    }
    void bindNull(int i) { sqlite3_bind_null(m_stmt, i); }
    int step() { return sqlite3_step(m_stmt); }
    void reset()
    {
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
    }
    std::int64_t integer(int i) const { return sqlite3_column_int64(m_stmt, i); }
    double real(int i) const { return sqlite3_column_double(m_stmt, i); }
    std::string text(int i) const
    {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, i));
        return p ? std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(m_stmt, i)))
                 : std::string();
    }

private:
    sqlite3_stmt* m_stmt = nullptr;
};

std::optional<std::int64_t> pragmaInt(sqlite3* db, const char* sql)
{
    Statement s(db, sql);
    if (!s || s.step() != SQLITE_ROW)
        return std::nullopt;
    return s.integer(0);
}

} // namespace

std::string_view recordsFaultText(RecordsFault fault)
{
    switch (fault) {
    case RecordsFault::None:
        return "ok";
    case RecordsFault::NotAvailable:
        return "this build keeps no production history";
    case RecordsFault::NotRegular:
        return "not a regular file";
    case RecordsFault::Unreadable:
        return "cannot be opened";
    case RecordsFault::Foreign:
        return "not a Hoopwatch history file";
    case RecordsFault::Newer:
        return "written by a newer version of Hoopwatch";
    case RecordsFault::Damaged:
        return "damaged";
    case RecordsFault::Busy:
        return "held by other programs for too long";
    case RecordsFault::Overflow:
        return "rows came faster than the disk took them; some were dropped";
    }
    return "unknown";
}

namespace {

// An event as the writer handles it: whole seconds, its place within its second, keys.
struct StoredEvent
{
    std::int64_t at = 0;
    std::int64_t seq = 0;
    RecordKind kind = RecordKind::Started;
    std::int64_t design = 0;
    std::int32_t stitch = 0;

    // Another watcher's report of the same event.
    bool sameAs(const StoredEvent& other) const
    {
        return kind == other.kind && design == other.design && stitch == other.stitch &&
               std::abs(at - other.at) <= kSameEventSeconds;
    }
};

constexpr const char* kEventColumns = "at, seq, kind, coalesce(design, 0), stitch";

StoredEvent storedEvent(const Statement& s, int first = 0)
{
    return {s.integer(first), s.integer(first + 1), static_cast<RecordKind>(s.integer(first + 2)),
            s.integer(first + 3), static_cast<std::int32_t>(s.integer(first + 4))};
}

// Steps a bound statement over events, up to the first that sets the machine's state (an
// acknowledged transfer keeps the state it finds); nullopt on failure.
std::optional<std::vector<StoredEvent>> untilStateSet(Statement& events)
{
    std::vector<StoredEvent> out;
    int rc = 0;
    while ((rc = events.step()) == SQLITE_ROW) {
        out.push_back(storedEvent(events));
        if (out.back().kind != RecordKind::TransferAcknowledged)
            break;
    }
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        return std::nullopt;
    return out;
}

} // namespace

struct RecordsDatabase::Impl
{
    sqlite3* db = nullptr;
    std::map<std::string, std::pair<std::int64_t, std::string>> machineIds; // id, name by address
    std::map<std::string, std::int64_t> designIds; // by name, stitches, colours and checksum

    ~Impl()
    {
        if (db)
            sqlite3_close_v2(db);
    }

    bool exec(const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }

    // The machine of that address; a name given replaces the one kept (an empty one does not:
    // not every writer knows the operator's names).
    std::optional<std::int64_t> machineId(const std::string& address, const std::string& name)
    {
        auto found = machineIds.find(address);
        if (found == machineIds.end()) {
            Statement insert(db, "INSERT OR IGNORE INTO machines(address, name) VALUES(?, ?)");
            insert.bind(1, address);
            insert.bind(2, name);
            if (insert.step() != SQLITE_DONE)
                return std::nullopt;
            Statement select(db, "SELECT id, name FROM machines WHERE address = ?");
            select.bind(1, address);
            if (select.step() != SQLITE_ROW)
                return std::nullopt;
            found = machineIds.emplace(address, std::make_pair(select.integer(0), select.text(1)))
                        .first;
        }
        auto& [id, kept] = found->second;
        if (!name.empty() && name != kept) {
            Statement rename(db, "UPDATE machines SET name = ? WHERE id = ?");
            rename.bind(1, name);
            rename.bind(2, id);
            if (rename.step() != SQLITE_DONE)
                return std::nullopt;
            kept = name;
        }
        return id;
    }

    // nullopt on failure; 0 stands for "no design".
    std::optional<std::int64_t> designId(const RecordDesign& design)
    {
        if (design.name.empty())
            return 0;
        const std::string key = design.name + '\n' + std::to_string(design.stitches) + '\n' +
                                std::to_string(design.colors) + '\n' + design.checksum;
        if (const auto found = designIds.find(key); found != designIds.end())
            return found->second;
        // Name, stitches, colours and (where asked) the checksum, as parameters 1 to 4.
        const auto bindDesign = [&design](Statement& statement, bool checksum) {
            statement.bind(1, design.name);
            statement.bind(2, std::int64_t{design.stitches});
            statement.bind(3, std::int64_t{design.colors});
            if (checksum)
                statement.bind(4, design.checksum);
        };
        if (design.checksum.empty()) {
            // A watcher that did not send the design knows no checksum: the design of that
            // name and size sent last is the one on the machine.
            Statement known(db, "SELECT id FROM designs WHERE name = ? AND stitches = ? AND"
                                " colors = ? ORDER BY checksum = '', id DESC LIMIT 1");
            bindDesign(known, false);
            if (known.step() == SQLITE_ROW)
                return designIds[key] = known.integer(0);
        }
        Statement insert(db, "INSERT OR IGNORE INTO designs(name, stitches, colors, checksum)"
                             " VALUES(?, ?, ?, ?)");
        bindDesign(insert, true);
        if (insert.step() != SQLITE_DONE)
            return std::nullopt;
        Statement select(db, "SELECT id FROM designs WHERE name = ? AND stitches = ? AND"
                             " colors = ? AND checksum = ?");
        bindDesign(select, true);
        if (select.step() != SQLITE_ROW)
            return std::nullopt;
        return designIds[key] = select.integer(0);
    }

    // The machine and design keys of a row, nullopt when either could not be stored.
    template <typename Row>
    std::optional<std::pair<std::int64_t, std::int64_t>> keysOf(const Row& row)
    {
        const auto machine = machineId(row.address, row.machineName);
        const auto design = machine ? designId(row.design) : std::nullopt;
        if (!design)
            return std::nullopt;
        return std::make_pair(*machine, *design);
    }
};

namespace {

// Keeps the hour totals right as events arrive, in time order or not: the stretches an event
// changes are taken out of the totals as they were and put back as they are now.
class EventWriter
{
public:
    explicit EventWriter(sqlite3* db)
        : m_before(db, (std::string("SELECT ") + kEventColumns +
                        " FROM events WHERE machine = ?1 AND at <= ?2"
                        " ORDER BY at DESC, seq DESC LIMIT 1").c_str()),
          m_after(db, (std::string("SELECT ") + kEventColumns +
                       " FROM events WHERE machine = ?1 AND at > ?2 ORDER BY at, seq").c_str()),
          m_lookBack(db, "SELECT kind FROM events WHERE machine = ?1 AND (at < ?2 OR"
                         " (at = ?2 AND seq <= ?3)) ORDER BY at DESC, seq DESC"),
          m_insert(db, "INSERT INTO events(machine, at, seq, kind, design, stitch)"
                       " VALUES(?, ?, ?, ?, ?, ?)"),
          m_hour(db, "INSERT INTO hours(machine, hour, design, sewing_ms, standing_ms, offline_ms,"
                     " stitches, finished) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)"
                     " ON CONFLICT(machine, hour, design) DO UPDATE SET"
                     " sewing_ms = sewing_ms + ?4, standing_ms = standing_ms + ?5,"
                     " offline_ms = offline_ms + ?6, stitches = stitches + ?7,"
                     " finished = finished + ?8")
    {
    }

    bool ready() const { return m_before && m_after && m_lookBack && m_insert && m_hour; }

    // False when the database failed; an event already recorded by another watcher is
    // skipped, and so is a `firstSeen` one that finds the machine in the state it tells.
    bool add(std::int64_t machine, StoredEvent event, bool firstSeen = false)
    {
        m_failed = false;
        m_before.reset();
        m_before.bind(1, machine);
        m_before.bind(2, event.at);
        std::optional<StoredEvent> before;
        if (const int rc = m_before.step(); rc == SQLITE_ROW)
            before = storedEvent(m_before);
        else if (rc != SQLITE_DONE)
            return false;
        // The events after it that its state reaches: acknowledged transfers keep the state they
        // find, up to the first event that sets one.
        m_after.reset();
        m_after.bind(1, machine);
        m_after.bind(2, event.at);
        const auto found = untilStateSet(m_after);
        if (!found)
            return false;
        const std::vector<StoredEvent>& after = *found;
        if ((before && before->sameAs(event)) || (!after.empty() && after.front().sameAs(event)))
            return true;
        event.seq = before && before->at == event.at ? before->seq + 1 : 0;

        const MachineState start = before ? stateAt(machine, *before) : MachineState::Unknown;
        if (firstSeen && start == stateAfter(event.kind, start))
            return !m_failed;
        std::vector<StoredEvent> chain;
        if (before)
            chain.push_back(*before);
        chain.insert(chain.end(), after.begin(), after.end());
        account(machine, chain, before.has_value(), start, -1);
        chain.insert(chain.begin() + (before ? 1 : 0), event);
        account(machine, chain, before.has_value(), start, +1);
        addFinished(machine, event);
        m_insert.reset();
        m_insert.bind(1, machine);
        m_insert.bind(2, event.at);
        m_insert.bind(3, event.seq);
        m_insert.bind(4, std::int64_t{static_cast<int>(event.kind)});
        if (event.design)
            m_insert.bind(5, event.design);
        else
            m_insert.bindNull(5);
        m_insert.bind(6, std::int64_t{event.stitch});
        return !m_failed && m_insert.step() == SQLITE_DONE;
    }

    // The state the machine was left in by `event`, which is stored.
    MachineState stateAt(std::int64_t machine, const StoredEvent& event)
    {
        if (event.kind != RecordKind::TransferAcknowledged)
            return stateAfter(event.kind, MachineState::Unknown);
        m_lookBack.reset();
        m_lookBack.bind(1, machine);
        m_lookBack.bind(2, event.at);
        m_lookBack.bind(3, event.seq);
        MachineState state = MachineState::Unknown;
        int rc = 0;
        while ((rc = m_lookBack.step()) == SQLITE_ROW) {
            const auto kind = static_cast<RecordKind>(m_lookBack.integer(0));
            if (kind != RecordKind::TransferAcknowledged) {
                state = stateAfter(kind, MachineState::Unknown);
                break;
            }
        }
        m_failed = m_failed || (rc != SQLITE_ROW && rc != SQLITE_DONE);
        return stateAfter(RecordKind::TransferAcknowledged, state);
    }

    // Adds (sign 1) or takes out (-1) the stretches between consecutive events of `chain`; its
    // first event left the machine in `first` when that is `known` (an earlier event set it).
    void account(std::int64_t machine, const std::vector<StoredEvent>& chain, bool known,
                 MachineState first, int sign)
    {
        MachineState state = MachineState::Unknown;
        for (std::size_t i = 0; i + 1 < chain.size(); ++i) {
            state = i == 0 && known ? first : stateAfter(chain[i].kind, state);
            const StoredEvent& a = chain[i];
            const StoredEvent& b = chain[i + 1];
            splitByHour(state, a.at * 1000, b.at * 1000, std::max(0, b.stitch - a.stitch),
                        [&](std::int64_t hour, const HourTotals& piece) {
                            addHour(machine, a.design, hour, piece, sign);
                        });
        }
    }

    // The hours of a machine's events from its first on, as a file kept them before it kept
    // hours.
    bool addAll(std::int64_t machine, const std::vector<StoredEvent>& events)
    {
        m_failed = false;
        account(machine, events, false, MachineState::Unknown, +1);
        for (const StoredEvent& event : events)
            addFinished(machine, event);
        return !m_failed;
    }

private:
    void addFinished(std::int64_t machine, const StoredEvent& event)
    {
        if (event.kind != RecordKind::Finished)
            return;
        HourTotals piece;
        piece.finished = 1;
        addHour(machine, event.design, hourStart(event.at * 1000), piece, 1);
    }

    void addHour(std::int64_t machine, std::int64_t design, std::int64_t hour,
                 const HourTotals& piece, int sign)
    {
        m_hour.reset();
        m_hour.bind(1, machine);
        m_hour.bind(2, hour / kHourMillis);
        m_hour.bind(3, design);
        m_hour.bind(4, sign * piece.sewingMs);
        m_hour.bind(5, sign * piece.standingMs);
        m_hour.bind(6, sign * piece.offlineMs);
        m_hour.bind(7, sign * piece.stitches);
        m_hour.bind(8, sign * piece.finished);
        m_failed = m_failed || m_hour.step() != SQLITE_DONE;
    }

    Statement m_before;
    Statement m_after;
    Statement m_lookBack;
    Statement m_insert;
    Statement m_hour;
    bool m_failed = false;
};

} // namespace

namespace {

// The hours of the events a file kept before it kept hours, machine by machine.
bool addHoursOfEvents(sqlite3* db)
{
    EventWriter writer(db);
    Statement machines(db, "SELECT id FROM machines");
    Statement read(db, (std::string("SELECT ") + kEventColumns +
                        " FROM events WHERE machine = ? ORDER BY at, seq").c_str());
    if (!writer.ready() || !machines || !read)
        return false;
    int rc = 0;
    while ((rc = machines.step()) == SQLITE_ROW) {
        const std::int64_t machine = machines.integer(0);
        std::vector<StoredEvent> events;
        read.reset();
        read.bind(1, machine);
        int r = 0;
        while ((r = read.step()) == SQLITE_ROW)
            events.push_back(storedEvent(read));
        if (r != SQLITE_DONE || !writer.addAll(machine, events))
            return false;
    }
    return rc == SQLITE_DONE;
}

} // namespace

bool RecordsDatabase::available()
{
    return true;
}

RecordsDatabase::RecordsDatabase() = default;
RecordsDatabase::~RecordsDatabase() = default;

bool RecordsDatabase::isOpen() const
{
    return m_impl != nullptr;
}

void RecordsDatabase::close()
{
    m_impl.reset();
}

RecordsFault RecordsDatabase::open(const std::string& path, Mode mode, bool checkIntegrity)
{
    // Some steps of opening (the first switch to WAL, a file another writer is creating) do
    // not wait for the busy timeout: they are tried again for about as long.
    RecordsFault fault = RecordsFault::Busy;
    for (int attempt = 0; attempt < 50 && fault == RecordsFault::Busy; ++attempt) {
        if (attempt > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        fault = openOnce(path, mode, checkIntegrity);
    }
    return fault;
}

RecordsFault RecordsDatabase::openOnce(const std::string& path, Mode mode, bool checkIntegrity)
{
    close();
    m_detail.clear();
    std::error_code error;
    const auto status = std::filesystem::status(pathFromUtf8(path), error);
    const bool exists = std::filesystem::exists(status);
    if (exists && !std::filesystem::is_regular_file(status))
        return RecordsFault::NotRegular;
    if (!exists && mode == Mode::ReadOnly)
        return RecordsFault::Unreadable;

    auto impl = std::make_unique<Impl>();
    const int flags = mode == Mode::ReadOnly ? SQLITE_OPEN_READONLY
                                             : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
    if (sqlite3_open_v2(path.c_str(), &impl->db, flags | SQLITE_OPEN_NOMUTEX, nullptr) !=
        SQLITE_OK) {
        m_detail = impl->db ? sqlite3_errmsg(impl->db) : "out of memory";
        return RecordsFault::Unreadable;
    }
    sqlite3_busy_timeout(impl->db, kBusyMillis);
    sqlite3_extended_result_codes(impl->db, 1);

    // Nothing is written before the file is known to be ours (or empty).
    // One statement, so the three come from one moment even while another writer upgrades.
    std::optional<std::int64_t> appId, version, tables;
    {
        Statement header(impl->db, "SELECT (SELECT application_id FROM pragma_application_id),"
                                   " (SELECT user_version FROM pragma_user_version),"
                                   " (SELECT count(*) FROM sqlite_master)");
        if (header && header.step() == SQLITE_ROW) {
            appId = header.integer(0);
            version = header.integer(1);
            tables = header.integer(2);
        }
    }
    if (!appId || !version || !tables) {
        const int code = sqlite3_errcode(impl->db) & 0xFF;
        m_detail = sqlite3_errmsg(impl->db);
        if (code == SQLITE_BUSY || code == SQLITE_LOCKED)
            return RecordsFault::Busy;
        return code == SQLITE_NOTADB ? RecordsFault::Foreign
               : code == SQLITE_CORRUPT ? RecordsFault::Damaged
                                        : RecordsFault::Unreadable;
    }
    const bool fresh = *appId == 0 && *tables == 0;
    if (!fresh && *appId != kApplicationId)
        return RecordsFault::Foreign;
    if (*version > kSchemaVersion)
        return RecordsFault::Newer;
    if (checkIntegrity && !fresh) {
        Statement check(impl->db, "PRAGMA quick_check");
        if (!check || check.step() != SQLITE_ROW || check.text(0) != "ok") {
            m_detail = check ? check.text(0) : sqlite3_errmsg(impl->db);
            return RecordsFault::Damaged;
        }
    }
    if (mode == Mode::ReadWrite) {
        // WAL stays set in the file; switching needs every other connection gone, so it is
        // done only once, by whoever finds the file without it.
        bool wal = false;
        {
            Statement journal(impl->db, "PRAGMA journal_mode");
            wal = journal && journal.step() == SQLITE_ROW && journal.text(0) == "wal";
        }
        if ((!wal && !impl->exec("PRAGMA journal_mode=WAL")) ||
            !impl->exec("PRAGMA synchronous=NORMAL")) {
            m_detail = sqlite3_errmsg(impl->db);
            const int code = sqlite3_errcode(impl->db) & 0xFF;
            return code == SQLITE_BUSY || code == SQLITE_LOCKED ? RecordsFault::Busy
                                                                : RecordsFault::Unreadable;
        }
        if (*version < kSchemaVersion || fresh) {
            // One writer upgrades; the others wait for it and find the work done.
            if (!impl->exec("BEGIN IMMEDIATE")) {
                m_detail = sqlite3_errmsg(impl->db);
                return RecordsFault::Busy;
            }
            const auto now = pragmaInt(impl->db, "PRAGMA user_version").value_or(0);
            bool ok = now <= kSchemaVersion;
            for (auto step = now; ok && step < kSchemaVersion; ++step)
                ok = impl->exec(kMigrations[step]) && (step != 2 || addHoursOfEvents(impl->db));
            ok = ok &&
                 impl->exec(("PRAGMA application_id=" + std::to_string(kApplicationId)).c_str()) &&
                 impl->exec(("PRAGMA user_version=" + std::to_string(kSchemaVersion)).c_str()) &&
                 impl->exec("COMMIT");
            if (!ok) {
                m_detail = sqlite3_errmsg(impl->db);
                impl->exec("ROLLBACK");
                return RecordsFault::Unreadable;
            }
        }
    }
    m_impl = std::move(impl);
    return RecordsFault::None;
}

bool RecordsDatabase::append(const std::vector<EventRow>& events, const std::vector<RunRow>& runs)
{
    if (!m_impl)
        return false;
    Impl& d = *m_impl;
    if (!d.exec("BEGIN IMMEDIATE")) {
        m_detail = sqlite3_errmsg(d.db);
        return false;
    }
    bool ok = true;
    {
        EventWriter writer(d.db);
        ok = writer.ready();
        for (const EventRow& row : events) {
            const auto keys = ok ? d.keysOf(row) : std::nullopt;
            ok = keys && writer.add(keys->first, {eventSecond(row.at), 0, row.kind, keys->second,
                                                  row.stitch},
                                    row.firstSeen);
            if (!ok)
                break;
        }
        // Another watcher's run of the same design that overlaps this one and ended within a
        // poll or two of it is this one, told by a watcher that may have come later: the one
        // seen from its earliest start is kept (two real runs of a design do not overlap).
        Statement known(d.db, "SELECT id, started FROM runs WHERE machine = ?1"
                              " AND coalesce(design, 0) = ?2 AND finished = ?3"
                              " AND ended BETWEEN ?4 - ?5 AND ?4 + ?5 AND started < ?4"
                              " AND ended > ?6 LIMIT 1");
        Statement replaced(d.db, "DELETE FROM runs WHERE id = ?");
        Statement run(d.db,
                      "INSERT INTO runs(machine, design, started, ended, finished, sewn, sewing_ms,"
                      " standing_ms, stops) VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?)");
        ok = ok && known && replaced && run;
        for (const RunRow& row : runs) {
            const auto keys = ok ? d.keysOf(row) : std::nullopt;
            ok = keys.has_value();
            if (!ok)
                break;
            const auto [machine, design] = *keys;
            known.reset();
            known.bind(1, machine);
            known.bind(2, design);
            known.bind(3, std::int64_t{row.finished ? 1 : 0});
            known.bind(4, row.ended);
            known.bind(5, kSameRunMillis);
            known.bind(6, row.started);
            const int rc = row.ended != 0 ? known.step() : SQLITE_DONE;
            ok = rc == SQLITE_ROW || rc == SQLITE_DONE;
            if (!ok)
                break;
            if (rc == SQLITE_ROW) {
                if (known.integer(1) <= row.started + kSameRunMillis)
                    continue;
                replaced.reset();
                replaced.bind(1, known.integer(0));
                ok = replaced.step() == SQLITE_DONE;
                if (!ok)
                    break;
            }
            run.reset();
            run.bind(1, machine);
            if (design)
                run.bind(2, design);
            else
                run.bindNull(2);
            run.bind(3, row.started);
            run.bind(4, row.ended);
            run.bind(5, std::int64_t{row.finished ? 1 : 0});
            run.bind(6, row.stitchesSewn);
            run.bind(7, std::int64_t{std::llround(row.sewingSeconds * 1000.0)});
            run.bind(8, std::int64_t{std::llround(row.standingSeconds * 1000.0)});
            run.bind(9, std::int64_t{row.stops});
            ok = run.step() == SQLITE_DONE;
        }
    }
    if (ok && d.exec("COMMIT"))
        return true;
    m_detail = sqlite3_errmsg(d.db);
    d.exec("ROLLBACK");
    // Ids cached inside the rolled-back transaction may not exist.
    d.machineIds.clear();
    d.designIds.clear();
    return false;
}

std::optional<std::int64_t> RecordsDatabase::removeOlderThan(std::int64_t before)
{
    if (!m_impl)
        return std::nullopt;
    Impl& d = *m_impl;
    if (!d.exec("BEGIN IMMEDIATE"))
        return std::nullopt;
    std::int64_t removed = 0;
    bool ok = true;
    struct Step
    {
        const char* sql;
        std::int64_t bound;
        bool rows; // counted as rows removed
    };
    const Step steps[] = {
        {"DELETE FROM events WHERE machine IN (SELECT id FROM machines) AND at < ?",
         secondFrom(before), true},
        {"DELETE FROM runs WHERE ended <> 0 AND ended < ?", before, true},
        // The totals of the hours before, whose events went.
        {"DELETE FROM hours WHERE machine IN (SELECT id FROM machines) AND hour < ?",
         hourStart(before) / kHourMillis, false},
    };
    for (const Step& step : steps) {
        Statement s(d.db, step.sql);
        s.bind(1, step.bound);
        ok = ok && s && s.step() == SQLITE_DONE;
        removed += step.rows ? sqlite3_changes(d.db) : 0;
    }
    if (ok && d.exec("COMMIT"))
        return removed;
    d.exec("ROLLBACK");
    return std::nullopt;
}

std::optional<std::string> RecordsDatabase::meta(const std::string& key)
{
    if (!m_impl)
        return std::nullopt;
    Statement s(m_impl->db, "SELECT value FROM meta WHERE key = ?");
    s.bind(1, key);
    if (!s || s.step() != SQLITE_ROW)
        return std::nullopt;
    return s.text(0);
}

bool RecordsDatabase::setMeta(const std::string& key, const std::string& value)
{
    if (!m_impl)
        return false;
    Statement s(m_impl->db, "INSERT OR REPLACE INTO meta(key, value) VALUES(?, ?)");
    s.bind(1, key);
    s.bind(2, value);
    return s && s.step() == SQLITE_DONE;
}

bool RecordsDatabase::removeMeta(const std::string& key)
{
    if (!m_impl)
        return false;
    Statement s(m_impl->db, "DELETE FROM meta WHERE key = ?");
    s.bind(1, key);
    return s && s.step() == SQLITE_DONE;
}

std::optional<std::map<std::string, std::string>> RecordsDatabase::metaStartingWith(
    const std::string& prefix)
{
    if (!m_impl)
        return std::nullopt;
    Statement s(m_impl->db, "SELECT key, value FROM meta WHERE substr(key, 1, length(?1)) = ?1");
    if (!s)
        return std::nullopt;
    s.bind(1, prefix);
    std::map<std::string, std::string> out;
    int rc = 0;
    while ((rc = s.step()) == SQLITE_ROW)
        out[s.text(0)] = s.text(1);
    if (rc != SQLITE_DONE)
        return std::nullopt;
    return out;
}

namespace {

// The machines a query asks for (address, name by key, in address order), and every design's
// name by key.
struct Names
{
    std::vector<std::pair<std::int64_t, std::pair<std::string, std::string>>> machines;
    std::map<std::int64_t, RecordDesign> designs;
};

std::optional<Names> namesOf(sqlite3* db, const std::string& machine)
{
    Names out;
    Statement machines(db, "SELECT id, address, name FROM machines WHERE ?1 = '' OR address = ?1"
                           " ORDER BY address");
    Statement designs(db, "SELECT id, name, stitches, colors, checksum FROM designs");
    if (!machines || !designs)
        return std::nullopt;
    machines.bind(1, machine);
    int rc = 0;
    while ((rc = machines.step()) == SQLITE_ROW)
        out.machines.push_back({machines.integer(0), {machines.text(1), machines.text(2)}});
    if (rc != SQLITE_DONE)
        return std::nullopt;
    while ((rc = designs.step()) == SQLITE_ROW)
        out.designs[designs.integer(0)] = {designs.text(1),
                                           static_cast<std::int32_t>(designs.integer(2)),
                                           static_cast<std::int32_t>(designs.integer(3)),
                                           designs.text(4)};
    if (rc != SQLITE_DONE)
        return std::nullopt;
    return out;
}

// A machine's last event before `bound` (seconds) and, when that was an acknowledged transfer,
// the events back to the last one that set the machine's state: oldest first. nullopt on failure.
std::optional<std::vector<StoredEvent>> lastEvents(Statement& newestFirst, std::int64_t machine,
                                                   std::int64_t bound)
{
    newestFirst.reset();
    newestFirst.bind(1, machine);
    newestFirst.bind(2, bound);
    auto out = untilStateSet(newestFirst);
    if (out)
        std::reverse(out->begin(), out->end());
    return out;
}

// A machine's last event and the state it left the machine in.
struct LastEvent
{
    StoredEvent event;
    MachineState state = MachineState::Unknown;
};

// False on failure; `last` stays empty for a machine without events.
bool lastEventOf(Statement& newestFirst, std::int64_t machine, std::optional<LastEvent>& last)
{
    last.reset();
    const auto tail = lastEvents(newestFirst, machine, INT64_MAX);
    if (!tail)
        return false;
    if (tail->empty())
        return true;
    MachineState state = MachineState::Unknown;
    for (const StoredEvent& e : *tail)
        state = stateAfter(e.kind, state);
    last = LastEvent{tail->back(), state};
    return true;
}

constexpr const char* kNewestFirst = "SELECT at, seq, kind, coalesce(design, 0), stitch FROM events"
                                     " WHERE machine = ?1 AND at < ?2 ORDER BY at DESC, seq DESC";

// The first hour whose start lies at or after `ms`, as a number of hours since 1970.
std::int64_t hourFrom(std::int64_t ms)
{
    const std::int64_t start = hourStart(ms);
    return start / kHourMillis + (start < ms ? 1 : 0);
}

} // namespace

std::optional<std::vector<EventRow>> RecordsDatabase::events(const RecordsQuery& query)
{
    auto ranges = eventsIn(query.machine, {{query.since, query.until}});
    if (!ranges)
        return std::nullopt;
    return std::move(ranges->front());
}

std::optional<std::vector<std::vector<EventRow>>> RecordsDatabase::eventsIn(
    const std::string& machineAddress, const std::vector<TimeRange>& ranges)
{
    if (!m_impl)
        return std::nullopt;
    sqlite3* db = m_impl->db;
    const auto failed = [&]() -> std::optional<std::vector<std::vector<EventRow>>> {
        m_detail = sqlite3_errmsg(db);
        return std::nullopt;
    };
    // The few machines and designs first; the events then carry only numbers.
    const auto names = namesOf(db, machineAddress);
    Statement before(db, kNewestFirst);
    // The events from a range's start on, in the table's own (machine, time) order: those
    // within it and the first one after.
    Statement from(db, "SELECT at, seq, kind, coalesce(design, 0), stitch FROM events"
                       " WHERE machine = ?1 AND at >= ?2 ORDER BY at, seq");
    if (!names || !before || !from)
        return failed();
    std::vector<std::vector<EventRow>> out(ranges.size());
    const RecordDesign none;
    for (std::size_t r = 0; r < ranges.size(); ++r) {
        const std::int64_t since = secondFrom(ranges[r].since);
        const std::int64_t until = secondFrom(ranges[r].until);
        for (const auto& entry : names->machines) {
            // Plain names, not a structured binding: the lambda captures them.
            const std::int64_t id = entry.first;
            const auto& machine = entry.second;
            const auto add = [&](const StoredEvent& e) {
                const auto design = names->designs.find(e.design);
                out[r].push_back({e.at * 1000, e.kind, machine.first, machine.second,
                                  design == names->designs.end() ? none : design->second,
                                  e.stitch});
            };
            const auto earlier = lastEvents(before, id, since);
            if (!earlier)
                return failed();
            for (const StoredEvent& e : *earlier)
                add(e);
            from.reset();
            from.bind(1, id);
            from.bind(2, since);
            int rc = 0;
            while ((rc = from.step()) == SQLITE_ROW) {
                const StoredEvent e = storedEvent(from);
                add(e);
                if (e.at >= until)
                    break;
            }
            if (rc != SQLITE_DONE && rc != SQLITE_ROW)
                return failed();
        }
    }
    return out;
}

std::optional<HourRows> RecordsDatabase::hours(const RecordsQuery& query)
{
    if (!m_impl)
        return std::nullopt;
    sqlite3* db = m_impl->db;
    const auto failed = [&]() -> std::optional<HourRows> {
        m_detail = sqlite3_errmsg(db);
        return std::nullopt;
    };
    const auto names = namesOf(db, query.machine);
    Statement last(db, kNewestFirst);
    Statement hours(db, "SELECT hour, design, sewing_ms, standing_ms, offline_ms, stitches,"
                        " finished FROM hours WHERE machine = ?1 AND hour >= ?2 AND hour < ?3"
                        " ORDER BY hour, design");
    if (!names || !last || !hours)
        return failed();
    HourRows out;
    for (const auto& [id, design] : names->designs)
        out.designs[id] = design.name;
    for (const auto& [id, machine] : names->machines) {
        const std::size_t index = out.machines.size();
        out.machines.push_back({machine.first, machine.second, std::nullopt});
        std::optional<LastEvent> found;
        if (!lastEventOf(last, id, found))
            return failed();
        if (found) {
            const StoredEvent& e = found->event;
            out.machines.back().last = HourRows::Last{e.at * 1000, found->state, e.stitch, e.design};
        }
        hours.reset();
        hours.bind(1, id);
        hours.bind(2, hourFrom(query.since));
        hours.bind(3, hourFrom(query.until));
        int rc = 0;
        while ((rc = hours.step()) == SQLITE_ROW)
            out.rows.push_back({index, hours.integer(0) * kHourMillis, hours.integer(1),
                                {hours.integer(2), hours.integer(3), hours.integer(4),
                                 hours.integer(5), hours.integer(6)}});
        if (rc != SQLITE_DONE)
            return failed();
    }
    return out;
}

bool RecordsDatabase::endWatching(std::int64_t at, const std::vector<std::string>& watcherKeys)
{
    if (!m_impl)
        return false;
    Impl& d = *m_impl;
    if (!d.exec("BEGIN IMMEDIATE")) {
        m_detail = sqlite3_errmsg(d.db);
        return false;
    }
    bool ok = true;
    {
        EventWriter writer(d.db);
        Statement machines(d.db, "SELECT id FROM machines");
        Statement last(d.db, kNewestFirst);
        Statement forget(d.db, "DELETE FROM meta WHERE key = ?");
        ok = writer.ready() && machines && last && forget;
        const std::int64_t second = eventSecond(at);
        int rc = SQLITE_DONE;
        while (ok && (rc = machines.step()) == SQLITE_ROW) {
            const std::int64_t id = machines.integer(0);
            std::optional<LastEvent> found;
            ok = lastEventOf(last, id, found);
            if (ok && found && found->event.at < second && found->state != MachineState::Unknown)
                ok = writer.add(id, {second, 0, RecordKind::Unwatched, found->event.design, 0});
        }
        ok = ok && rc == SQLITE_DONE;
        for (const std::string& key : watcherKeys) {
            if (!ok)
                break;
            forget.reset();
            forget.bind(1, key);
            ok = forget.step() == SQLITE_DONE;
        }
    }
    if (ok && d.exec("COMMIT"))
        return true;
    m_detail = sqlite3_errmsg(d.db);
    d.exec("ROLLBACK");
    return false;
}

std::optional<std::vector<RunRow>> RecordsDatabase::runs(const RecordsQuery& query)
{
    if (!m_impl)
        return std::nullopt;
    Statement s(m_impl->db,
                "SELECT m.address, m.name, coalesce(d.name, ''), coalesce(d.stitches, 0),"
                " coalesce(d.colors, 0), coalesce(d.checksum, ''), r.started, r.ended,"
                " r.finished, r.sewn, r.sewing_ms, r.standing_ms, r.stops FROM runs r"
                " JOIN machines m ON m.id = r.machine LEFT JOIN designs d ON d.id = r.design"
                " WHERE r.started < ?3 AND (r.ended = 0 OR r.ended >= ?1)"
                " AND (?2 = '' OR m.address = ?2) ORDER BY r.started, r.id");
    if (!s) {
        m_detail = sqlite3_errmsg(m_impl->db);
        return std::nullopt;
    }
    s.bind(1, query.since);
    s.bind(2, query.machine);
    s.bind(3, query.until);
    std::vector<RunRow> out;
    int rc = 0;
    while ((rc = s.step()) == SQLITE_ROW) {
        RunRow row;
        row.address = s.text(0);
        row.machineName = s.text(1);
        row.design = {s.text(2), static_cast<std::int32_t>(s.integer(3)),
                      static_cast<std::int32_t>(s.integer(4)), s.text(5)};
        row.started = s.integer(6);
        row.ended = s.integer(7);
        row.finished = s.integer(8) != 0;
        row.stitchesSewn = s.integer(9);
        row.sewingSeconds = double(s.integer(10)) / 1000.0;
        row.standingSeconds = double(s.integer(11)) / 1000.0;
        row.stops = static_cast<int>(s.integer(12));
        out.push_back(std::move(row));
    }
    if (rc != SQLITE_DONE) {
        m_detail = sqlite3_errmsg(m_impl->db);
        return std::nullopt;
    }
    return out;
}

std::string RecordsDatabase::integrityCheck()
{
    if (!m_impl)
        return "not open";
    Statement s(m_impl->db, "PRAGMA integrity_check");
    if (!s || s.step() != SQLITE_ROW)
        return sqlite3_errmsg(m_impl->db);
    return s.text(0);
}
