#include "old_record_formats.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>

#include "output.h"
#include "tavisor/text.h"

namespace demo_old {
using demo::Cp1252ToUtf8; using demo::UndefinedBytes;

namespace {

using Json = nlohmann::ordered_json;  // keeps the members in the order written

// Record texts are Windows-1252; files get every byte back as a character.
std::string Utf8(std::string_view text) { return Cp1252ToUtf8(text, UndefinedBytes::kControls); }

std::string NameWithoutBlank(const std::string& name) {
  if (!name.empty() && name.back() == ' ') return name.substr(0, name.size() - 1);
  return name;
}

std::string RarityText(char rarity) { return rarity == '\0' ? std::string() : Utf8({&rarity, 1}); }

// YYYY-MM-DD as stored: a year below 1000 keeps four digits (0999), a
// negative year gets its sign.
std::string IsoDate(const std::chrono::year_month_day& date) {
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02u-%02u", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()));
  return text;
}

double DecimalDegrees(const tavisor::Angle& angle) {
  const double sum = std::get<0>(angle) + std::get<1>(angle) / 60.0 + std::get<2>(angle) / 3600.0;
  return std::round(sum * 1e6) / 1e6;
}

// Six decimal places, whatever the C locale says.
std::string DecimalText(const tavisor::Angle& angle) {
  char text[64];
  const auto result =
      std::to_chars(text, text + sizeof text, DecimalDegrees(angle), std::chars_format::fixed, 6);
  return std::string(text, result.ptr);
}

// The trees are built member by member: nlohmann's initializer lists copy
// every value once more, which made writing JSON three times slower.
Json AngleJson(const tavisor::Angle& angle) {
  Json triple = Json::array();
  triple.get_ref<Json::array_t&>().reserve(3);
  triple.push_back(std::get<0>(angle));
  triple.push_back(std::get<1>(angle));
  triple.push_back(std::get<2>(angle));
  return triple;
}

Json PlaceJson(const tavisor::Location& location) {
  Json place = Json::object();
  if (location.index() == 0) {
    place["municipality"] = Utf8(std::get<0>(location));
    return place;
  }
  const tavisor::Coordinates& c = std::get<1>(location);
  place["latitude"] = AngleJson(c.latitude);
  place["longitude"] = AngleJson(c.longitude);
  place["latitude_decimal"] = DecimalDegrees(c.latitude);
  place["longitude_decimal"] = DecimalDegrees(c.longitude);
  return place;
}

void AppendJson(std::string& out, const tavisor::Item& item) {
  Json record = Json::object();
  record["order"] = Utf8(item.order);
  record["family"] = Utf8(item.family);
  record["name"] = Utf8(NameWithoutBlank(item.name));
  record["rarity"] = RarityText(item.rarity);
  record["common"] = item.rarity == 'A';
  Json& observations = record["observations"] = Json::array();
  observations.get_ref<Json::array_t&>().reserve(item.observations.size());
  for (const auto& [location, date, time, count] : item.observations) {
    Json observation = Json::object();
    observation["place"] = PlaceJson(location);
    observation["date"] = IsoDate(date);
    observation["time"] = tavisor::TimeText(time);
    observation["count"] = count ? Json(*count) : Json(nullptr);
    observations.push_back(std::move(observation));
  }
  out += record.dump();
  out += '\n';
}

constexpr const char* kCsvColumns[] = {"record",
                                       "order",
                                       "family",
                                       "name",
                                       "rarity",
                                       "common",
                                       "observation",
                                       "municipality",
                                       "latitude_degrees",
                                       "latitude_minutes",
                                       "latitude_seconds",
                                       "longitude_degrees",
                                       "longitude_minutes",
                                       "longitude_seconds",
                                       "latitude",
                                       "longitude",
                                       "date",
                                       "time",
                                       "count"};

// RFC 4180: a field holding a comma, a double quote or a line break goes in
// double quotes, with its double quotes doubled.
void AppendCsvField(std::string& out, std::string_view field) {
  if (field.find_first_of(",\"\r\n") == std::string_view::npos) {
    out += field;
    return;
  }
  out += '"';
  for (const char c : field) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

template <class Fields>
void AppendCsvRow(std::string& out, const Fields& fields) {
  bool first = true;
  for (const auto& field : fields) {
    if (!first) out += ',';
    first = false;
    AppendCsvField(out, field);
  }
  out += "\r\n";
}

// A record without observations (its making failed early) still gets a
// row, with the observation's columns empty, so that no record is lost.
void AppendCsv(std::string& out, const tavisor::Item& item, std::uint64_t number) {
  std::array<std::string, std::size(kCsvColumns)> row = {
      std::to_string(number),  Utf8(item.order),
      Utf8(item.family),       Utf8(NameWithoutBlank(item.name)),
      RarityText(item.rarity), item.rarity == 'A' ? "true" : "false"};
  if (item.observations.empty()) AppendCsvRow(out, row);
  std::size_t observation_number = 0;
  for (const auto& [location, date, time, count] : item.observations) {
    std::string* field = row.data() + 6;
    *field++ = std::to_string(++observation_number);
    if (location.index() == 0) {
      *field++ = Utf8(std::get<0>(location));
      for (int i = 0; i < 8; ++i) (field++)->clear();
    } else {
      const tavisor::Coordinates& c = std::get<1>(location);
      (field++)->clear();
      for (const tavisor::Angle* angle : {&c.latitude, &c.longitude}) {
        *field++ = std::to_string(std::get<0>(*angle));
        *field++ = std::to_string(std::get<1>(*angle));
        *field++ = std::to_string(std::get<2>(*angle));
      }
      *field++ = DecimalText(c.latitude);
      *field++ = DecimalText(c.longitude);
    }
    *field++ = IsoDate(date);
    *field++ = tavisor::TimeText(time);
    *field++ = count ? std::to_string(*count) : std::string();
    AppendCsvRow(out, row);
  }
}

void AppendText(std::string& out, const tavisor::Item& item, bool utf8) {
  std::ostringstream text;
  text << item;
  out += utf8 ? Utf8(text.str()) : text.str();
}

}  // namespace

std::optional<Format> FormatByName(std::string_view name) {
  if (name == "jsonl") return Format::kJsonLines;
  if (name == "csv") return Format::kCsv;
  if (name == "text") return Format::kText;
  return std::nullopt;
}

std::optional<Format> FormatOfFile(std::string_view file_name) {
  const std::string extension = std::filesystem::path(file_name).extension().string();
  if (extension == ".jsonl" || extension == ".json") return Format::kJsonLines;
  if (extension == ".csv") return Format::kCsv;
  if (extension == ".txt") return Format::kText;
  return std::nullopt;
}

std::string FileHeader(const RecordForm& form) {
  if (form.format != Format::kCsv) return {};
  std::string out;
  AppendCsvRow(out, kCsvColumns);
  return out;
}

void AppendRecord(std::string& out, const tavisor::Item& item, const RecordForm& form,
                  std::uint64_t number) {
  switch (form.format) {
    case Format::kJsonLines:
      AppendJson(out, item);
      break;
    case Format::kCsv:
      AppendCsv(out, item, number);
      break;
    case Format::kText:
      AppendText(out, item, form.utf8_text);
      break;
  }
}

}  // namespace demo_old
