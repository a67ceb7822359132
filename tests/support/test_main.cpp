#include "support/leak_listener.h"

#include <gmock/gmock.h>

int main(int argc, char** argv)
{
    ::testing::InitGoogleMock(&argc, argv);
    // Appended after the default printer; the listener list owns it.
    ::testing::UnitTest::GetInstance()->listeners().Append(new fake::LeakListener);
    return RUN_ALL_TESTS();
}
