#include <QApplication>
#include <gtest/gtest.h>

// Every test program runs inside a QApplication so that window tests and the
// engine's Qt SQL connections find the objects they need.
int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
