// SQLite databases that `generate` writes: the records in `records`, their
// observations in `observations`, keyed by the record's number in the run
// (the "record" of the other forms) and the observation's number in its
// record.
//
// A new database is written under a temporary name beside its file, in one
// transaction, and takes its name only when the run is done, as the other
// files do. With `append`, the rows go into the named database (created
// when there is none) in one transaction that is rolled back unless the
// run is done; a database whose tables are not these is refused. Either
// way a run that fails or is interrupted leaves the database as it was.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace generate {

// False when the program was built without SQLite: databases are refused.
bool DatabaseAvailable();

// The CREATE TABLE statements of the database, each without its ";", in
// the order they are made; every database gets exactly these texts.
const std::vector<std::string>& DatabaseSchema();

class DatabaseFile {
 public:
  // `path` (absolute), named `shown` in messages; opens nothing yet.
  DatabaseFile(std::filesystem::path path, std::string shown, bool append);
  ~DatabaseFile();  // leaves the database as it was unless committed
  DatabaseFile(const DatabaseFile&) = delete;
  DatabaseFile& operator=(const DatabaseFile&) = delete;

  // Opens the database and starts the transaction. Returns an empty text,
  // or why it failed.
  std::string Open();

  // Inserts `rows`: the rows of whole records (database_rows.h). False when
  // it failed (see Error).
  bool Insert(std::string_view rows);
  const std::string& Error() const { return error_; }

  // Ends the transaction and, for a new database, gives it its name.
  bool Commit();
  // Rolls back; a new database is removed.
  void Discard();
  // Whether Commit succeeded.
  bool Committed() const { return committed_; }

  // The file's name in double quotes.
  std::string Description() const;
  // Its size, once committed.
  std::uint64_t Bytes() const;

 private:
  struct Connection;
  bool Fail(const std::string& doing);

  std::filesystem::path path_;
  std::string shown_;
  bool append_;
  std::filesystem::path temporary_path_;  // a new database until Commit
  bool created_ = false;                  // --append made the file
  bool committed_ = false;
  std::unique_ptr<Connection> connection_;
  std::string error_;
};

}  // namespace generate
