// Making up a random record on the library's process-wide engines: the
// record code of items/record_maker.h, drawn from the runs of the engines'
// words that each thread holds (random_engines.h).
#include <exception>

#include "items/data_item.h"
#include "items/random_engines.h"
#include "items/random_record.h"
#include "items/record_maker.h"
#include "platform/console.h"
#include "refdata/reference_lists.h"

namespace tavisor {

DataItem::DataItem() : DataItem(DrawnLists()) {}

DataItem::DataItem(const ReferenceLists& lists) : DataItem(lists, LibraryRecordEngines()) {}

DataItem::DataItem(const ReferenceLists& lists, RecordEngines& engines) {
  try {
    DataItemGenerator::Fill(*this, lists, engines);
  } catch (const std::exception& e) {
    platform::Console{}.WriteLine("Creating of item failed", e.what());
  }
}

DllCoordinates::DllCoordinates()
    : Coordinates(LibraryRecordEngines().coord.Draw(
          [](auto& engine, auto& d) { return record_maker::DrawCoordinates(engine, d); })) {}

std::chrono::year_month_day RandomDate() {
  return LibraryRecordEngines().date.Draw(
      [](auto& engine, auto& d) { return record_maker::DrawDate(engine, d); });
}

TimeOfDay RandomTime() {
  return LibraryRecordEngines().date.Draw(
      [](auto& engine, auto& d) { return record_maker::DrawTime(engine, d); });
}

}  // namespace tavisor
