#include <QCoreApplication>

#include <gtest/gtest.h>

// The engine's tests run inside a core application, as its Qt SQL connections need one;
// the engine knows nothing of windows.
int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
