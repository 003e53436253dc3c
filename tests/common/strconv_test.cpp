#include "kvisinst/common/strconv.h"

#include <winsim/machine.h>

#include <gtest/gtest.h>

TEST(StringConversion, RoundTripsTheAnsiCodePage) {
    winsim::ScopedMachine machine(winsim::OsVersion::Win2000);
    // "Caf\xe9 \x80" is "Café €" in code page 1252.
    const WideString wide = ToWide("Caf\xe9 \x80");
    EXPECT_EQ((WideString{u'C', u'a', u'f', 0xE9, u' ', 0x20AC}), wide);
    EXPECT_EQ("Caf\xe9 \x80", ToNarrow(wide.c_str()));
    EXPECT_EQ(WideString(), ToWide(""));
    EXPECT_EQ(WideString(), ToWide(nullptr));
    EXPECT_EQ("", ToNarrow(nullptr));
}
