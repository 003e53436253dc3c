// The scenario files' reader, the dump's order and path tokens, and the comparison of two dumps.
#include "tools/scenario/compare.h"
#include "tools/scenario/runner.h"

#include <winsim/machine.h>
#include <winsim/win32api.h>

#include <gtest/gtest.h>

namespace {

struct BadScenario {
    const char* text;
    const char* error;
};

// Each fault names its line.
const BadScenario kBadScenarios[] = {
    {"reg HKLM\\X a REG_SZ b\n", "line 1: a line before the first section"},
    {"[state]\n[calls]\n[state]\n", "line 3: [state] comes twice"},
    {"[setup]\n", "line 1: unknown section [setup]"},
    {"[state]\nreg HKLM\\X v REG_DWORD 12x\n", "line 2: '12x' is not a 32-bit number"},
    {"[state]\nreg Software\\X v REG_SZ a\n", "line 2: 'Software\\X' does not start with HKLM"},
    {"[state]\nservice S C:\\s.exe own sometimes\n", "line 2: 'sometimes' is not a start type"},
    {"[calls]\nCleanUpEverything\n", "line 2: KVISINST.DLL has no export 'CleanUpEverything'"},
    {"[calls]\nInstallFromRegistry\n", "line 2: InstallFromRegistry takes 1 argument(s)"},
    {"[calls]\nInstallFromRegistry yes\n", "line 2: InstallFromRegistry, argument 1: 'yes' is not an integer"},
    {"[capture]\nfile \"C:\\a b\n", "line 2: a quoted word is not closed"},
    {"[state]\nkey HKLM\\X\n", "nothing to capture"},
    {"[calls]\nprobe devices 1 10\n", "line 2: probe inf|registry|files|services SEED COUNT"},
    {"[calls]\nprobe inf 1 -5\n", "line 2: probe inf|registry|files|services SEED COUNT"},
};

TEST(ScenarioReader, NamesTheLineOfEachFault) {
    for (const auto& row : kBadScenarios) {
        scenario::Scenario parsed;
        std::string error;
        EXPECT_FALSE(scenario::ParseScenario(row.text, &parsed, &error)) << row.text;
        EXPECT_EQ(error.rfind(row.error, 0), 0u) << row.text << " gave: " << error;
    }
}

TEST(ScenarioReader, QuotedWordsKeepBlanksAndDoubledQuotes) {
    std::vector<std::string> words;
    std::string error;
    ASSERT_TRUE(scenario::SplitWords("file \"C:\\Program Files\\a.txt\"  \"say \"\"hi\"\"\" \"\"", &words, &error));
    EXPECT_EQ(words, (std::vector<std::string>{"file", "C:\\Program Files\\a.txt", "say \"hi\"", ""}));
}

TEST(ScenarioTokens, TheLongestFolderWinsWhateverTheLetterCase) {
    scenario::PathTokens tokens;
    tokens.folders = {{"%WINDIR%", "C:\\WINNT"}, {"%SYSTEM%", "C:\\WINNT\\System32"}};
    EXPECT_EQ(tokens.Tokenize("\\??\\c:\\winnt\\SYSTEM32\\a.dll, C:\\WINNT\\b"), "\\??\\%SYSTEM%\\a.dll, %WINDIR%\\b");
    EXPECT_EQ(tokens.Expand("%SYSTEM%\\x;%WINDIR%"), "C:\\WINNT\\System32\\x;C:\\WINNT");
}

// The dump lists keys and folder entries in name order, whatever order they were made in, and writes
// the machine's folders as tokens.
TEST(ScenarioRunner, DumpsKeysAndFilesInNameOrderWithTokens) {
    winsim::ScopedMachine machine(winsim::OsVersion::Win2000);
    scenario::Scenario parsed;
    std::string error, dump;
    ASSERT_TRUE(
        scenario::ParseScenario("[state]\n"
                                "reg HKLM\\Software\\T\\b v REG_SZ %SYSTEM%\\x.dll\n"
                                "reg HKLM\\Software\\T\\A z REG_DWORD 7\n"
                                "reg HKLM\\Software\\T\\A y REG_MULTI_SZ one two\n"
                                "file %WINDIR%\\T\\zeta.txt abc\n"
                                "file %WINDIR%\\T\\Sub\\alpha.txt\n"
                                "[capture]\nregistry HKLM\\Software\\T\nfolder %WINDIR%\\T\n",
                                &parsed, &error))
        << error;
    parsed.name = "order";
    ASSERT_TRUE(scenario::RunScenario(parsed, &dump, &error)) << error;
    EXPECT_EQ(dump,
              "scenario order\n"
              "key HKLM\\Software\\T\n"
              "key HKLM\\Software\\T\\A\n"
              "value HKLM\\Software\\T\\A \"z\" REG_DWORD 0x00000007\n"
              "value HKLM\\Software\\T\\A \"y\" REG_MULTI_SZ \"one\", \"two\"\n"
              "key HKLM\\Software\\T\\b\n"
              "value HKLM\\Software\\T\\b \"v\" REG_SZ \"%SYSTEM%\\x.dll\"\n"
              "folder %WINDIR%\\T\n"
              "dir %WINDIR%\\T\\Sub\n"
              "file %WINDIR%\\T\\Sub\\alpha.txt size=0 fnv=811C9DC5\n"
              "file %WINDIR%\\T\\zeta.txt size=3 fnv=1A47E90B\n");
}

TEST(ScenarioCompare, ExcusesOnlyTheListedLinesOfTheNamedScenario) {
    std::vector<scenario::Deviation> deviations;
    std::string error;
    ASSERT_TRUE(
        scenario::ParseDeviations("# known\ns1 | service * dependencies * | no list\n"
                                  "other | value * | not this scenario\n",
                                  &deviations, &error));
    const auto diff =
        scenario::CompareDumps("scenario s1\nservice A dependencies \"B\"\nvalue K \"v\" REG_SZ \"1\"\n",
                               "scenario s1\nservice A dependencies (none)\nvalue K \"v\" REG_SZ \"1\"\n", deviations);
    ASSERT_EQ(diff.size(), 2u);
    EXPECT_TRUE(diff[0].side == '-' && diff[0].excused && diff[1].side == '+' && diff[1].excused);
    const auto other = scenario::CompareDumps("scenario s1\nvalue K \"v\" REG_SZ \"1\"\n",
                                              "scenario s1\nvalue K \"v\" REG_SZ \"2\"\n", deviations);
    ASSERT_EQ(other.size(), 2u);
    EXPECT_FALSE(other[0].excused || other[1].excused);
    // A line moved and one changed among many alike: only those come out.
    std::string first = "scenario s1\n", second = first;
    for (int i = 0; i < 5000; ++i) {
        first += "line " + std::to_string(i) + (i == 10 ? " moved\n" : "\n");
        if (i != 10) second += "line " + std::to_string(i) + (i == 3000 ? " changed\n" : "\n");
        if (i == 4000) second += "line 10 moved\n";
    }
    const auto many = scenario::CompareDumps(first, second, {});
    ASSERT_EQ(many.size(), 4u);
    EXPECT_EQ(many[0].text, "line 10 moved");
    EXPECT_EQ(many[1].text + many[2].text, "line 3000line 3000 changed");
    EXPECT_EQ(many[3].side, '+');
    EXPECT_FALSE(scenario::ParseDeviations("s1 | pattern only\n", &deviations, &error));
    EXPECT_EQ(error.rfind("line 1:", 0), 0u);
}

}  // namespace
