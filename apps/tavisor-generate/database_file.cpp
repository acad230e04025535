#include "database_file.h"

#include <cstring>
#include <system_error>
#include <utility>

#include "database_rows.h"
#include "output_files.h"

#if defined(TAVISOR_GENERATE_HAVE_SQLITE)
#include <sqlite3.h>
#endif
namespace generate {

namespace fs = std::filesystem;

const std::vector<std::string>& DatabaseSchema() {
  // "order" is an SQL keyword: quoted. The observations are kept in the
  // order of their key (WITHOUT ROWID), which is the order they come in.
  static const std::vector<std::string> schema{
      "CREATE TABLE records (\n"
      "  record INTEGER PRIMARY KEY,\n"
      "  \"order\" TEXT NOT NULL,\n"
      "  family TEXT NOT NULL,\n"
      "  name TEXT NOT NULL,\n"
      "  rarity TEXT NOT NULL,\n"
      "  common INTEGER NOT NULL\n"
      ")",
      "CREATE TABLE observations (\n"
      "  record INTEGER NOT NULL,\n"
      "  observation INTEGER NOT NULL,\n"
      "  municipality TEXT,\n"
      "  latitude_degrees INTEGER,\n"
      "  latitude_minutes INTEGER,\n"
      "  latitude_seconds INTEGER,\n"
      "  longitude_degrees INTEGER,\n"
      "  longitude_minutes INTEGER,\n"
      "  longitude_seconds INTEGER,\n"
      "  latitude REAL,\n"
      "  longitude REAL,\n"
      "  date TEXT NOT NULL,\n"
      "  time TEXT NOT NULL,\n"
      "  count INTEGER,\n"
      "  PRIMARY KEY (record, observation),\n"
      "  FOREIGN KEY (record) REFERENCES records (record)\n"
      ") WITHOUT ROWID"};
  return schema;
}

#if defined(TAVISOR_GENERATE_HAVE_SQLITE)

bool DatabaseAvailable() { return true; }

namespace {

// "CREATE TABLE name (...": name.
std::string TableName(const std::string& statement) {
  const std::size_t start = std::strlen("CREATE TABLE ");
  return statement.substr(start, statement.find(' ', start) - start);
}

// Pages of 64 KiB and a cache of 16 MiB: fewer, larger writes.
constexpr const char* kSettings = "PRAGMA page_size = 65536; PRAGMA cache_size = -16384;";
// A new database is a file of this run alone until it is renamed: it needs
// no journal and no locks.
constexpr const char* kNewDatabaseSettings =
    "PRAGMA journal_mode = OFF; PRAGMA locking_mode = EXCLUSIVE;";
// Parts of a run appending to one database at the same time take turns:
// each waits for the others' transactions, which last whole runs.
constexpr int kBusyWaitMilliseconds = 24 * 3600 * 1000;

// Rows go in this many at a time, through one statement of that many rows:
// a statement's step costs about as much as a row.
constexpr std::size_t kRowsAtOnce = 32;

// A table's two insert statements: of one row, and of kRowsAtOnce rows.
struct Table {
  sqlite3_stmt* one = nullptr;
  sqlite3_stmt* many = nullptr;
  int columns = 0;
  std::vector<const char*> pending;  // the rows of an Insert for the table
};

}  // namespace

// Only the writer uses the connection (NOMUTEX: no lock per call).
struct DatabaseFile::Connection {
  sqlite3* db = nullptr;
  std::vector<Table> tables;  // in the schema's order
  bool in_transaction = false;

  ~Connection() {
    for (const Table& table : tables) {
      sqlite3_finalize(table.one);
      sqlite3_finalize(table.many);
    }
    sqlite3_close(db);
  }
  bool Run(const std::string& sql) {
    return sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
  }
};

DatabaseFile::DatabaseFile(fs::path path, std::string shown, bool append)
    : path_(std::move(path)), shown_(std::move(shown)), append_(append) {}

DatabaseFile::~DatabaseFile() { Discard(); }

bool DatabaseFile::Fail(const std::string& doing) {
  error_ = "cannot " + doing + " " + Description();
  if (connection_ && connection_->db) error_ += std::string(": ") + sqlite3_errmsg(connection_->db);
  return false;
}

std::string DatabaseFile::Open() {
  std::error_code ec;
  fs::path file = path_;
  if (append_) {
    created_ = !fs::exists(path_, ec);
  } else {
    // Named as OutputFile names its temporary files, so that a later run
    // removes what a killed one left, databases included.
    RemoveAbandonedTemporaries(path_);
    do {
      temporary_path_ = NewTemporaryName(path_);
    } while (fs::exists(temporary_path_, ec));
    file = temporary_path_;
  }
  // No counting of SQLite's memory: a lock per allocation otherwise. It can
  // be set only before SQLite starts; later it is refused, harmlessly.
  static const int no_memory_status = sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
  (void)no_memory_status;
  connection_ = std::make_unique<Connection>();
  const std::u8string name = file.u8string();
  if (sqlite3_open_v2(reinterpret_cast<const char*>(name.c_str()), &connection_->db,
                      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                      nullptr) != SQLITE_OK ||
      !connection_->Run(kSettings) || (!append_ && !connection_->Run(kNewDatabaseSettings))) {
    Fail("open");
    return error_;
  }
  sqlite3_busy_timeout(connection_->db, kBusyWaitMilliseconds);
  // The schema is checked (or made) in the run's transaction: no other run
  // changes it in between.
  if (!connection_->Run(append_ ? "BEGIN IMMEDIATE" : "BEGIN")) {
    Fail("write to");
    return error_;
  }
  connection_->in_transaction = true;
  sqlite3_stmt* query = nullptr;
  if (sqlite3_prepare_v2(connection_->db,
                         "SELECT sql FROM sqlite_master WHERE type = 'table' AND name = ?1", -1,
                         &query, nullptr) != SQLITE_OK) {
    Fail("read");
    return error_;
  }
  int tables_found = 0;
  std::string differs;
  for (const std::string& statement : DatabaseSchema()) {
    const std::string table = TableName(statement);
    sqlite3_bind_text(query, 1, table.c_str(), -1, SQLITE_TRANSIENT);
    if (sqlite3_step(query) == SQLITE_ROW) {
      ++tables_found;
      const auto* sql = reinterpret_cast<const char*>(sqlite3_column_text(query, 0));
      if (differs.empty() && (sql == nullptr || statement != sql)) differs = table;
    }
    sqlite3_reset(query);
  }
  sqlite3_finalize(query);
  int tables = 0;
  if (sqlite3_prepare_v2(connection_->db, "SELECT count(*) FROM sqlite_master", -1, &query,
                         nullptr) == SQLITE_OK &&
      sqlite3_step(query) == SQLITE_ROW) {
    tables = sqlite3_column_int(query, 0);
  }
  sqlite3_finalize(query);
  const auto schema_size = static_cast<int>(DatabaseSchema().size());
  if (tables_found == 0 && tables == 0) {
    for (const std::string& statement : DatabaseSchema()) {
      if (!connection_->Run(statement)) {
        Fail("make the tables of");
        return error_;
      }
    }
  } else if (tables_found < schema_size || !differs.empty()) {
    error_ = Description() + " is not a database of these records: " +
             (differs.empty() ? "it has other tables"
                              : "its table \"" + differs + "\" is not the one this program makes") +
             " (see --schema sql)";
    return error_;
  }
  for (const std::string& statement : DatabaseSchema()) {
    const std::string table = TableName(statement);
    int columns = 0;
    if (sqlite3_prepare_v2(connection_->db, ("SELECT * FROM " + table).c_str(), -1, &query,
                           nullptr) == SQLITE_OK) {
      columns = sqlite3_column_count(query);
    }
    sqlite3_finalize(query);
    std::string row = "(?";
    for (int column = 1; column < columns; ++column) row += ", ?";
    row += ")";
    std::string rows = row;
    for (std::size_t i = 1; i < kRowsAtOnce; ++i) rows += ", " + row;
    Table& made = connection_->tables.emplace_back();
    made.columns = columns;
    if (sqlite3_prepare_v3(connection_->db, ("INSERT INTO " + table + " VALUES " + row).c_str(), -1,
                           SQLITE_PREPARE_PERSISTENT, &made.one, nullptr) != SQLITE_OK ||
        sqlite3_prepare_v3(connection_->db, ("INSERT INTO " + table + " VALUES " + rows).c_str(),
                           -1, SQLITE_PREPARE_PERSISTENT, &made.many, nullptr) != SQLITE_OK) {
      Fail("write to");
      return error_;
    }
  }
  return {};
}

namespace {

// Binds the values of the row at `p` to the parameters of `statement` from
// `first` on (with no statement: only passes over them); returns the end of
// the row.
const char* BindRow(sqlite3_stmt* statement, int first, int columns, const char* p) {
  for (int column = first; column < first + columns; ++column) {
    const char kind = *p++;
    if (kind == rows::kInteger) {
      std::int64_t value = 0;
      std::memcpy(&value, p, sizeof value);
      p += sizeof value;
      if (statement) sqlite3_bind_int64(statement, column, value);
    } else if (kind == rows::kReal) {
      double value = 0;
      std::memcpy(&value, p, sizeof value);
      p += sizeof value;
      if (statement) sqlite3_bind_double(statement, column, value);
    } else if (kind == rows::kText) {
      std::uint32_t size = 0;
      std::memcpy(&size, p, sizeof size);
      p += sizeof size;
      // The rows outlive the statement's step: SQLite need not copy them.
      if (statement) sqlite3_bind_text(statement, column, p, static_cast<int>(size), SQLITE_STATIC);
      p += size;
    } else if (statement) {
      sqlite3_bind_null(statement, column);
    }
  }
  return p;
}

}  // namespace

bool DatabaseFile::Insert(std::string_view rows) {
  const char* p = rows.data();
  const char* const end = p + rows.size();
  for (Table& table : connection_->tables) table.pending.clear();
  while (p < end) {
    Table& table = connection_->tables[*p++ == rows::kRecordRow ? 0 : 1];  // the schema's order
    table.pending.push_back(p);
    p = BindRow(nullptr, 0, table.columns, p);
  }
  for (Table& table : connection_->tables) {
    const std::size_t rows_count = table.pending.size();
    for (std::size_t row = 0; row < rows_count;) {
      const bool many = rows_count - row >= kRowsAtOnce;
      sqlite3_stmt* const statement = many ? table.many : table.one;
      const std::size_t next = row + (many ? kRowsAtOnce : 1);
      for (int parameter = 1; row < next; ++row, parameter += table.columns) {
        BindRow(statement, parameter, table.columns, table.pending[row]);
      }
      const int status = sqlite3_step(statement);
      sqlite3_reset(statement);
      if (status != SQLITE_DONE) return Fail("write to");
    }
  }
  return true;
}

bool DatabaseFile::Commit() {
  if (!connection_->Run("COMMIT")) {
    Fail("write to");
    Discard();
    return false;
  }
  connection_->in_transaction = false;
  connection_.reset();  // closes it
  if (!temporary_path_.empty()) {
    std::error_code ec;
    fs::rename(temporary_path_, path_, ec);
    if (ec) {
      error_ = "cannot give " + Description() + " its name: " + ec.message();
      Discard();
      return false;
    }
    temporary_path_.clear();
  }
  created_ = false;
  committed_ = true;
  return true;
}

void DatabaseFile::Discard() {
  if (connection_ && connection_->in_transaction) connection_->Run("ROLLBACK");
  connection_.reset();
  std::error_code ec;
  for (const fs::path& made : {temporary_path_, created_ ? path_ : fs::path()}) {
    if (made.empty()) continue;
    fs::remove(made, ec);
    fs::remove(made.string() + "-journal", ec);
  }
  temporary_path_.clear();
  created_ = false;
}

#else  // no SQLite

bool DatabaseAvailable() { return false; }

struct DatabaseFile::Connection {};

DatabaseFile::DatabaseFile(fs::path path, std::string shown, bool append)
    : path_(std::move(path)), shown_(std::move(shown)), append_(append) {}
DatabaseFile::~DatabaseFile() = default;
bool DatabaseFile::Fail(const std::string& doing) {
  error_ = "cannot " + doing + " " + Description() + ": this build has no SQLite";
  return false;
}
std::string DatabaseFile::Open() {
  Fail("write");
  return error_;
}
bool DatabaseFile::Insert(std::string_view) { return Fail("write to"); }
bool DatabaseFile::Commit() { return Fail("write to"); }
void DatabaseFile::Discard() { created_ = append_ && false; }

#endif

std::string DatabaseFile::Description() const { return '"' + shown_ + '"'; }

std::uint64_t DatabaseFile::Bytes() const {
  std::error_code ec;
  const std::uintmax_t size = fs::file_size(path_, ec);
  return ec ? 0 : size;
}

}  // namespace generate
