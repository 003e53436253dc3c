// The logon-library warning's caption (id 1) and text (id 2) in the built KVISINST.DLL, read from
// the string block of each language exactly as the resource compiler stored it (UTF-16), not through
// the thread's language.
#include "shared/warning_texts.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// RT_STRING in its wide form (the SDK's RT_STRING follows UNICODE, which these tests leave unset).
const LPCWSTR kStringType = MAKEINTRESOURCEW(6);
// Strings 0 to 15 live in block 1.
constexpr WORD kBlockId = 1;
constexpr int kEntriesPerBlock = 16;

class StringTableTest : public ::testing::Test {
protected:
    void SetUp() override {
        module_ = LoadLibraryA("KVISINST.DLL");
        ASSERT_NE(module_, nullptr) << "LoadLibraryA(KVISINST.DLL) failed, error " << GetLastError();
    }
    void TearDown() override {
        if (module_ != nullptr) {
            FreeLibrary(module_);
        }
    }

    // The 16 entries of the block in one language: each a character count, then that many UTF-16
    // characters. Fails the test if the block is missing or its entries run past its end.
    std::vector<std::u16string> ReadBlock(WORD language) {
        std::vector<std::u16string> entries;
        HRSRC found = FindResourceExW(module_, kStringType, MAKEINTRESOURCEW(kBlockId), language);
        if (found == nullptr) {
            ADD_FAILURE() << "no string block for language " << language << ", error " << GetLastError();
            return entries;
        }
        DWORD size = SizeofResource(module_, found);
        HGLOBAL loaded = LoadResource(module_, found);
        const auto* words = static_cast<const char16_t*>(LockResource(loaded));
        if (words == nullptr) {
            ADD_FAILURE() << "string block for language " << language << " does not load";
            return entries;
        }
        const size_t wordCount = size / sizeof(char16_t);
        size_t at = 0;
        for (int i = 0; i < kEntriesPerBlock; ++i) {
            if (at >= wordCount) {
                ADD_FAILURE() << "language " << language << ": block ends before entry " << i;
                break;
            }
            const size_t length = words[at++];
            if (length > wordCount - at) {
                ADD_FAILURE() << "language " << language << ": entry " << i << " runs past the block";
                break;
            }
            entries.emplace_back(words + at, length);
            at += length;
        }
        return entries;
    }

    HMODULE module_ = nullptr;
};

// Prints a UTF-16 string as code points, for failure messages that a terminal can show.
std::string Describe(const std::u16string& text) {
    std::string out;
    for (char16_t c : text) {
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            char escape[8];
            snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(c));
            out += escape;
        }
    }
    return out;
}

TEST_F(StringTableTest, CaptionAndTextOfEveryLanguage) {
    for (const WarningTexts& row : kWarningTexts) {
        SCOPED_TRACE(testing::Message() << "language " << row.language);
        std::vector<std::u16string> entries = ReadBlock(row.language);
        if (entries.size() != kEntriesPerBlock) {
            continue;  // ReadBlock has reported it
        }
        EXPECT_EQ(Describe(entries[1]), Describe(row.caption));
        EXPECT_EQ(Describe(entries[2]), Describe(row.text));
        // Nothing else in the block: id 0 and ids 3 to 15 are unused.
        for (int i = 0; i < kEntriesPerBlock; ++i) {
            if (i != 1 && i != 2) {
                EXPECT_TRUE(entries[i].empty()) << "entry " << i << ": " << Describe(entries[i]);
            }
        }
    }
}

BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR param) {
    reinterpret_cast<std::vector<WORD>*>(param)->push_back(language);
    return TRUE;
}

TEST_F(StringTableTest, BlockExistsInExactlyTheSevenLanguages) {
    std::vector<WORD> languages;
    ASSERT_TRUE(EnumResourceLanguagesW(module_, kStringType, MAKEINTRESOURCEW(kBlockId), CollectLanguage,
                                       reinterpret_cast<LONG_PTR>(&languages)))
        << "error " << GetLastError();
    std::sort(languages.begin(), languages.end());
    std::vector<WORD> expected;
    for (const WarningTexts& row : kWarningTexts) {
        expected.push_back(row.language);
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(languages, expected);
}

}  // namespace
