// The forms in which `generate` writes records to files.
//
//   JSON Lines  one object per record and line, UTF-8:
//     {"order":"kurvitsalised","family":"kurvitslased","name":"Mudatilder",
//      "rarity":"A","common":true,"observations":[
//        {"place":{"latitude":[58,34,43],"longitude":[26,7,32],
//                  "latitude_decimal":58.578611,"longitude_decimal":26.125556},
//         "date":"2020-05-11","time":"06:17:00","count":null},
//        {"place":{"municipality":"Vinni vald"},"date":"2019-07-08",
//         "time":"12:26:00","count":6}]}
//   CSV         UTF-8, RFC 4180: a header row, then one row per observation
//               with the record's number and columns repeated; lines end
//               with CRLF.
//   text        the Estonian print-out, in Windows-1252 or UTF-8.
//
// The name loses the trailing blank that the bird list gives every name.
// Dates and times are written as stored, unchecked (31 April stays
// 2021-04-31; hours may reach 24). Decimal degrees are the plain sum
// degrees + minutes/60 + seconds/3600, rounded to six places (about 0.1 m).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "tavisor/item.h"

namespace demo_old {

enum class Format { kJsonLines, kCsv, kText };

struct RecordForm {
  Format format = Format::kJsonLines;
  bool utf8_text = false;  // text only: UTF-8 instead of Windows-1252
};

// "jsonl", "csv" or "text".
std::optional<Format> FormatByName(std::string_view name);
// By a file name's extension: .jsonl/.json, .csv, .txt; nothing otherwise.
std::optional<Format> FormatOfFile(std::string_view file_name);

// What a file of this form starts with: the CSV header row, else nothing.
std::string FileHeader(const RecordForm& form);

// Appends `item` in `form`; `number` (from 1) is its place in the run.
void AppendRecord(std::string& out, const tavisor::Item& item, const RecordForm& form,
                  std::uint64_t number);

}  // namespace demo_old
