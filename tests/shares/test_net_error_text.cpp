#include "core/shares/ModNetUse.h"

#include <gtest/gtest.h>

using quorix::ModNetUse;

TEST(SharesNetErrorText, FullTableAndTheFallback) {
    const std::pair<int, const char *> table[] = {
        {5, "Access Denied."},
        {66, "Bad device."},
        {67, "Bad net name"},
        {85, "Already Assigned."},
        {86, "Invalid Password"},
        {170, "Busy"},
        {173, "Cancel Violation"},
        {234, "Buffer to small to hold network name, make lpnLength bigger"},
        {1202, "Device already remembered"},
        {1203, "Could not find the specified device"},
        {1204, "Bad Provider"},
        {1205, "Cannot Open Profile"},
        {1206, "Bad Profile"},
        {1208, "Device already remembered"},
        {1222, "No Network Present"},
        {2250, "No Connection Present"},
        {2401, "Files open and the force parameter is false"},
        {2404, "Connection Currently in use "},
    };
    for (const auto &[code, text] : table)
        EXPECT_EQ(ModNetUse::NetErrorText(code), text) << code;
    EXPECT_EQ(ModNetUse::NetErrorText(1207), "Unrecognized Error 1207.");
    EXPECT_EQ(ModNetUse::NetErrorText(53), "Unrecognized Error 53.");
    EXPECT_EQ(ModNetUse::NetErrorText(0), "Unrecognized Error 0.");
    EXPECT_EQ(ModNetUse::NetErrorText(-2147467259), "Unrecognized Error -2147467259.");
}
