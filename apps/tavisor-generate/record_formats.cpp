#include "record_formats.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <span>

#include "database_rows.h"
#include "output.h"
#include "tavisor/text.h"

namespace generate {

namespace {

// The bytes that each Windows-1252 byte becomes: in UTF-8 (every byte a
// character, see UndefinedBytes::kControls), and in a JSON string, which
// escapes the double quote, the backslash and the control characters below
// 0x20 (\b \t \n \f \r by name, the others as \u00XX): exactly what a
// JSON serialiser writes for them.
struct Replacement {
  char bytes[7] = {};  // written 8 bytes at a time, with `size`: the room for 6 more allows it
  unsigned char size = 0;
};
static_assert(sizeof(Replacement) == 8);

struct Replacements {
  std::array<Replacement, 256> utf8;
  std::array<Replacement, 256> json;

  Replacements() {
    for (int byte = 0; byte < 256; ++byte) {
      const std::string utf8_text =
          console::Cp1252ToUtf8(static_cast<char>(byte), console::UndefinedBytes::kControls);
      std::string json_text = utf8_text;
      switch (byte) {
        case '"':
          json_text = "\\\"";
          break;
        case '\\':
          json_text = "\\\\";
          break;
        case '\b':
          json_text = "\\b";
          break;
        case '\t':
          json_text = "\\t";
          break;
        case '\n':
          json_text = "\\n";
          break;
        case '\f':
          json_text = "\\f";
          break;
        case '\r':
          json_text = "\\r";
          break;
        default:
          if (byte < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(byte));
            json_text = escaped;
          }
      }
      Set(utf8[byte], utf8_text);
      Set(json[byte], json_text);
    }
  }

  static void Set(Replacement& r, const std::string& text) {
    r.size = static_cast<unsigned char>(text.size());
    std::memcpy(r.bytes, text.data(), text.size());
  }
};

// Made before main: no guard to test at every use.
const Replacements kTables;

// The bytes that make a CSV field go in double quotes.
struct CsvSpecials {
  std::array<bool, 256> quote{};
  CsvSpecials() {
    for (const unsigned char c : {',', '"', '\r', '\n'}) quote[c] = true;
  }
};
const CsvSpecials kCsvSpecials;

// "00" to "99".
struct DigitPairs {
  char pairs[200];
  DigitPairs() {
    for (int i = 0; i < 100; ++i) {
      pairs[2 * i] = static_cast<char>('0' + i / 10);
      pairs[2 * i + 1] = static_cast<char>('0' + i % 10);
    }
  }
};
const DigitPairs kDigitPairs;

// Two digits of a value from 0 to 99.
char* PutPair(char* p, unsigned value) {
  std::memcpy(p, kDigitPairs.pairs + 2 * value, 2);
  return p + 2;
}

// Every Put* writes at `p` and returns the end of what it wrote. The
// caller has made room for it (MostBytes).

char* Put(char* p, std::string_view bytes) {
  std::memcpy(p, bytes.data(), bytes.size());
  return p + bytes.size();
}

// `bytes` through a table.
char* PutReplaced(char* p, std::string_view bytes, const std::array<Replacement, 256>& table) {
  for (const char c : bytes) {
    const Replacement& r = table[static_cast<unsigned char>(c)];
    std::memcpy(p, &r, sizeof r);
    p += r.size;
  }
  return p;
}

char* PutUtf8(char* p, std::string_view cp1252) { return PutReplaced(p, cp1252, kTables.utf8); }

// A JSON string: the quotes, the text as UTF-8, escaped.
char* PutJsonString(char* p, std::string_view cp1252) {
  *p++ = '"';
  p = PutReplaced(p, cp1252, kTables.json);
  *p++ = '"';
  return p;
}

template <class Integer>
char* PutNumber(char* p, Integer value) {
  // Most numbers of a record are below 100.
  if (value >= 0 && value < 10) {
    *p = static_cast<char>('0' + value);
    return p + 1;
  }
  if (value >= 10 && value < 100) return PutPair(p, static_cast<unsigned>(value));
  return std::to_chars(p, p + 24, value).ptr;
}

// At least two digits: a "0" goes in front of the values 0 to 9.
template <class Integer>
char* PutTwoDigits(char* p, Integer value) {
  if (value >= 0 && value < 100) return PutPair(p, static_cast<unsigned>(value));
  return PutNumber(p, value);
}

// The time of day as tavisor::TimeText writes it: hh:mm:ss with the whole
// hours, a minus sign in front of a negative time.
char* PutTime(char* p, const tavisor::TimeOfDay& time) {
  if (time.is_negative()) *p++ = '-';
  p = PutTwoDigits(p, time.hours().count());
  *p++ = ':';
  p = PutTwoDigits(p, time.minutes().count());
  *p++ = ':';
  return PutTwoDigits(p, time.seconds().count());
}

// YYYY-MM-DD as stored: a year below 1000 keeps four digits (0999), a
// negative year gets its sign (the C library's "%04d-%02u-%02u").
char* PutIsoDate(char* p, const std::chrono::year_month_day& date) {
  const int year = static_cast<int>(date.year());
  const unsigned month = static_cast<unsigned>(date.month());
  const unsigned day = static_cast<unsigned>(date.day());
  if (year < 0 || year > 9999) {
    char text[32];
    const int size = std::snprintf(text, sizeof text, "%04d-%02u-%02u", year, month, day);
    return Put(p, {text, static_cast<std::size_t>(size)});
  }
  p = PutPair(p, static_cast<unsigned>(year / 100));
  p = PutPair(p, static_cast<unsigned>(year % 100));
  *p++ = '-';
  p = PutTwoDigits(p, month);
  *p++ = '-';
  return PutTwoDigits(p, day);
}

// Decimal degrees, rounded to six places: degrees + minutes/60 +
// seconds/3600. For angles as records have them (no part negative) this is
// exact in whole numbers: the total in seconds times 10^6 / 3600, rounded,
// is the value in millionths of a degree; the quotient is never a half, so
// there is no tie to break. `all_places`: "58.500000" (CSV), otherwise
// "58.5", and "57.0" for a whole number, as JSON writes a double.
char* PutDecimalDegrees(char* p, const tavisor::Angle& angle, bool all_places) {
  const auto [degrees, minutes, seconds] = angle;
  if (degrees < 0 || minutes < 0 || seconds < 0) {
    // Not made by the library: the sum in floating point, as printf and a
    // JSON serialiser round it.
    const double sum = std::round((degrees + minutes / 60.0 + seconds / 3600.0) * 1e6) / 1e6;
    if (all_places) return std::to_chars(p, p + 64, sum, std::chars_format::fixed, 6).ptr;
    char* end = std::to_chars(p, p + 64, sum).ptr;
    if (std::string_view(p, static_cast<std::size_t>(end - p)).find_first_of(".e") ==
        std::string_view::npos) {
      end = Put(end, ".0");
    }
    return end;
  }
  const std::int64_t total = std::int64_t{degrees} * 3600 + std::int64_t{minutes} * 60 + seconds;
  const std::int64_t millionths = (total * 5000 + 9) / 18;  // total * 10^6 / 3600, rounded
  p = PutNumber(p, millionths / 1000000);
  *p++ = '.';
  const auto fraction = static_cast<unsigned>(millionths % 1000000);
  if (!all_places && fraction == 0) return Put(p, "0");
  p = PutPair(p, fraction / 10000);
  p = PutPair(p, fraction / 100 % 100);
  p = PutPair(p, fraction % 100);
  if (!all_places) {
    while (p[-1] == '0') --p;  // the fraction is above 0: a digit above 0 stays
  }
  return p;
}

std::string_view NameWithoutBlank(const std::string& name) {
  std::string_view view = name;
  if (!view.empty() && view.back() == ' ') view.remove_suffix(1);
  return view;
}

std::string_view RarityText(const char& rarity) {
  return rarity == '\0' ? std::string_view() : std::string_view(&rarity, 1);
}

// Room for a record in any form: every text byte may become six, and each
// sighting's numbers and names fit in 512 bytes (CSV repeats the species
// on every row).
std::size_t MostBytes(const tavisor::Item& item) {
  const std::size_t species = item.order.size() + item.family.size() + item.name.size() + 1;
  std::size_t bytes = 512 + 6 * species;
  for (const auto& observation : item.observations) {
    const tavisor::Location& location = std::get<0>(observation);
    bytes += 512 + 6 * species + (location.index() == 0 ? 6 * std::get<0>(location).size() : 0);
  }
  return bytes;
}

// Degrees, minutes and seconds, separated by commas.
char* PutAngle(char* p, const tavisor::Angle& angle) {
  p = PutNumber(p, std::get<0>(angle));
  *p++ = ',';
  p = PutNumber(p, std::get<1>(angle));
  *p++ = ',';
  return PutNumber(p, std::get<2>(angle));
}

char* PutAngleJson(char* p, const tavisor::Angle& angle) {
  *p++ = '[';
  p = PutAngle(p, angle);
  *p++ = ']';
  return p;
}

char* PutJson(char* p, const tavisor::Item& item, std::uint64_t number) {
  p = Put(p, "{\"record\":");
  p = PutNumber(p, number);
  p = Put(p, ",\"order\":");
  p = PutJsonString(p, item.order);
  p = Put(p, ",\"family\":");
  p = PutJsonString(p, item.family);
  p = Put(p, ",\"name\":");
  p = PutJsonString(p, NameWithoutBlank(item.name));
  p = Put(p, ",\"rarity\":");
  p = PutJsonString(p, RarityText(item.rarity));
  p = Put(p, item.rarity == 'A' ? ",\"common\":true,\"observations\":["
                                : ",\"common\":false,\"observations\":[");
  bool first = true;
  for (const auto& [location, date, time, count] : item.observations) {
    p = Put(p, first ? "{\"place\":{" : ",{\"place\":{");
    first = false;
    if (location.index() == 0) {
      p = Put(p, "\"municipality\":");
      p = PutJsonString(p, std::get<0>(location));
    } else {
      const tavisor::Coordinates& c = std::get<1>(location);
      p = Put(p, "\"latitude\":");
      p = PutAngleJson(p, c.latitude);
      p = Put(p, ",\"longitude\":");
      p = PutAngleJson(p, c.longitude);
      p = Put(p, ",\"latitude_decimal\":");
      p = PutDecimalDegrees(p, c.latitude, false);
      p = Put(p, ",\"longitude_decimal\":");
      p = PutDecimalDegrees(p, c.longitude, false);
    }
    p = Put(p, "},\"date\":\"");
    p = PutIsoDate(p, date);
    p = Put(p, "\",\"time\":\"");
    p = PutTime(p, time);
    p = Put(p, "\",\"count\":");
    p = count ? PutNumber(p, *count) : Put(p, "null");
    *p++ = '}';
  }
  return Put(p, "]}");
}

// The columns, in order, with the type of their values; an empty field is a
// missing value (a place's other columns, an uncounted sighting).
constexpr CsvColumn kCsvColumns[] = {{"record", "integer"},
                                     {"order", "text"},
                                     {"family", "text"},
                                     {"name", "text"},
                                     {"rarity", "text"},
                                     {"common", "boolean (true or false)"},
                                     {"observation", "integer"},
                                     {"municipality", "text"},
                                     {"latitude_degrees", "integer"},
                                     {"latitude_minutes", "integer"},
                                     {"latitude_seconds", "integer"},
                                     {"longitude_degrees", "integer"},
                                     {"longitude_minutes", "integer"},
                                     {"longitude_seconds", "integer"},
                                     {"latitude", "decimal degrees"},
                                     {"longitude", "decimal degrees"},
                                     {"date", "date (YYYY-MM-DD)"},
                                     {"time", "time of day (hh:mm:ss)"},
                                     {"count", "integer"}};

// RFC 4180: a field holding a comma, a double quote or a line break goes in
// double quotes, with its double quotes doubled.
char* PutCsvField(char* p, std::string_view cp1252) {
  if (std::none_of(cp1252.begin(), cp1252.end(),
                   [](char c) { return kCsvSpecials.quote[static_cast<unsigned char>(c)]; })) {
    return PutUtf8(p, cp1252);
  }
  *p++ = '"';
  for (const char c : cp1252) {
    if (c == '"') *p++ = '"';
    p = PutUtf8(p, {&c, 1});
  }
  *p++ = '"';
  return p;
}

char* PutAngleCsv(char* p, const tavisor::Angle& angle) {
  p = PutAngle(p, angle);
  *p++ = ',';
  return p;
}

// A record without observations (its making failed early) still gets a
// row, with the observation's columns empty, so that no record is lost.
char* PutCsv(char* p, const tavisor::Item& item, std::uint64_t number) {
  // The record's columns, the same on each of its rows.
  char* const species = p;
  p = PutNumber(p, number);
  *p++ = ',';
  p = PutCsvField(p, item.order);
  *p++ = ',';
  p = PutCsvField(p, item.family);
  *p++ = ',';
  p = PutCsvField(p, NameWithoutBlank(item.name));
  *p++ = ',';
  p = PutCsvField(p, RarityText(item.rarity));
  p = Put(p, item.rarity == 'A' ? ",true," : ",false,");
  const std::string_view record_columns(species, static_cast<std::size_t>(p - species));
  if (item.observations.empty()) return Put(p, ",,,,,,,,,,,,\r\n");
  std::int32_t observation_number = 0;
  for (const auto& [location, date, time, count] : item.observations) {
    if (observation_number > 0) p = Put(p, record_columns);
    p = PutNumber(p, ++observation_number);
    *p++ = ',';
    if (location.index() == 0) {
      p = PutCsvField(p, std::get<0>(location));
      p = Put(p, ",,,,,,,,,");
    } else {
      const tavisor::Coordinates& c = std::get<1>(location);
      *p++ = ',';
      p = PutAngleCsv(p, c.latitude);
      p = PutAngleCsv(p, c.longitude);
      p = PutDecimalDegrees(p, c.latitude, true);
      *p++ = ',';
      p = PutDecimalDegrees(p, c.longitude, true);
      *p++ = ',';
    }
    p = PutIsoDate(p, date);
    *p++ = ',';
    p = PutTime(p, time);
    *p++ = ',';
    if (count) p = PutNumber(p, *count);
    p = Put(p, "\r\n");
  }
  return p;
}

// A database's rows (database_rows.h): the record's, then one per
// observation, numbered from 1 as in CSV; a municipality leaves the
// position's columns NULL and a position the municipality's.
char* PutRowText(char* p, std::string_view cp1252) {
  return rows::PutText(p, [&](char* at) { return PutUtf8(at, cp1252); });
}

// The decimal degrees that the other forms write, as a number.
char* PutRowDegrees(char* p, const tavisor::Angle& angle) {
  char text[64];
  const char* const end = PutDecimalDegrees(text, angle, true);
  double value = 0;
  std::from_chars(text, end, value);
  return rows::PutReal(p, value);
}

char* PutRows(char* p, const tavisor::Item& item, std::uint64_t number) {
  const auto record = static_cast<std::int64_t>(number);
  *p++ = rows::kRecordRow;
  p = rows::PutInteger(p, record);
  p = PutRowText(p, item.order);
  p = PutRowText(p, item.family);
  p = PutRowText(p, NameWithoutBlank(item.name));
  p = PutRowText(p, RarityText(item.rarity));
  p = rows::PutInteger(p, item.rarity == 'A' ? 1 : 0);
  std::int64_t observation = 0;
  for (const auto& [location, date, time, count] : item.observations) {
    *p++ = rows::kObservationRow;
    p = rows::PutInteger(p, record);
    p = rows::PutInteger(p, ++observation);
    if (location.index() == 0) {
      p = PutRowText(p, std::get<0>(location));
      p = Put(p, std::string(8, rows::kNull));
    } else {
      *p++ = rows::kNull;
      const tavisor::Coordinates& c = std::get<1>(location);
      for (const tavisor::Angle& angle : {c.latitude, c.longitude}) {
        p = rows::PutInteger(p, std::get<0>(angle));
        p = rows::PutInteger(p, std::get<1>(angle));
        p = rows::PutInteger(p, std::get<2>(angle));
      }
      p = PutRowDegrees(p, c.latitude);
      p = PutRowDegrees(p, c.longitude);
    }
    // Not the bindings themselves: lambdas may capture them from C++20 on,
    // which clang 14 does not have yet.
    const std::chrono::year_month_day& day = date;
    const tavisor::TimeOfDay& time_of_day = time;
    p = rows::PutText(p, [&](char* at) { return PutIsoDate(at, day); });
    p = rows::PutText(p, [&](char* at) { return PutTime(at, time_of_day); });
    if (count) {
      p = rows::PutInteger(p, *count);
    } else {
      *p++ = rows::kNull;
    }
  }
  return p;
}

// The Estonian print-out, as the record's stream insertion writes it
// (tavisor/text.h), in Windows-1252 or converted to UTF-8.
class TextWriter {
 public:
  TextWriter(char* p, bool utf8) : p_(p), utf8_(utf8) {}

  TextWriter& operator<<(std::string_view cp1252) {
    p_ = utf8_ ? PutUtf8(p_, cp1252) : Put(p_, cp1252);
    return *this;
  }
  TextWriter& operator<<(std::int32_t value) {
    p_ = PutNumber(p_, value);
    return *this;
  }

  void Angle(const tavisor::Angle& angle, char hemisphere) {
    *this << std::get<0>(angle) << "\xB0" << std::get<1>(angle) << "'" << std::get<2>(angle)
          << "\" " << std::string_view(&hemisphere, 1);
  }

  void Date(const std::chrono::year_month_day& date) {
    p_ = PutTwoDigits(p_, static_cast<unsigned>(date.day()));
    *p_++ = '-';
    p_ = PutTwoDigits(p_, static_cast<unsigned>(date.month()));
    *p_++ = '-';
    p_ = PutNumber(p_, static_cast<int>(date.year()));
  }

  void Time(const tavisor::TimeOfDay& time) { p_ = PutTime(p_, time); }
  void EndLine() { *p_++ = '\n'; }

  char* end() const { return p_; }

 private:
  char* p_;
  const bool utf8_;
};

// The layout is tavisor/text.h's, the one the record's stream insertion
// uses; only the writer differs.
char* PutText(char* p, const tavisor::Item& item, bool utf8) {
  TextWriter out(p, utf8);
  tavisor::LayOutRecord(out, item.name, item.order, item.family, item.rarity, item.observations);
  return out.end();
}

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

}  // namespace

std::optional<Format> FormatByName(std::string_view name) {
  if (name == "jsonl") return Format::kJsonLines;
  if (name == "json") return Format::kJson;
  if (name == "csv") return Format::kCsv;
  if (name == "text") return Format::kText;
  if (name == "sqlite") return Format::kSqlite;
  return std::nullopt;
}

FileKind KindOfFile(std::string_view file_name) {
  FileKind kind;
  std::filesystem::path name = std::filesystem::path(std::string(file_name)).filename();
  std::string extension = name.extension().string();
  for (const Compression compression : {Compression::kGzip, Compression::kZstd}) {
    if (Lower(extension) == ExtensionOf(compression)) kind.compression = compression;
  }
  if (kind.compression != Compression::kNone) {
    name = name.stem();
    extension = name.extension().string() + extension;
  }
  kind.extension = extension;
  const std::string form = Lower(name.extension().string());
  if (form == ".jsonl" || form == ".ndjson") kind.format = Format::kJsonLines;
  if (form == ".json") kind.format = Format::kJson;
  if (form == ".csv") kind.format = Format::kCsv;
  if (form == ".txt") kind.format = Format::kText;
  if (form == ".sqlite" || form == ".sqlite3" || form == ".db") kind.format = Format::kSqlite;
  return kind;
}

std::span<const CsvColumn> CsvColumns() { return kCsvColumns; }

std::string FileHeader(const RecordForm& form) {
  if (form.format == Format::kJson) return "[";
  if (form.format != Format::kCsv || !form.csv_header) return {};
  std::string out;
  for (const CsvColumn& column : kCsvColumns) {
    if (!out.empty()) out += ',';
    out += column.name;
  }
  return out + "\r\n";
}

std::string FileFooter(const RecordForm& form) {
  return form.format == Format::kJson ? "\n]\n" : std::string();
}

void AppendRecord(ByteBuffer& out, const tavisor::Item& item, const RecordForm& form,
                  std::uint64_t number, bool first) {
  char* p = out.Reserve(MostBytes(item));
  switch (form.format) {
    case Format::kJsonLines:
      p = PutJson(p, item, number);
      *p++ = '\n';
      break;
    case Format::kJson:
      p = Put(p, first ? "\n" : ",\n");
      p = PutJson(p, item, number);
      break;
    case Format::kCsv:
      p = PutCsv(p, item, number);
      break;
    case Format::kText:
      p = PutText(p, item, form.utf8_text);
      break;
    case Format::kSqlite:
      p = PutRows(p, item, number);
      break;
  }
  out.Commit(p);
}

}  // namespace generate
