#pragma once
// Dates are stored as ISO 8601 text "yyyy-MM-dd hh:mm:ss". These helpers turn what a
// statement writes into that form and read it back.

#include <QDateTime>
#include <QString>

#include <optional>

namespace kelvo::engine {

inline constexpr QLatin1StringView kStoredDateFormat{"yyyy-MM-dd hh:mm:ss"};

// The stored form of a date written as text: ISO 8601 (with "T" or a blank, with or
// without seconds or milliseconds), a time alone (on the day 1899-12-30, the zero of
// date serial numbers), US month/day/year, or the system locale's date formats.
// Nothing when the text is no date.
std::optional<QString> isoDateTimeFromText(const QString& text);

// The stored form of a date serial number (days since 1899-12-30, time as fraction).
QString isoDateTimeFromSerial(double serial);

// The date of a stored text; invalid when the text is no date.
QDateTime dateTimeFromStored(const QString& stored);

}  // namespace kelvo::engine
