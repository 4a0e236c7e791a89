#include "records/RecordsDatabase.h"

#include <chrono>
#include <cmath>
#include <filesystem>
#include <thread>
#include <utility>

#include <sqlite3.h>

namespace {

// "HOPW": tells our history files from every other SQLite file.
constexpr int kApplicationId = 0x484F5057;
constexpr int kBusyMillis = 5000;

// Step n brings a file of version n to version n + 1.
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
};
static_assert(std::size(kMigrations) == RecordsDatabase::kSchemaVersion);

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

struct RecordsDatabase::Impl
{
    sqlite3* db = nullptr;
    std::map<std::pair<std::string, std::string>, std::int64_t> machineIds;
    std::map<std::string, std::int64_t> designIds; // by name, stitches, colours and checksum

    ~Impl()
    {
        if (db)
            sqlite3_close_v2(db);
    }

    bool exec(const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }

    std::optional<std::int64_t> machineId(const std::string& address, const std::string& name)
    {
        const auto key = std::make_pair(address, name);
        if (const auto found = machineIds.find(key); found != machineIds.end())
            return found->second;
        Statement insert(db, "INSERT OR IGNORE INTO machines(address, name) VALUES(?, ?)");
        insert.bind(1, address);
        insert.bind(2, name);
        if (insert.step() != SQLITE_DONE)
            return std::nullopt;
        Statement select(db, "SELECT id FROM machines WHERE address = ? AND name = ?");
        select.bind(1, address);
        select.bind(2, name);
        if (select.step() != SQLITE_ROW)
            return std::nullopt;
        return machineIds[key] = select.integer(0);
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
};

std::string RecordsDatabase::pathBeside(const std::string& configPath)
{
    return (std::filesystem::path(configPath).parent_path() / kFileName).string();
}

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
    const auto status = std::filesystem::status(path, error);
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
                ok = impl->exec(kMigrations[step]);
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
        Statement event(d.db, "INSERT INTO events(at, kind, machine, design, stitch)"
                              " VALUES(?, ?, ?, ?, ?)");
        ok = static_cast<bool>(event);
        for (const EventRow& row : events) {
            if (!ok)
                break;
            const auto machine = d.machineId(row.address, row.machineName);
            const auto design = d.designId(row.design);
            ok = machine && design;
            if (!ok)
                break;
            event.bind(1, eventSecond(row.at));
            event.bind(2, std::int64_t{static_cast<int>(row.kind)});
            event.bind(3, *machine);
            if (*design)
                event.bind(4, *design);
            else
                event.bindNull(4);
            event.bind(5, std::int64_t{row.stitch});
            ok = event.step() == SQLITE_DONE;
            event.reset();
        }
        Statement run(d.db,
                      "INSERT INTO runs(machine, design, started, ended, finished, sewn, sewing_ms,"
                      " standing_ms, stops) VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?)");
        ok = ok && static_cast<bool>(run);
        for (const RunRow& row : runs) {
            if (!ok)
                break;
            const auto machine = d.machineId(row.address, row.machineName);
            const auto design = d.designId(row.design);
            ok = machine && design;
            if (!ok)
                break;
            run.bind(1, *machine);
            if (*design)
                run.bind(2, *design);
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
            run.reset();
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
    const std::pair<const char*, std::int64_t> steps[] = {
        {"DELETE FROM events WHERE machine IN (SELECT id FROM machines) AND at < ?",
         secondFrom(before)},
        {"DELETE FROM runs WHERE ended <> 0 AND ended < ?", before},
    };
    for (const auto& [sql, bound] : steps) {
        Statement s(d.db, sql);
        s.bind(1, bound);
        ok = ok && s && s.step() == SQLITE_DONE;
        removed += sqlite3_changes(d.db);
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

std::optional<std::vector<EventRow>> RecordsDatabase::events(const RecordsQuery& query)
{
    if (!m_impl)
        return std::nullopt;
    sqlite3* db = m_impl->db;
    const auto failed = [&]() -> std::optional<std::vector<EventRow>> {
        m_detail = sqlite3_errmsg(db);
        return std::nullopt;
    };
    // The few machines and designs first; the events then carry only numbers.
    std::vector<std::pair<std::int64_t, std::pair<std::string, std::string>>> machines;
    {
        Statement s(db, "SELECT id, address, name FROM machines WHERE ?1 = '' OR address = ?1"
                        " ORDER BY address, id");
        if (!s)
            return failed();
        s.bind(1, query.machine);
        int rc = 0;
        while ((rc = s.step()) == SQLITE_ROW)
            machines.push_back({s.integer(0), {s.text(1), s.text(2)}});
        if (rc != SQLITE_DONE)
            return failed();
    }
    std::map<std::int64_t, RecordDesign> designs;
    {
        Statement s(db, "SELECT id, name, stitches, colors, checksum FROM designs");
        if (!s)
            return failed();
        int rc = 0;
        while ((rc = s.step()) == SQLITE_ROW)
            designs[s.integer(0)] = {s.text(1), static_cast<std::int32_t>(s.integer(2)),
                                     static_cast<std::int32_t>(s.integer(3)), s.text(4)};
        if (rc != SQLITE_DONE)
            return failed();
    }
    // Each machine's last event before the range, then its events in the range: both walk the
    // (machine, at) index, so nothing is sorted.
    Statement before(db, "SELECT at, kind, design, stitch FROM events WHERE machine = ?1 AND"
                         " at < ?2 ORDER BY at DESC, id DESC LIMIT 1");
    Statement within(db, "SELECT at, kind, design, stitch FROM events WHERE machine = ?1 AND"
                         " at >= ?2 AND at < ?3 ORDER BY at, id");
    if (!before || !within)
        return failed();
    std::vector<EventRow> out;
    const RecordDesign none;
    for (const auto& [id, names] : machines) {
        for (Statement* s : {&before, &within}) {
            s->reset();
            s->bind(1, id);
            s->bind(2, secondFrom(query.since));
            s->bind(3, secondFrom(query.until));
            int rc = 0;
            while ((rc = s->step()) == SQLITE_ROW) {
                EventRow row;
                row.at = s->integer(0) * 1000;
                row.kind = static_cast<RecordKind>(s->integer(1));
                row.address = names.first;
                row.machineName = names.second;
                const auto design = designs.find(s->integer(2));
                row.design = design == designs.end() ? none : design->second;
                row.stitch = static_cast<std::int32_t>(s->integer(3));
                out.push_back(std::move(row));
            }
            if (rc != SQLITE_DONE)
                return failed();
        }
    }
    return out;
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
