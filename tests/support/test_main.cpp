#include "ui/application.h"

#include <gtest/gtest.h>

// Every test program runs inside the program's own application object, so that window
// tests see the same exception guard as the program and the engine's Qt SQL
// connections find what they need.
int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    kelvo::KelvoApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
