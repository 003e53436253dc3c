// The logon-library warning's caption (id 1) and text (id 2) in the built KVISINST.DLL, read from
// the string block of each language exactly as the resource compiler stored it (UTF-16), not through
// the thread's language.
#include "shared/warning_texts.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

// RT_STRING in its wide form (the SDK's RT_STRING follows UNICODE, which these tests leave unset).
const LPCWSTR kStringType = MAKEINTRESOURCEW(6);

// The 16 entries of block 1 (ids 0 to 15) in one language: each a character count, then that many
// UTF-16 characters. Fewer when the block is missing or its entries run past its end.
std::vector<std::u16string> ReadBlock(HMODULE module, WORD language) {
    std::vector<std::u16string> entries;
    HRSRC found = FindResourceExW(module, kStringType, MAKEINTRESOURCEW(1), language);
    const auto* words =
        found ? static_cast<const char16_t*>(LockResource(LoadResource(module, found))) : nullptr;
    if (!words) return entries;
    const size_t count = SizeofResource(module, found) / sizeof(char16_t);
    for (size_t at = 0; entries.size() < 16 && at < count && words[at] < count - at; at += 1 + words[at])
        entries.emplace_back(words + at + 1, words[at]);
    return entries;
}

BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR param) {
    reinterpret_cast<std::vector<WORD>*>(param)->push_back(language);
    return TRUE;
}

TEST(StringTable, TheWarningInExactlyTheSevenLanguagesAndNothingElse) {
    HMODULE module = LoadLibraryA("KVISINST.DLL");
    ASSERT_NE(module, nullptr) << "error " << GetLastError();
    std::vector<WORD> languages, expected;
    EXPECT_TRUE(EnumResourceLanguagesW(module, kStringType, MAKEINTRESOURCEW(1), CollectLanguage,
                                       reinterpret_cast<LONG_PTR>(&languages)));
    for (const WarningTexts& row : kWarningTexts) {
        expected.push_back(row.language);
        SCOPED_TRACE(testing::Message() << "language " << row.language);
        const std::vector<std::u16string> entries = ReadBlock(module, row.language);
        ASSERT_EQ(entries.size(), 16u);
        EXPECT_TRUE(entries[1] == row.caption);
        EXPECT_TRUE(entries[2] == row.text);
        for (size_t i = 0; i < entries.size(); ++i)
            EXPECT_TRUE(i == 1 || i == 2 || entries[i].empty()) << "entry " << i;
    }
    std::sort(languages.begin(), languages.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(languages, expected);
    FreeLibrary(module);
}

}  // namespace
