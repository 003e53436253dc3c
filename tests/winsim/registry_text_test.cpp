// The registry as .reg text: what is written, what is read, and that the two agree.
#include <winsim/machine.h>
#include <winsim/registry.h>
#include <winsim/win32api.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using winsim::OsVersion;
using winsim::Registry;

namespace {

constexpr const char* kHeader = "Windows Registry Editor Version 5.00\n\n";

Registry Empty(OsVersion version = OsVersion::Win2000) { return Registry(version, Registry::Contents::Empty); }

std::vector<BYTE> Bytes(std::string_view text) { return std::vector<BYTE>(text.begin(), text.end()); }

std::string Load(Registry& reg, const std::string& text) {
    std::string error;
    if (!reg.LoadRegText(text, &error)) return error;
    return "";
}

}  // namespace

TEST(RegText, SavesEachValueKindAsRegeditWritesIt) {
    Registry reg = Empty();
    const char* key = "HKLM\\SOFTWARE\\Korvane";
    reg.SetStringValue(key, "", "caf\xE9");  // code page 1252, written as UTF-8
    reg.SetStringValue(key, "Path", "C:\\Program Files\\\"Quillex\"");
    reg.SetDwordValue(key, "Count", 10);
    reg.SetValue(key, "Bin", REG_BINARY, {0x01, 0xAB, 0x00});
    reg.SetStringValue(key, "Expand", "%W%", REG_EXPAND_SZ);
    reg.SetValue(key, "Multi", REG_MULTI_SZ, Bytes(std::string("a\0b\0\0", 5)));
    reg.SetValue(key, "None", REG_NONE, {});
    reg.SetValue(key, "Qword", 0xB, {1, 0, 0, 0, 0, 0, 0, 0});
    reg.SetValue(key, "Bare", REG_SZ, Bytes("ab"));              // no NUL: kept exact as hex(1)
    reg.SetValue(key, "Short", REG_DWORD, {1, 2});               // not four bytes
    reg.SetStringValue(key, "Two\nLines", "x\r\ny");              // a line break in the name and the data
    reg.CreateKey("HKLM\\SOFTWARE\\Korvane\\Empty");
    EXPECT_EQ(std::string(kHeader) +
                  "[HKEY_LOCAL_MACHINE\\SOFTWARE]\n\n"
                  "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvane]\n"
                  "@=\"caf\xC3\xA9\"\n"
                  "\"Path\"=\"C:\\\\Program Files\\\\\\\"Quillex\\\"\"\n"
                  "\"Count\"=dword:0000000a\n"
                  "\"Bin\"=hex:01,ab,00\n"
                  "\"Expand\"=hex(2):25,00,57,00,25,00,00,00\n"
                  "\"Multi\"=hex(7):61,00,00,00,62,00,00,00,00,00\n"
                  "\"None\"=hex(0):\n"
                  "\"Qword\"=hex(b):01,00,00,00,00,00,00,00\n"
                  "\"Bare\"=hex(1):61,00,62,00\n"
                  "\"Short\"=hex(4):01,02\n"
                  "\"Two\\nLines\"=hex(1):78,00,0d,00,0a,00,79,00,00,00\n"
                  "\n"
                  "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvane\\Empty]\n\n",
              reg.SaveRegText());
}

TEST(RegText, WritesOnlyTheStoredHivesAndNoVolatileKeys) {
    winsim::ScopedMachine machine(OsVersion::Win2000);
    Registry& reg = machine->Reg();
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Korvane", 0, nullptr, 0, KEY_ALL_ACCESS,
                                             nullptr, &key, nullptr));
    RegCloseKey(key);
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Gone at restart", 0, nullptr,
                                             REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    RegCloseKey(key);
    const std::string text = reg.SaveRegText();
    EXPECT_NE(std::string::npos,
              text.find("[HKEY_USERS\\S-1-5-21-1085031214-1563985344-725345543-500\\Software\\Korvane]\n"));
    EXPECT_EQ(std::string::npos, text.find("HKEY_CURRENT_USER"));
    EXPECT_EQ(std::string::npos, text.find("Gone at restart"));
    EXPECT_EQ(std::string::npos, text.find("[HKEY_LOCAL_MACHINE]")) << "a hive root without values is not written";
}

// Text is UTF-8, strings and names code page 1252 (the key is "Ké").
TEST(RegText, ReadsTheStringTypesOfEachHeaderInItsOwnEncoding) {
    const struct {
        const char* header;
        const char* data;
        std::string expected;
    } kRows[] = {
        {"Windows Registry Editor Version 5.00", "hex(2):25,00,57,00,e9,00,00,00", std::string("%W\xE9\0", 4)},
        {"REGEDIT4", "hex(2):25,57,e9,00", std::string("%W\xE9\0", 4)},
        {"REGEDIT4", "hex(2):25,00,57,00", std::string("%\0W\0", 4)},
        {"Windows Registry Editor Version 5.00", "hex(7):61,00,00,00,ac,20,00,00,00,00", std::string("a\0\x80\0\0", 5)},
        {"Windows Registry Editor Version 5.00", "hex(2):00,4e,00,00", std::string("?\0", 2)},  // not in 1252
        {"Windows Registry Editor Version 5.00", "hex(3):00,4e", std::string("\0N", 2)},        // not a string type
        {"REGEDIT4", "\"\xC3\xA9\"", std::string("\xE9\0", 2)},
        {"REGEDIT4", "\"\xE9\"", std::string("\xE9\0", 2)},  // a bare byte, as an ANSI file has it
        {"REGEDIT4", "\"\xE2\x82\xAC \xE4\xB8\x80\"", std::string("\x80 ?\0", 4)},  // 1252 lacks the second
    };
    for (size_t i = 0; i < std::size(kRows); ++i) {
        Registry reg = Empty();
        const std::string text =
            std::string(kRows[i].header) + "\n\n[HKEY_LOCAL_MACHINE\\K\xC3\xA9]\n\"v\"=" + kRows[i].data;
        ASSERT_EQ("", Load(reg, text + "\n")) << "row " << i;
        auto value = reg.GetValue("HKLM\\K\xE9", "v");
        ASSERT_TRUE(value) << "row " << i;
        EXPECT_EQ(Bytes(kRows[i].expected), value->data) << "row " << i;
    }
}

TEST(RegText, ReadsDeletionsCommentsContinuationsAndByteOrderMarks) {
    Registry reg = Empty();
    reg.SetStringValue("HKLM\\SOFTWARE\\Old\\Sub", "x", "1");
    reg.SetStringValue("HKLM\\SOFTWARE\\Keep", "drop", "1");
    reg.SetStringValue("HKLM\\SOFTWARE\\Keep", "", "default");
    reg.SetStringValue("HKLM\\SOFTWARE\\Keep", "stay", "1");
    const std::string text =
        "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n"
        "\r\n"
        "; a comment\r\n"
        "   ; an indented comment\r\n"
        "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Old]\r\n"
        "\"ignored\"=\"under a removed key\"\r\n"
        "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Never there]\r\n"
        "\r\n"
        "[hkey_local_machine\\software\\KEEP]\r\n"
        "\"drop\"=-\r\n"
        "@=-\r\n"
        "\"Bin\" = hex:01,02,\\\r\n"
        "  03,04,\\\r\n"
        "\t05\r\n"
        "\"Num\"=DWORD:FF\r\n"
        "\"Quote\"=\"say \\\"hi\\\" \\\\ \\q\"\r\n";
    ASSERT_EQ("", Load(reg, text));
    EXPECT_FALSE(reg.KeyExists("HKLM\\SOFTWARE\\Old"));
    EXPECT_FALSE(reg.KeyExists("HKLM\\SOFTWARE\\Never there"));
    // Loading merges into the key already there, whatever the spelling.
    EXPECT_EQ((std::vector<std::string>{"Keep"}), reg.SubkeyNames("HKLM\\SOFTWARE"));
    std::vector<std::string> names;
    for (const auto& value : reg.Values("HKLM\\SOFTWARE\\Keep")) names.push_back(value.name);
    EXPECT_EQ((std::vector<std::string>{"stay", "Bin", "Num", "Quote"}), names);
    EXPECT_EQ((std::vector<BYTE>{1, 2, 3, 4, 5}), reg.GetValue("HKLM\\SOFTWARE\\Keep", "Bin")->data);
    EXPECT_EQ(0xFFu, reg.DwordValue("HKLM\\SOFTWARE\\Keep", "Num").value_or(0));
    // Only \\ and \" escape anything in data; another backslash stays.
    EXPECT_EQ("say \"hi\" \\ \\q", reg.StringValue("HKLM\\SOFTWARE\\Keep", "Quote").value_or(""));
}

TEST(RegText, ErrorsNameTheLine) {
    const struct {
        std::string text;
        const char* error;
    } kRows[] = {
        {"", "line 1: expected"},
        {"\n\nREGEDIT4\n\"v\"=\"x\"\n", "line 4: value line before any key"},
        {"REGEDIT4\n[HKEY_NOWHERE\\K]\n", "line 2: unknown root key"},
        {"REGEDIT4\n[HKLM\\K]\n\"v\"\"x\"\n", "line 3: expected '='"},
        {"REGEDIT4\n[HKLM\\K]\n\"v\"=\"x\n", "line 3: unterminated string"},
        {"REGEDIT4\n[HKLM\\K]\n\"v\"=hex:01,zz\n", "line 3: bad hex byte 'zz'"},
        {"REGEDIT4\n[HKLM\\K]\n\"v\"=hex:01,\\\n  02,\\\n  1ff\n", "line 5: bad hex byte '1ff'"},
        {"Windows Registry Editor Version 5.00\n[HKLM\\K]\n\"v\"=hex(2):41\n", "line 3: UTF-16"},
        {std::string("REGEDIT4\n[HKLM\\K]\n\"v\"=\"a") + '\0' + "b\"\n", "line 3: NUL"},
    };
    for (size_t i = 0; i < std::size(kRows); ++i) {
        Registry reg = Empty();
        std::string error;
        EXPECT_FALSE(reg.LoadRegText(kRows[i].text, &error)) << "row " << i;
        EXPECT_EQ(0u, error.find(kRows[i].error)) << "row " << i << ": " << error;
    }
    // Lines before the error have taken effect, as with regedit.
    Registry reg = Empty();
    EXPECT_NE("", Load(reg, "REGEDIT4\n[HKLM\\K]\n\"a\"=\"1\"\n\"b\"=bad\n\"c\"=\"3\"\n"));
    EXPECT_TRUE(reg.StringValue("HKLM\\K", "a"));
    EXPECT_FALSE(reg.StringValue("HKLM\\K", "c"));
}
