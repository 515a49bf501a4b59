#include <QApplication>
#include <gtest/gtest.h>

TEST(Startup, ApplicationObjectExists)
{
    EXPECT_NE(QApplication::instance(), nullptr);
}
