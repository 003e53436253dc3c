// The machine folder's "[section] key=value" reader that services.txt, devices.txt and the files to
// come share.
#include <winsim/text.h>

#include <gtest/gtest.h>

TEST(SectionText, ReadsSectionsAndEntriesWithTheirLines) {
    std::string error;
    const auto sections =
        winsim::ReadSectionText("; comment\r\n[ service A ]\r\n Key = a=b ; c \r\n\n# note\n[B]\n", &error);
    ASSERT_TRUE(sections) << error;
    ASSERT_EQ(2u, sections->size());
    EXPECT_EQ("service A", (*sections)[0].name);
    EXPECT_EQ(2, (*sections)[0].line);
    ASSERT_EQ(1u, (*sections)[0].entries.size());
    const auto& entry = (*sections)[0].entries[0];
    EXPECT_EQ("Key", entry.key);
    EXPECT_EQ("a=b ; c", entry.value);  // a value runs to the end of its line
    EXPECT_EQ(3, entry.line);
    EXPECT_EQ(6, (*sections)[1].line);
    EXPECT_TRUE((*sections)[1].entries.empty());
}

TEST(SectionText, DamagedTextNamesItsLine) {
    const std::pair<const char*, const char*> kRows[] = {
        {"[A]\n[B\n", "line 2: a section header must end with ']'"},
        {"\n[ ]\n", "line 2: a section header needs a name"},
        {"[A]\nno equals sign\n", "line 2: expected key=value"},
        {"; first\nKey=1\n", "line 2: a key=value line before the first section"},
    };
    for (const auto& [text, expected] : kRows) {
        std::string error;
        EXPECT_FALSE(winsim::ReadSectionText(text, &error)) << text;
        EXPECT_EQ(expected, error) << text;
    }
}
