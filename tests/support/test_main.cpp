#include <gtest/gtest.h>

#include "state.h"

int main(int argc, char **argv)
{
    // The code loads its texts from the running module, as the program does.
    AppInstance = GetModuleHandleA(NULL);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
