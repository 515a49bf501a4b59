#include "compiler/exco_number.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>

std::string ExcoLowerText(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = ExcoLower(c);
  return out;
}

namespace {

constexpr uint64_t kPowersOfTen[] = {1ull,
                                     10ull,
                                     100ull,
                                     1000ull,
                                     10000ull,
                                     100000ull,
                                     1000000ull,
                                     10000000ull,
                                     100000000ull,
                                     1000000000ull,
                                     10000000000ull,
                                     100000000000ull,
                                     1000000000000ull,
                                     10000000000000ull,
                                     100000000000000ull,
                                     1000000000000000ull,
                                     10000000000000000ull,
                                     100000000000000000ull,
                                     1000000000000000000ull};

// mantissa * 2^-shift * 10^scale rounded to a whole number, to nearest with ties to
// even, as the library rounds the exact value; exact in 128 bits for a 64-bit
// mantissa and scale up to 18.
uint64_t roundedScaled(uint64_t mantissa, int shift, int scale) {
  using Wide = unsigned __int128;
  const Wide exact = static_cast<Wide>(mantissa) * kPowersOfTen[scale];
  uint64_t whole = static_cast<uint64_t>(exact >> shift);
  const Wide rest = exact & ((Wide{1} << shift) - 1);
  const Wide half = Wide{1} << (shift - 1);
  if (rest > half || (rest == half && (whole & 1) != 0)) ++whole;
  return whole;
}

// Prints a value of magnitude 10^-4 to 10^15 as the general format with 15 significant
// digits does there: fixed, with trailing zeros dropped. False, with nothing written,
// for any other value or a rounding that leaves that range (it then takes an exponent).
bool printFixed(Extended value, char* out, char*& end) {
  const Extended magnitude = std::fabs(value);
  if (!(magnitude >= 1e-4L && magnitude < 1e15L)) return false;
  int binaryExponent = 0;
  const uint64_t mantissa = static_cast<uint64_t>(std::ldexp(std::frexp(magnitude, &binaryExponent), 64));
  const int shift = 64 - binaryExponent;  // 14 to 77 in this range
  // The decimal exponent of the rounded value: a guess, corrected when the rounded
  // digits come out one short or one long.
  int exponent = static_cast<int>(std::floor(std::log10(magnitude)));
  uint64_t digits = 0;
  for (int attempt = 0;; ++attempt) {
    if (attempt == 3 || exponent < -4 || exponent > 14) return false;
    digits = roundedScaled(mantissa, shift, 14 - exponent);
    if (digits >= kPowersOfTen[15]) ++exponent;
    else if (digits < kPowersOfTen[14]) --exponent;
    else break;
  }
  char text[16];
  std::to_chars(text, text + sizeof text, digits);  // 15 digits
  int last = 14;
  while (last > exponent && text[last] == '0') --last;
  char* p = out;
  if (std::signbit(value)) *p++ = '-';
  if (exponent >= 0) {
    p = std::copy(text, text + exponent + 1, p);
    if (last > exponent) {
      *p++ = '.';
      p = std::copy(text + exponent + 1, text + last + 1, p);
    }
  } else {
    *p++ = '0';
    *p++ = '.';
    p = std::fill_n(p, -exponent - 1, '0');
    p = std::copy(text, text + last + 1, p);
  }
  end = p;
  return true;
}

}  // namespace

std::string ExcoFormatNumber(Extended value) {
  char buffer[64];
  // A whole value below 10^15 prints as its digits (15 significant digits neither
  // round it nor call for an exponent): the commonest constant, printed without the
  // library's floating-point conversion. A negative zero keeps its sign.
  if (std::fabs(value) < 1e15L && value == std::trunc(value)) {
    char* start = buffer;
    if (std::signbit(value)) *start++ = '-';
    const auto digits = std::to_chars(start, buffer + sizeof buffer, static_cast<int64_t>(std::fabs(value)));
    return std::string(buffer, digits.ptr);
  }
  // Other values of everyday size are rounded in integer arithmetic, which the
  // library's conversion of an 80-bit value takes many times as long for.
  char* end = nullptr;
  if (printFixed(value, buffer, end)) return std::string(buffer, end);
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
  return std::string(buffer, result.ptr);
}

namespace {
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Whether the x87 unit rounds to nearest at full precision, so that one division of
// two exact values is the correctly rounded quotient.
bool roundsToNearestExtended() {
  uint16_t control = 0;
  asm volatile("fnstcw %0" : "=m"(control));
  return (control & 0x0F00) == 0x0300;
}

// The value of a number whose digits were read into a 64-bit mantissa, with fraction
// digits after the point (-1 without one), and no exponent: one exact integer, or one
// correctly rounded division when the power of ten is exact in an Extended (up to
// 10^27), the same as the library's conversion without its copy and locale work.
// False: use the library.
bool simpleDecimal(uint64_t mantissa, int fraction, Extended& value) {
  if (fraction <= 0) {
    value = static_cast<Extended>(mantissa);
    return true;
  }
  if (fraction > 27 || !roundsToNearestExtended()) return false;
  Extended power = 1;
  for (int i = 0; i < fraction; ++i) power *= 10;
  value = static_cast<Extended>(mantissa) / power;
  return true;
}
}  // namespace

NumberRead ExcoReadNumber(std::string_view text, Extended& value) {
  // The commonest numbers, whole ones of up to 18 digits, are read at once.
  if (!text.empty() && text.size() <= 18) {
    uint64_t whole = 0;
    size_t at = 0;
    for (; at < text.size() && isDigit(text[at]); ++at) whole = whole * 10 + static_cast<uint64_t>(text[at] - '0');
    if (at == text.size()) {
      value = static_cast<Extended>(whole);
      return NumberRead::Ok;
    }
  }
  // Else the digits are gathered as they are checked: up to 19 significant ones fit in
  // the mantissa.
  size_t i = 0;
  size_t digits = 0;
  uint64_t mantissa = 0;
  int significant = 0;
  int fraction = -1;
  const auto gather = [&](char c) {
    ++digits;
    if (mantissa == 0 && c == '0') {
      if (fraction >= 0) ++fraction;
      return;
    }
    if (++significant <= 19) mantissa = mantissa * 10 + static_cast<uint64_t>(c - '0');
    if (fraction >= 0) ++fraction;
  };
  for (; i < text.size() && isDigit(text[i]); ++i) gather(text[i]);
  if (i < text.size() && text[i] == '.') {
    fraction = 0;
    for (++i; i < text.size() && isDigit(text[i]); ++i) gather(text[i]);
  }
  if (digits == 0) return NumberRead::NotANumber;
  bool simple = significant <= 19;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    simple = false;
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    size_t expDigits = 0;
    while (i < text.size() && isDigit(text[i])) ++i, ++expDigits;
    if (expDigits == 0) return NumberRead::NotANumber;
  }
  if (i != text.size()) return NumberRead::NotANumber;
  if (simple && simpleDecimal(mantissa, fraction, value)) return NumberRead::Ok;
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
