// Numbers as the compiler reads and prints them: "." as decimal separator whatever
// the locale, the general format with 15 significant digits.
#pragma once

#include "compiler/exco_types.h"

#include <string>
#include <string_view>

inline char ExcoLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
std::string ExcoLowerText(std::string_view text);

// Prints a value with 15 significant digits ("2.82842712474619", "1e-20").
std::string ExcoFormatNumber(Extended value);

enum class NumberRead { Ok, NotANumber, OutOfRange };
// Reads digits, an optional fraction and an optional exponent (E or e), the whole text.
NumberRead ExcoReadNumber(std::string_view text, Extended& value);
