#include "compiler/exco_number.h"

#include <charconv>
#include <cmath>

std::string ExcoLowerText(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = ExcoLower(c);
  return out;
}

std::string ExcoFormatNumber(Extended value) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
  return std::string(buffer, result.ptr);
}

namespace {
bool isDigit(char c) { return c >= '0' && c <= '9'; }
}  // namespace

NumberRead ExcoReadNumber(std::string_view text, Extended& value) {
  size_t i = 0;
  size_t digits = 0;
  while (i < text.size() && isDigit(text[i])) ++i, ++digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && isDigit(text[i])) ++i, ++digits;
  }
  if (digits == 0) return NumberRead::NotANumber;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    size_t expDigits = 0;
    while (i < text.size() && isDigit(text[i])) ++i, ++expDigits;
    if (expDigits == 0) return NumberRead::NotANumber;
  }
  if (i != text.size()) return NumberRead::NotANumber;
  Extended read = 0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), read, std::chars_format::general);
  if (result.ec == std::errc::result_out_of_range) {
    // Tiny values round to 0; huge ones do not fit.
    size_t e = text.find_first_of("eE");
    if (e != std::string_view::npos && e + 1 < text.size() && text[e + 1] == '-') {
      value = 0;
      return NumberRead::Ok;
    }
    return NumberRead::OutOfRange;
  }
  if (result.ec != std::errc() || result.ptr != text.data() + text.size()) return NumberRead::NotANumber;
  value = read;
  return NumberRead::Ok;
}
