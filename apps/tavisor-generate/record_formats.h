// The forms in which `generate` writes records to files.
//
//   JSON Lines  one object per record and line, UTF-8:
//     {"record":1,"order":"kurvitsalised","family":"kurvitslased",
//      "name":"Mudatilder","rarity":"A","common":true,"observations":[
//        {"place":{"latitude":[58,34,43],"longitude":[26,7,32],
//                  "latitude_decimal":58.578611,"longitude_decimal":26.125556},
//         "date":"2020-05-11","time":"06:17:00","count":null},
//        {"place":{"municipality":"Vinni vald"},"date":"2019-07-08",
//         "time":"12:26:00","count":6}]}
//   JSON        the same objects as one JSON array: "[", the objects
//               separated by ",", each on a line of its own, "]".
//   CSV         UTF-8, RFC 4180: a header row, then one row per observation
//               with the record's number and columns repeated; lines end
//               with CRLF.
//   text        the Estonian print-out, in Windows-1252 or UTF-8.
//   SQLite      a database: a row per record in `records` and a row per
//               observation in `observations` (database_file.h); a record
//               comes as its rows (database_rows.h), which the database's
//               writer inserts.
//
// "record" is the record's number in the run, from 1. The name loses the
// trailing blank that the bird list gives every name. Dates and times are
// written as stored, unchecked (31 April stays 2021-04-31; hours may reach
// 24). Decimal degrees are the plain sum degrees + minutes/60 +
// seconds/3600, rounded to six places (about 0.1 m); JSON writes them
// without trailing zeros (58.5, 57.0), CSV with all six places.
//
// Each record is written straight into a buffer, with no tree or stream in
// between: the forms cost about what copying their bytes costs.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "byte_buffer.h"
#include "compression.h"
#include "tavisor/item.h"

namespace generate {

enum class Format { kJsonLines, kJson, kCsv, kText, kSqlite };

struct RecordForm {
  Format format = Format::kJsonLines;
  bool utf8_text = false;  // text only: UTF-8 instead of Windows-1252
  bool csv_header = true;  // CSV only: the file starts with the header row
};

// "jsonl", "json", "csv", "text" or "sqlite".
std::optional<Format> FormatByName(std::string_view name);

// What a file name's extension says, in any case: .jsonl or .ndjson (JSON
// Lines), .json, .csv, .txt (text), each of them optionally followed by
// .gz or .zst (compressed); .sqlite, .sqlite3 or .db (a SQLite database).
struct FileKind {
  std::optional<Format> format;  // nothing for any other extension
  Compression compression = Compression::kNone;
  std::string extension;  // as given, for messages (".xml", ".csv.gz"; empty: none)
};
FileKind KindOfFile(std::string_view file_name);

// What a file of this form starts with (the CSV header row unless the form
// says otherwise, JSON's "[")
// and ends with (JSON's "]"), around its records.
std::string FileHeader(const RecordForm& form);
std::string FileFooter(const RecordForm& form);

// The CSV form's columns, in order, and what their values are.
struct CsvColumn {
  const char* name;
  const char* type;
};
std::span<const CsvColumn> CsvColumns();

// Appends `item` in `form`; `number` (from 1) is its place in the run, and
// `first` says whether it is the first record of its file.
void AppendRecord(ByteBuffer& out, const tavisor::Item& item, const RecordForm& form,
                  std::uint64_t number, bool first);

}  // namespace generate
