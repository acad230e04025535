// The rows that a record becomes in a database, packed into bytes: the
// maker threads turn records into rows (with the text already in UTF-8 and
// the decimal degrees worked out), and the writer only binds them to its
// prepared statements, in order. A chunk carries them as it carries text,
// record by record.
//
// A row is its table's tag followed by one value per column, in the
// table's order; a value is its kind's tag followed by its bytes, in the
// machine's own order (the bytes never leave the process).
#pragma once

#include <cstdint>
#include <cstring>

namespace generate::rows {

// Tables.
constexpr char kRecordRow = 'R';       // a record: the `records` table
constexpr char kObservationRow = 'O';  // one of its observations: `observations`

// Values.
constexpr char kNull = 'n';
constexpr char kInteger = 'i';  // 8 bytes: std::int64_t
constexpr char kReal = 'r';     // 8 bytes: double
constexpr char kText = 't';     // 4 bytes: std::uint32_t length, then the UTF-8 bytes

inline char* PutInteger(char* p, std::int64_t value) {
  *p++ = kInteger;
  std::memcpy(p, &value, sizeof value);
  return p + sizeof value;
}

inline char* PutReal(char* p, double value) {
  *p++ = kReal;
  std::memcpy(p, &value, sizeof value);
  return p + sizeof value;
}

// Text whose bytes `put_bytes(p)` writes at `p`, returning their end.
template <class PutBytes>
char* PutText(char* p, PutBytes put_bytes) {
  *p++ = kText;
  char* const length_at = p;
  char* const end = put_bytes(p + sizeof(std::uint32_t));
  const auto length = static_cast<std::uint32_t>(end - (length_at + sizeof(std::uint32_t)));
  std::memcpy(length_at, &length, sizeof length);
  return end;
}

}  // namespace generate::rows
