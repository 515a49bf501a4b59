// Dates written in the forms callers use all arrive as one stored form.

#include "engine/date_text.h"

#include <QLocale>

#include <gtest/gtest.h>

namespace kelvo::engine {
namespace {

TEST(DateText, WrittenFormsBecomeTheStoredIsoForm)
{
    struct Case {
        QString written;
        const char* stored;  // nullptr: no date
    };
    const QString localeShort = QLocale::system().toString(QDate(2026, 12, 10), QLocale::ShortFormat);
    const Case cases[] = {
        {"2026-12-10 14:03:00", "2026-12-10 14:03:00"},
        {"2026-12-10T14:03:00.250", "2026-12-10 14:03:00"},
        {"2026-12-10", "2026-12-10 00:00:00"},
        {" 2026-12-10 14:03 ", "2026-12-10 14:03:00"},
        {"00:05:23", "1899-12-30 00:05:23"},
        {"12/10/2026", "2026-12-10 00:00:00"},
        {"10.12.2026", "2026-12-10 00:00:00"},
        {localeShort, "2026-12-10 00:00:00"},
        {"yesterday", nullptr},
        {"2026-13-40", nullptr},
        {"", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.written.toStdString());
        const auto stored = isoDateTimeFromText(c.written);
        if (c.stored) {
            ASSERT_TRUE(stored.has_value());
            EXPECT_EQ(stored->toStdString(), c.stored);
        } else {
            EXPECT_FALSE(stored.has_value());
        }
    }
    EXPECT_EQ(isoDateTimeFromSerial(46366.5).toStdString(), "2026-12-10 12:00:00");
    EXPECT_EQ(dateTimeFromStored("2026-12-10 14:03:00"), QDateTime(QDate(2026, 12, 10), QTime(14, 3)));
}

}  // namespace
}  // namespace kelvo::engine
