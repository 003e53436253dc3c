#include "kvisinst/common/format.h"

#include <gtest/gtest.h>

#include <string>

TEST(FormatText, CutsToTheBufferAndAlwaysTerminates) {
    struct Row {
        size_t size;
        bool whole;
        const char* text;
    } const rows[] = {{8, true, "x=12345"}, {7, false, "x=1234"}, {1, false, ""}};
    for (const Row& row : rows) {
        char buffer[16];
        std::fill(buffer, buffer + sizeof buffer, '#');
        EXPECT_EQ(row.whole, FormatText(buffer, row.size, "%s=%d", "x", 12345)) << row.size;
        EXPECT_EQ(std::string(row.text), buffer) << row.size;
    }
}
