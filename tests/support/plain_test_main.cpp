#include <gtest/gtest.h>

// The compiler's tests need no application object: the compiler knows nothing of Qt.
int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
