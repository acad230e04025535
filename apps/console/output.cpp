#include "output.h"

#include <cstdint>
#include <sstream>

#include "tavisor/text.h"

namespace console {

namespace {

// Code points of the bytes 0x80 to 0x9F; 0 where Windows-1252 has no
// character. The bytes 0xA0 to 0xFF are the Latin-1 code points.
constexpr std::uint16_t kHighControls[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

void AppendUtf8(std::string& out, std::uint32_t code_point) {
  if (code_point < 0x80) {
    out += static_cast<char>(code_point);
  } else if (code_point < 0x800) {
    out += static_cast<char>(0xC0 | (code_point >> 6));
    out += static_cast<char>(0x80 | (code_point & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (code_point >> 12));
    out += static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code_point & 0x3F));
  }
}

std::uint32_t CodePoint(char c, UndefinedBytes undefined) {
  const auto byte = static_cast<unsigned char>(c);
  if (byte < 0x80 || byte >= 0xA0) return byte;
  const std::uint32_t code_point = kHighControls[byte - 0x80];
  if (code_point != 0) return code_point;
  return undefined == UndefinedBytes::kReplace ? 0xFFFD : byte;
}

}  // namespace

std::string Cp1252ToUtf8(std::string_view text, UndefinedBytes undefined) {
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  for (const char c : text) AppendUtf8(out, CodePoint(c, undefined));
  return out;
}

std::string Cp1252ToUtf8(char byte, UndefinedBytes undefined) {
  std::string out;
  AppendUtf8(out, CodePoint(byte, undefined));
  return out;
}

void Output::Write(std::string text) {
  if (utf8_) text = Cp1252ToUtf8(text);
  // One write per piece keeps the program's pieces whole among themselves. The
  // library's console lines come from its own threads through the same
  // standard output and may fall between two pieces.
  const tavisor::internal::MutexLock lock(mutex_);
  stream_.write(text.data(), static_cast<std::streamsize>(text.size()));
  stream_.flush();
}

void Output::Line(std::string_view text) {
  std::string line(text);
  line += '\n';
  Write(std::move(line));
}

void Output::Note(std::string_view text) {
  if (!quiet_) Line(text);
}

void Output::Error(std::string_view text) { Line(error_prefix_ + std::string(text)); }

void Output::Record(std::string_view heading, const tavisor::Item& item) {
  std::ostringstream text;
  text << heading << '\n' << item;
  Write(text.str());
}

void Output::Prompt() { Write(kPrompt); }

}  // namespace console
