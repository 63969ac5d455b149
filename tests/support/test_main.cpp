// Entry of every test program. Tests never see a real window or a person:
// the headless backend answers message boxes by its policy.
#include "platform/platform.h"

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    platform::use_backend(platform::BackendKind::headless);
    return RUN_ALL_TESTS();
}
