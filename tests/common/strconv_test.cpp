#include "kvisinst/common/strconv.h"

#include <winsim/machine.h>

#include <gtest/gtest.h>

TEST(StringConversion, ConvertsFromTheAnsiCodePage) {
    winsim::ScopedMachine machine(winsim::OsVersion::Win2000);
    // "Caf\xe9 \x80" is "Café €" in code page 1252.
    const CWideText wide = ToWide("Caf\xe9 \x80");
    EXPECT_EQ(std::u16string_view(u"Caf\u00e9 \u20ac"), wide.View());
    EXPECT_EQ(0, wide.c_str()[wide.size()]);
    for (const char* empty : {"", static_cast<const char*>(nullptr)}) {
        EXPECT_EQ(0u, ToWide(empty).size());
        EXPECT_EQ(0, ToWide(empty).c_str()[0]);
    }
}
