// The writers against what the files held before they wrote straight into
// a buffer (a JSON tree per record, a stream for the text form): the same
// bytes for the same records.
#include "record_formats.h"

#include <gtest/gtest.h>

#include <string>

#include "old_record_formats.h"
#include "tavisor/record_stream.h"

namespace demo {
namespace {

using tavisor::Item;

// Records no generator makes: every byte in the texts, negative and large
// numbers, an old year, no observations.
std::vector<Item> OddRecords() {
  std::vector<Item> records;
  std::string all_bytes;
  for (int b = 1; b < 256; ++b) all_bytes += static_cast<char>(b);
  using std::chrono::day, std::chrono::month, std::chrono::year;
  const auto date = [](int y, unsigned m, unsigned d) { return year{y} / month{m} / day{d}; };
  Item odd("or,der", "fa\"mily\"", all_bytes + " ", 'a', {});
  odd.observations.emplace_back(all_bytes, date(999, 4, 31),
                                tavisor::TimeOfDay(std::chrono::seconds(86460)), 0);
  odd.observations.emplace_back(tavisor::Coordinates(-5, 30, 0, 180, -1, 59), date(-12, 13, 0),
                                tavisor::TimeOfDay(std::chrono::seconds(-3661)), -7);
  odd.observations.emplace_back(tavisor::Coordinates(57, 0, 0, 28, 59, 59), date(2000, 2, 29),
                                tavisor::TimeOfDay(std::chrono::seconds(0)), std::nullopt);
  odd.observations.emplace_back(tavisor::Coordinates(2147483647, 59, 59, 0, 0, 1),
                                date(12345, 1, 1), tavisor::TimeOfDay(std::chrono::hours(1000)), 1);
  records.push_back(odd);
  records.emplace_back("", "", "", '\0', std::vector<tavisor::Observation>{});
  records.emplace_back("\"", ",", "\r\n", '"', std::vector<tavisor::Observation>{});
  return records;
}

std::string Old(const Item& item, demo_old::Format format, bool utf8, std::uint64_t number) {
  std::string out;
  demo_old::AppendRecord(out, item, {format, utf8}, number);
  return out;
}

std::string New(const Item& item, Format format, bool utf8, std::uint64_t number) {
  ByteBuffer out;
  AppendRecord(out, item, {format, utf8}, number, true);
  return std::string(out.view());
}

void ExpectSameBytes(const Item& item, std::uint64_t number) {
  const std::string json = New(item, Format::kJsonLines, false, number);
  const std::string prefix = "{\"record\":" + std::to_string(number) + ",";
  ASSERT_EQ(json.substr(0, prefix.size()), prefix);
  ASSERT_EQ("{" + json.substr(prefix.size()),
            Old(item, demo_old::Format::kJsonLines, false, number));
  ASSERT_EQ(New(item, Format::kCsv, false, number),
            Old(item, demo_old::Format::kCsv, false, number));
  for (const bool utf8 : {false, true}) {
    ASSERT_EQ(New(item, Format::kText, utf8, number),
              Old(item, demo_old::Format::kText, utf8, number));
  }
}

TEST(RecordFormats, WriteTheBytesOfBefore) {
  EXPECT_EQ(FileHeader({Format::kCsv, false}),
            demo_old::FileHeader({demo_old::Format::kCsv, false}));
  tavisor::RecordStream stream(20251209, TAVISOR_DATA_DIR);
  Item record;
  for (std::uint64_t n = 1; n <= 20000; ++n) {
    stream.Next(record);
    ExpectSameBytes(record, n);
  }
  for (const Item& odd : OddRecords()) ExpectSameBytes(odd, 7);
}

// Every position a record can hold, in decimal degrees as JSON wrote them.
TEST(RecordFormats, WriteEveryPositionAsBefore) {
  for (int degrees = 21; degrees <= 59; ++degrees) {
    for (int minutes = 0; minutes < 60; ++minutes) {
      for (int seconds = 0; seconds < 60; ++seconds) {
        Item item("o", "f", "n", 'A', {});
        item.observations.emplace_back(tavisor::Coordinates(degrees, minutes, seconds, 0, 0, 0),
                                       std::chrono::year{2000} / 1 / 1, tavisor::TimeOfDay(), 1);
        ASSERT_EQ("{" + New(item, Format::kJsonLines, false, 1).substr(12),
                  Old(item, demo_old::Format::kJsonLines, false, 1));
        ASSERT_EQ(New(item, Format::kCsv, false, 1), Old(item, demo_old::Format::kCsv, false, 1));
      }
    }
  }
}

}  // namespace
}  // namespace demo
