#include <winsim/win32api.h>

#include <gtest/gtest.h>

#include <cstring>

// The Microsoft runtime's answers, which code written for it relies on: only a shorter text is
// terminated, and a longer one is reported with -1 rather than its length.
TEST(CrtdllStdio, VsnprintfTerminatesOnlyWhatIsShorterThanTheCount) {
    struct Row {
        size_t count;
        int result;
        const char* buffer;  // the bytes after the call, '#' where nothing was written
    } const rows[] = {
        {6, 5, "ab=12\0#"},
        {5, 5, "ab=12##"},
        {4, -1, "ab=1###"},
    };
    for (const Row& row : rows) {
        char buffer[7];
        std::memset(buffer, '#', sizeof buffer);
        EXPECT_EQ(row.result, _snprintf(buffer, row.count, "%s=%d", "ab", 12)) << row.count;
        EXPECT_EQ(0, std::memcmp(row.buffer, buffer, sizeof buffer)) << row.count;
    }
}
