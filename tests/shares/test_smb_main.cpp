#include "SmbTestBase.h"

int main(int argc, char **argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new quorix::testsupport::SambaEnvironment);
    return RUN_ALL_TESTS();
}
