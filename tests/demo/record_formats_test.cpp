// The forms that generate writes, record by record, against independent
// writers of the same: nlohmann's JSON serialiser, the print-out of
// tavisor/text.h, printf's fixed-point decimals.
#include "record_formats.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "output.h"
#include "tavisor/record_stream.h"
#include "tavisor/text.h"

namespace generate {
namespace {

using Json = nlohmann::ordered_json;
using tavisor::Item;

std::string Written(const Item& item, Format format, std::uint64_t number = 1, bool utf8 = false) {
  ByteBuffer out;
  AppendRecord(out, item, {format, utf8}, number, true);
  return std::string(out.view());
}

tavisor::TimeOfDay Seconds(long seconds) {
  return tavisor::TimeOfDay(std::chrono::seconds(seconds));
}

// Records no generator makes: every byte in the texts, negative and large
// numbers, odd dates and times, no observations.
std::vector<Item> OddRecords() {
  std::string all_bytes;
  for (int b = 1; b < 256; ++b) all_bytes += static_cast<char>(b);
  using std::chrono::day, std::chrono::month, std::chrono::year;
  Item odd("or,der", "fa\"mily\"", all_bytes + " ", 'a', {});
  odd.observations.emplace_back(all_bytes, year{999} / month{4} / day{31}, Seconds(86460), 0);
  odd.observations.emplace_back(tavisor::Coordinates(-5, 30, 0, 180, -1, 59),
                                year{-12} / month{13} / day{0}, Seconds(-3661), -7);
  odd.observations.emplace_back(tavisor::Coordinates(57, 0, 0, 28, 59, 59),
                                year{2000} / month{2} / day{29}, Seconds(0), std::nullopt);
  odd.observations.emplace_back(tavisor::Coordinates(2147483647, 59, 59, 0, 0, 1),
                                year{12345} / month{1} / day{1}, Seconds(3600000), 1);
  return {odd, Item("", "", "", '\0', {}), Item("\"", ",", "\r\n", '"', {})};
}

std::vector<Item> SeededRecords(int count) {
  tavisor::RecordStream stream(20251209, TAVISOR_DATA_DIR);
  std::vector<Item> records(static_cast<std::size_t>(count));
  for (Item& record : records) stream.Next(record);
  return records;
}

double Rounded(const tavisor::Angle& a) {
  return std::round((std::get<0>(a) + std::get<1>(a) / 60.0 + std::get<2>(a) / 3600.0) * 1e6) / 1e6;
}

// A JSON line is what the serialiser writes for the tree it parses to, and
// the tree holds the record.
void ExpectJsonOf(const Item& item, std::uint64_t number) {
  const std::string line = Written(item, Format::kJsonLines, number);
  ASSERT_EQ(line.back(), '\n');
  const std::string object = line.substr(0, line.size() - 1);
  const Json json = Json::parse(object);
  ASSERT_EQ(json.dump(), object);
  EXPECT_EQ(json["record"], number);
  EXPECT_EQ(json["common"], item.rarity == 'A');
  ASSERT_EQ(json["observations"].size(), item.observations.size());
  for (std::size_t i = 0; i < item.observations.size(); ++i) {
    const auto& [location, date, time, count] = item.observations[i];
    const Json& o = json["observations"][i];
    EXPECT_EQ(o["time"], tavisor::TimeText(time));
    EXPECT_EQ(o["count"].is_null(), !count.has_value());
    if (location.index() == 1) {
      const tavisor::Coordinates& c = std::get<1>(location);
      EXPECT_EQ(o["place"]["latitude_decimal"].get<double>(), Rounded(c.latitude));
      EXPECT_EQ(o["place"]["longitude_decimal"].get<double>(), Rounded(c.longitude));
      EXPECT_EQ(o["place"]["latitude"][0], std::get<0>(c.latitude));
    } else {
      EXPECT_EQ(o["place"]["municipality"],
                console::Cp1252ToUtf8(std::get<0>(location), console::UndefinedBytes::kControls));
    }
  }
}

// The text form is the record's stream insertion, in either encoding.
void ExpectTextOf(const Item& item) {
  std::ostringstream printed;
  printed << item;
  EXPECT_EQ(Written(item, Format::kText), printed.str());
  EXPECT_EQ(Written(item, Format::kText, 1, true),
            console::Cp1252ToUtf8(printed.str(), console::UndefinedBytes::kControls));
}

TEST(RecordFormats, JsonAndTextAsIndependentWritersWriteThem) {
  std::vector<Item> records = SeededRecords(3000);
  for (Item& odd : OddRecords()) records.push_back(std::move(odd));
  std::uint64_t number = 0;
  for (const Item& record : records) {
    ExpectJsonOf(record, ++number);
    ExpectTextOf(record);
    if (HasFailure()) FAIL() << "record " << number;
  }
}

// Every position a record can hold: JSON's shortest decimal and CSV's six
// places, as the serialiser and printf write the rounded degrees.
TEST(RecordFormats, WriteEveryPositionsDecimalDegrees) {
  for (int degrees = 21; degrees <= 59; ++degrees) {
    for (int minutes = 0; minutes < 60; ++minutes) {
      for (int seconds = 0; seconds < 60; ++seconds) {
        Item item("o", "f", "n", 'A', {});
        const tavisor::Angle angle{degrees, minutes, seconds};
        item.observations.emplace_back(tavisor::Coordinates(degrees, minutes, seconds, 0, 0, 0),
                                       std::chrono::year{2000} / 1 / 1, Seconds(0), 1);
        const std::string json = Written(item, Format::kJsonLines);
        const std::string expected = "\"latitude_decimal\":" + Json(Rounded(angle)).dump() + ",";
        ASSERT_NE(json.find(expected), std::string::npos) << json;
        char fixed[32];
        std::snprintf(fixed, sizeof fixed, ",%.6f,", Rounded(angle));
        ASSERT_NE(Written(item, Format::kCsv).find(fixed), std::string::npos) << fixed;
      }
    }
  }
}

TEST(RecordFormats, JsonDocumentAndFileKinds) {
  const std::vector<Item> records = SeededRecords(3);
  ByteBuffer out;
  out.Append(FileHeader({Format::kJson, false}));
  for (std::uint64_t n = 1; n <= 3; ++n) {
    AppendRecord(out, records[n - 1], {Format::kJson, false}, n, n == 1);
  }
  out.Append(FileFooter({Format::kJson, false}));
  const Json document = Json::parse(out.view());
  ASSERT_EQ(document.size(), 3u);
  EXPECT_EQ(document[2]["record"], 3);
  EXPECT_EQ(Json::parse(FileHeader({Format::kJson, false}) + FileFooter({Format::kJson, false})),
            Json::array());

  struct Case {
    const char* name;
    std::optional<Format> format;
    Compression compression;
  };
  constexpr Compression kNone = Compression::kNone, kGzip = Compression::kGzip,
                        kZstd = Compression::kZstd;
  for (const Case& c :
       {Case{"a.jsonl", Format::kJsonLines, kNone},
        Case{"dir.v2/A.NDJSON", Format::kJsonLines, kNone}, Case{"a.Json", Format::kJson, kNone},
        Case{"a.CSV.gz", Format::kCsv, kGzip}, Case{"a.txt.GZ", Format::kText, kGzip},
        Case{"a.jsonl.zst", Format::kJsonLines, kZstd}, Case{"a.Json.ZST", Format::kJson, kZstd},
        Case{"a.zst.csv", Format::kCsv, kNone}, Case{"a.gz.zst", std::nullopt, kZstd},
        Case{"a.xml", std::nullopt, kNone}, Case{"a.gz", std::nullopt, kGzip},
        Case{"birds", std::nullopt, kNone}}) {
    const FileKind kind = KindOfFile(c.name);
    EXPECT_EQ(kind.format, c.format) << c.name;
    EXPECT_EQ(kind.compression, c.compression) << c.name;
  }
}

}  // namespace
}  // namespace generate
