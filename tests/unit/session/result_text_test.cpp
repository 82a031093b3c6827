// The result codes' texts, as AsiochanErrorText gives them.
#include <gtest/gtest.h>

#include <climits>
#include <set>
#include <string>

#include "asiochan.h"

namespace {

TEST(ResultTextTest, EveryNamedCodeHasItsOwnTextAndAnyOtherTheUnknownOne) {
    const struct {
        int32_t code;
        const char* text;
    } named[] = {
        {ASIOCHAN_OK, "success"},
        {ASIOCHAN_NOT_PRESENT, "not present"},
        {ASIOCHAN_HW_MALFUNCTION, "hardware malfunction"},
        {ASIOCHAN_INVALID_PARAMETER, "invalid parameter"},
        {ASIOCHAN_INVALID_MODE, "invalid mode"},
        {ASIOCHAN_NO_MEMORY, "out of memory"},
        {ASIOCHAN_LIST_NULL_ARGUMENT, "driver list: null argument"},
        {ASIOCHAN_LIST_ENTRY_BUSY, "driver list: entry in use"},
        {ASIOCHAN_LIST_NO_ENTRY, "driver list: no driver"},
        {ASIOCHAN_STREAM_ENDED, "stream has ended"},
        {ASIOCHAN_DRIVER_STUCK, "driver stuck"},
    };
    std::set<std::string> seen;
    for (const auto& row : named) {
        const char* text = AsiochanErrorText(row.code);
        ASSERT_NE(text, nullptr) << row.code;
        EXPECT_NE(std::string(text).find(row.text), std::string::npos) << row.code << ": " << text;
        EXPECT_TRUE(seen.insert(text).second) << "shared text: " << text;
        EXPECT_EQ(AsiochanErrorText(row.code), text) << "static storage";
    }
    // A driver's own codes (ASIO's -996 and -995, its success value), and the extremes.
    for (int32_t code : {1, -1, -996, -995, -1001, -5000, -6003, 0x3f4847a0, INT32_MIN, INT32_MAX})
        EXPECT_STREQ(AsiochanErrorText(code), "unknown result code") << code;
}

}  // namespace
