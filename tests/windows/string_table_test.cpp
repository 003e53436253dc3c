// The logon-library warning's caption (id 1) and text (id 2) in the built KVISINST.DLL, read from
// the string block of each language exactly as the resource compiler stored it (UTF-16), not through
// the thread's language.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct LanguageStrings {
    WORD language;
    const char16_t* caption;
    const char16_t* text;
};

const LanguageStrings kExpected[] = {
    {1033, u"Warning:",
     u"Quillex Pro may conflict with some other login software installed on this machine:\n"
     u"GinaDll value is %s\n\nPlease refer to Readme file.\n"
     u"Press OK to continue, press Cancel to abort installation."},
    {1028, u"警告:",
     u"Quillex Pro 與機器上已安裝之其他登錄用途軟體發生衝突:\nGinaDll 值 %s\n\n請參閱 Readme 檔案.\n"
     u"按OK鍵以繼續安裝，按取消鍵以停止安裝."},
    {1031, u"Warnung:",
     u"Zwischen Quillex Pro und einem weiteren Programm zum Anmelden auf diesem Computer können "
     u"Konflikte auftreten:\nGinaDll-Wert ist %s\n\nBitte lesen Sie sich die Readme-Datei durch.\n"
     u"Klicken Sie zum Fortfahren auf OK, oder klicken Sie auf Abbrechen, um die Installation "
     u"abzubrechen."},
    {1034, u"Advertencia:",
     u"Quillex Pro puede estar en conflicto co otros programas en este contador:\n"
     u"El valor de GinaDll es %s\n\nPor favor de leer el archivo de Readme.\n"
     u"Haga clic en OK para continuar o Cancelar para abortar la instalación."},
    {1040, u"Attenzione:",
     u"Quillex Pro potrebbe creare conflitti con altri software per l'accesso a Windows:\n"
     u"il codice di errore di GinaDLL è %s\n\nVedi il documento \"Leggimi\".\n"
     u"OK per continuare, o Annulla per terminare l'installazione."},
    {1042, u"경고:",
     u"Quillex Pro 는 이 컴퓨터에 있는 다른 로그인 프로그램과 충돌할 수 있읍니다. :\n"
     u" GinaDll 값 데이터 는 is %s\n\n입니다. Readme을 보시기 바랍니다.\n"
     u" 인스톨을 계속하시려면 '예'에, 취소하시려면 '취소'에 클릭 하시기 바랍니다."},
    {2060, u"Avertissement:",
     u"Quillex Pro est peut être en conflit avec d'autre logiciel de login installé sur cette "
     u"machine:\nLa valeur de GinaDll est %s\n\nVeuillez vous référez au fichier Lizezmoi.\n"
     u"Appuyez sur OK pour continuer, Appuyez sur Annuler pour terminer l'installation."},
};

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
    for (const LanguageStrings& row : kExpected) {
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
    for (const LanguageStrings& row : kExpected) {
        expected.push_back(row.language);
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(languages, expected);
}

}  // namespace
