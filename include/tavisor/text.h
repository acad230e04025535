// The Estonian text form of a record: the one implementation that both the
// library's print-out of its own records and clients printing an Item use.
//
// Texts are Windows-1252 bytes: the degree sign is 0xB0, and the count lines
// carry 0xE4 and 0xF5. Every line ends with std::endl.
#pragma once

#include "tavisor/build_requirements.h"

#include <chrono>
#include <cstdint>
#include <ostream>
#include <string>
#include <tuple>
#include <variant>

#include "tavisor/item.h"

namespace tavisor {

namespace text_detail {

// Degrees, the degree sign, minutes, an apostrophe, seconds, a double quote,
// a blank and the hemisphere letter; plain decimal numbers, no padding.
inline std::string AngleText(const Angle& angle, char hemisphere) {
  std::string text = std::to_string(std::get<0>(angle));
  text += '\xB0';
  text += std::to_string(std::get<1>(angle));
  text += '\'';
  text += std::to_string(std::get<2>(angle));
  text += "\" ";
  text += hemisphere;
  return text;
}

// At least two digits: a "0" goes in front of the values 0 to 9.
inline std::string TwoDigits(long long value) {
  std::string text = std::to_string(value);
  if (value >= 0 && value < 10) text.insert(text.begin(), '0');
  return text;
}

}  // namespace text_detail

// The latitude, read as north: 58, 44, 0 gives 58 deg 44'0" N (the degree
// sign is the byte 0xB0).
inline std::string LatitudeText(const Coordinates& c) {
  return text_detail::AngleText(c.latitude, 'N');
}

// The longitude, read as east: 26, 7, 32 gives 26 deg 7'32" E.
inline std::string LongitudeText(const Coordinates& c) {
  return text_detail::AngleText(c.longitude, 'E');
}

// dd-mm-year, written as stored, without any check: 31-04-2021, 07-08-999.
inline std::string DateText(std::chrono::year_month_day date) {
  return text_detail::TwoDigits(static_cast<unsigned>(date.day())) + '-' +
         text_detail::TwoDigits(static_cast<unsigned>(date.month())) + '-' +
         std::to_string(static_cast<int>(date.year()));
}

// hh:mm:ss with the whole hours, not reduced modulo 24: 24:01:00. A negative
// time of day (only ever made from negative parts) gets a leading minus sign,
// as the standard formatting of a negative duration would write it.
inline std::string TimeText(const TimeOfDay& time) {
  std::string text = time.is_negative() ? "-" : "";
  text += text_detail::TwoDigits(time.hours().count());
  text += ':';
  text += text_detail::TwoDigits(time.minutes().count());
  text += ':';
  text += text_detail::TwoDigits(time.seconds().count());
  return text;
}

// The print-out of one record: the heading line, three lines per
// observation and a closing empty line, written to `out`, which offers
//   out << x               x a std::string, a string literal or an
//                          std::int32_t, written as it is
//   out.Angle(angle, 'N')  the form of LatitudeText (and LongitudeText)
//   out.Time(time)         the form of TimeText
//   out.Date(date)         the form of DateText
//   out.EndLine()          the end of a line
// WriteRecord lays it out on a std::ostream; a writer of its own (a buffer
// of bytes, say) lays out the same text through the same function.
// `observations` is any range of tuples shaped like Observation whose
// location alternative 1 is a Coordinates (or derives from it), so the
// library's own observation type prints through here too.
template <class Out, class ObservationRange>
void LayOutRecord(Out& out, const std::string& name, const std::string& order,
                  const std::string& family, char rarity, const ObservationRange& observations) {
  out << name << " (selts: " << order << ", sugukond: " << family << ")";
  if (rarity != 'A') out << " HARULDUS";
  out.EndLine();
  std::int32_t number = 1;
  for (const auto& observation : observations) {
    const auto& [location, date, time, count] = observation;
    out << number << ")Asukoht: ";
    if (location.index() == 0) {
      out << std::get<0>(location);
    } else {
      const Coordinates& position = std::get<1>(location);
      out.Angle(position.latitude, 'N');
      out << " ";
      out.Angle(position.longitude, 'E');
    }
    out.EndLine();
    out << "Vaatlus toimus: ";
    out.Time(time);
    out << " ";
    out.Date(date);
    out.EndLine();
    if (count.has_value()) {
      out << "N\xE4htud " << *count << (*count == 1 ? " lind" : " lindu");
    } else {
      out << "Lindude arvu ei \xF5nnestunud kokku lugeda";
    }
    out.EndLine();
    ++number;
  }
  out.EndLine();
}

namespace text_detail {

// LayOutRecord's writer on a std::ostream: every line ends with std::endl.
class StreamOut {
 public:
  explicit StreamOut(std::ostream& os) : os_(os) {}
  template <class T>
  StreamOut& operator<<(const T& value) {
    os_ << value;
    return *this;
  }
  void Angle(const tavisor::Angle& angle, char hemisphere) { os_ << AngleText(angle, hemisphere); }
  void Time(const TimeOfDay& time) { os_ << TimeText(time); }
  void Date(std::chrono::year_month_day date) { os_ << DateText(date); }
  void EndLine() { os_ << std::endl; }

 private:
  std::ostream& os_;
};

}  // namespace text_detail

// Writes one record to `os` (LayOutRecord).
template <class ObservationRange>
std::ostream& WriteRecord(std::ostream& os, const std::string& name, const std::string& order,
                          const std::string& family, char rarity,
                          const ObservationRange& observations) {
  text_detail::StreamOut out(os);
  LayOutRecord(out, name, order, family, rarity, observations);
  return os;
}

// The Estonian print-out of a record that a client received.
inline std::ostream& operator<<(std::ostream& os, const Item& item) {
  return WriteRecord(os, item.name, item.order, item.family, item.rarity, item.observations);
}

}  // namespace tavisor
