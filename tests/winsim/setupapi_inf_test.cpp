// SetupAPI's INF reading calls on the simulated machine: the INF syntax as callers see it through
// the calls, the buffer conventions, and the errors each call reports.

#include <winsim/files.h>
#include <winsim/handles.h>
#include <winsim/machine.h>
#include <winsim/win32api.h>

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

using winsim::OsVersion;

namespace {

const char kHeader[] = "[Version]\r\nSignature=\"$Windows NT$\"\r\n";
const char kInfPath[] = "C:\\Setup\\test.inf";

// Writes the text as the INF and opens it; the caller closes.
HINF OpenText(const std::string& text, UINT* errorLine = nullptr, DWORD style = INF_STYLE_WIN4) {
    EXPECT_TRUE(winsim::WriteWholeFile(kInfPath, text));
    return SetupOpenInfFileA(kInfPath, nullptr, style, errorLine);
}

std::optional<std::string> Field(const INFCONTEXT& context, DWORD index) {
    char buffer[MAX_INF_STRING_LENGTH + 8];
    if (!SetupGetStringFieldA(&context, index, buffer, sizeof buffer, nullptr)) return std::nullopt;
    return std::string(buffer);
}

std::optional<std::string> LineText(const INFCONTEXT& context) {
    char buffer[MAX_INF_STRING_LENGTH + 8];
    if (!SetupGetLineTextA(&context, nullptr, nullptr, nullptr, buffer, sizeof buffer, nullptr)) return std::nullopt;
    return std::string(buffer);
}

std::string Join(const std::vector<std::string>& fields) {
    std::string text;
    for (size_t i = 0; i < fields.size(); ++i) text += (i ? "," : "") + fields[i];
    return text;
}

struct EntryCase {
    const char* text;  // the first line of [Test], possibly followed by more of the file
    const char* key;   // nullptr: the line has no key
    std::vector<std::string> fields;
};

const EntryCase kEntries[] = {
    // Keys and values.
    {"HKLM,Software\\Korvane,Path,,%24%", nullptr, {"HKLM", "Software\\Korvane", "Path", "", "C:\\"}},
    {"kvusb_Service", "kvusb_Service", {"kvusb_Service"}},  // a lone value answers as its key
    {"a,b=c", nullptr, {"a", "b=c"}},                       // '=' after a comma is text
    // Blanks go around fields, stay inside them and inside quotes.
    {"  Display Name  =  Quillex  Pro  , x ", "Display Name", {"Quillex  Pro", "x"}},
    {"k=\"  padded  \"", "k", {"  padded  "}},
    // Quotes.
    {"k=\"a,b;c=d\"", "k", {"a,b;c=d"}},
    {"k=\"say \"\"hi\"\"\"", "k", {"say \"hi\""}},
    // Comments.
    {"k=v ; note", "k", {"v"}},
    // Continuation.
    {"k=first, \\\r\n   second", "k", {"first", "second"}},
    {"k=\"q\\\"\nnext=1", "k", {"q\\"}},  // inside quotes a final '\' is text
    // Strings.
    {"%Prod%=%Vendor% %Prod%\n[Strings]\nProd=\"Quillex Pro\"\nVendor=Korvane", "Quillex Pro", {"Korvane Quillex Pro"}},
    {"k=%Missing%,50%\n[Strings]\nx=y", "k", {"%Missing%", "50%"}},
    {"k=%24%\\file", "k", {"C:\\file"}},  // a directory id's own '\' merges
    {"k=%12%\\kvusb.sys", "k", {"C:\\WINNT\\System32\\drivers\\kvusb.sys"}},
    {"k=%01%\\kvusb.sys", "k", {"C:\\Setup\\kvusb.sys"}},  // the INF's own folder
    // End of file mark.
    {"k=ab\x1a" "cd\n[Strings]", "k", {"ab"}},
};

}  // namespace

TEST(InfSyntax, KeysFieldsAndLineText) {
    winsim::ScopedMachine machine(OsVersion::Win2000);
    for (size_t i = 0; i < std::size(kEntries); ++i) {
        const auto& row = kEntries[i];
        HINF inf = OpenText(std::string(kHeader) + "[Test]\n" + row.text);
        ASSERT_NE(INVALID_HANDLE_VALUE, inf) << "row " << i << ": error " << std::hex << GetLastError();
        INFCONTEXT context{};
        ASSERT_TRUE(SetupFindFirstLineA(inf, "Test", nullptr, &context)) << "row " << i;

        // Field 0 is the key; a line without one reports ERROR_INVALID_PARAMETER, as for a field
        // past the last.
        SetLastError(0xdeadbeef);
        EXPECT_EQ(row.key ? std::optional<std::string>(row.key) : std::nullopt, Field(context, 0)) << "row " << i;
        EXPECT_EQ(row.key ? NO_ERROR : static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError()) << "row " << i;
        std::vector<std::string> fields;
        for (DWORD f = 1; auto field = Field(context, f); ++f) fields.push_back(*field);
        EXPECT_EQ(row.fields, fields) << "row " << i;
        EXPECT_EQ(std::optional<std::string>(Join(row.fields)), LineText(context)) << "row " << i;
        if (row.key) {
            // The key finds the line, spelled in any case.
            std::string upper = row.key;
            for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            INFCONTEXT byKey{};
            EXPECT_TRUE(SetupFindFirstLineA(inf, "test", upper.c_str(), &byKey)) << "row " << i;
            EXPECT_EQ(context.Line, byKey.Line) << "row " << i;
        }
        SetupCloseInfFile(inf);
    }
}

TEST(InfOpen, RefusesMalformedFilesWithTheirLine) {
    struct Case {
        std::string text;
        DWORD error;  // 0: opens
        UINT line;
    };
    const std::string h = kHeader;
    const Case cases[] = {
        {h + "[Open\r\nx=1\r\n", ERROR_BAD_SECTION_NAME_LINE, 3},
        {h + "\n[" + std::string(256, 'a') + "]\n", ERROR_SECTION_NAME_TOO_LONG, 4},
        {h + "[S]\nk=a \\\n b\n[Broken\n", ERROR_BAD_SECTION_NAME_LINE, 6},  // continued lines count
        {"stray\n" + h, ERROR_EXPECTED_SECTION_NAME, 1},
        {"stray\n" + h + "[Strings]\n", 0, 0},  // a file with [Strings] is read past stray text
        {"", ERROR_WRONG_INF_STYLE, 0},
        {"[Version]\nSignature=\"$Windows 3.1$\"\n", ERROR_WRONG_INF_STYLE, 0},
        {"[version]\nsignature=$WINDOWS NT$\n", 0, 0},
    };
    winsim::ScopedMachine machine(OsVersion::Win2000);
    for (size_t i = 0; i < std::size(cases); ++i) {
        const auto handlesBefore = winsim::OpenHandleCount();
        UINT errorLine = 0xdeadbeef;
        SetLastError(0xdeadbeef);
        HINF inf = OpenText(cases[i].text, &errorLine);
        EXPECT_EQ(cases[i].error, GetLastError()) << "row " << i;
        if (cases[i].error) {
            EXPECT_EQ(INVALID_HANDLE_VALUE, inf) << "row " << i;
            EXPECT_EQ(cases[i].line, errorLine) << "row " << i;
            EXPECT_EQ(handlesBefore, winsim::OpenHandleCount()) << "row " << i;
        } else {
            EXPECT_NE(INVALID_HANDLE_VALUE, inf) << "row " << i;
            SetupCloseInfFile(inf);
        }
    }
}

TEST(InfOpen, PathsResolveAsSetupApiResolvesThem) {
    struct Case {
        const char* written;  // where the file is
        const char* opened;   // the name given to SetupOpenInfFileA
        bool opens;
    };
    const Case cases[] = {
        {"C:\\Setup\\Disk1\\quillex.inf", "quillex.inf", false},  // a bare name skips the current directory
        {"C:\\Setup\\Disk1\\quillex.inf", ".\\quillex.inf", true},
        {"C:\\WINNT\\INF\\quillex.inf", "quillex.inf", true},
        {"C:\\Setup\\Disk1\\quillex.inf", "C:\\Setup\\Disk1\\missing.inf", false},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        winsim::ScopedMachine machine(OsVersion::Win2000);
        ASSERT_TRUE(winsim::WriteWholeFile(cases[i].written, kHeader)) << "row " << i;
        machine->SetCurrentDirectory("C:\\Setup\\Disk1");
        SetLastError(0xdeadbeef);
        HINF inf = SetupOpenInfFileA(cases[i].opened, nullptr, INF_STYLE_WIN4, nullptr);
        EXPECT_EQ(cases[i].opens, inf != INVALID_HANDLE_VALUE) << "row " << i;
        EXPECT_EQ(cases[i].opens ? NO_ERROR : ERROR_FILE_NOT_FOUND, GetLastError()) << "row " << i;
        SetupCloseInfFile(inf);
    }
}

// On Windows 98 (the Windows 2000 directory ids are rows of the syntax table; 98 puts its system
// directory elsewhere).
TEST(InfRead, BuffersRequiredSizesAndTheDirectoryIdsOf98) {
    winsim::ScopedMachine machine(OsVersion::Win98);
    HINF inf = OpenText(std::string(kHeader) + "[Svc]\nBinaryName=kvusb.sys, x\nk=%11%\\kvsvc.exe\n");
    ASSERT_NE(INVALID_HANDLE_VALUE, inf);
    INFCONTEXT context{};
    ASSERT_TRUE(SetupFindFirstLineA(inf, "Svc", "k", &context));
    EXPECT_EQ(std::optional<std::string>("C:\\WINDOWS\\SYSTEM\\kvsvc.exe"), Field(context, 1));
    ASSERT_TRUE(SetupFindFirstLineA(inf, "Svc", "BinaryName", &context));
    const std::string text = "kvusb.sys,x";  // 12 with its NUL

    // The line text by section and key, then field 1.
    using Getter = BOOL (*)(HINF, const INFCONTEXT&, PSTR, DWORD, PDWORD);
    const Getter getters[] = {
        [](HINF h, const INFCONTEXT&, PSTR b, DWORD s, PDWORD r) {
            return SetupGetLineTextA(nullptr, h, "svc", "binaryname", b, s, r);
        },
        [](HINF, const INFCONTEXT& c, PSTR b, DWORD s, PDWORD r) { return SetupGetStringFieldA(&c, 1, b, s, r); },
    };
    const std::string expected[] = {text, "kvusb.sys"};
    for (size_t i = 0; i < std::size(getters); ++i) {
        const DWORD needed = static_cast<DWORD>(expected[i].size() + 1);
        DWORD required = 0;
        SetLastError(0xdeadbeef);
        EXPECT_TRUE(getters[i](inf, context, nullptr, 0, &required)) << "getter " << i;
        EXPECT_EQ(needed, required) << "getter " << i;
        EXPECT_EQ(NO_ERROR, GetLastError()) << "getter " << i;

        char buffer[64];
        std::memset(buffer, '#', sizeof buffer);
        required = 0;
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(getters[i](inf, context, buffer, needed - 1, &required)) << "getter " << i;
        EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError()) << "getter " << i;
        EXPECT_EQ(needed, required) << "getter " << i;
        EXPECT_EQ('#', buffer[0]) << "getter " << i;

        EXPECT_TRUE(getters[i](inf, context, buffer, needed, nullptr)) << "getter " << i;
        EXPECT_STREQ(expected[i].c_str(), buffer) << "getter " << i;
        EXPECT_EQ('#', buffer[needed]) << "getter " << i;
    }
    SetupCloseInfFile(inf);
}

// Lookups that miss, section names, sections merged by name, the field length cut, and closing
// (which keeps the last error and frees the handle).
TEST(InfRead, MissesSectionNamesMergedSectionsLimitsAndClosing) {
    winsim::ScopedMachine machine(OsVersion::Win2000);
    const auto before = winsim::OpenHandleCount();
    std::string refs;
    for (int i = 0; i < 11; ++i) refs += "%Big%";
    HINF inf = OpenText(std::string(kHeader) + "[ Spaced Name ]\nx=1\n;[Commented]\n" +
                        "[Empty]\n[S]\nDependencies=a\nOther=x\n[Strings]\nBig=" + std::string(400, 'b') +
                        "\n[s]\ndependencies=b\n[L]\nlong=" + std::string(600, 'x') + "\nmany=" + refs + "\n");
    ASSERT_NE(INVALID_HANDLE_VALUE, inf);
    INFCONTEXT context{};
    const std::pair<const char*, const char*> kMisses[] = {
        {"Missing", nullptr}, {"Missing", "Other"}, {"Empty", nullptr}, {"S", "BinaryName"}};
    for (const auto& [section, key] : kMisses) {
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(SetupFindFirstLineA(inf, section, key, &context)) << section;
        EXPECT_EQ(ERROR_LINE_NOT_FOUND, GetLastError()) << section;
    }
    // Blanks inside the brackets belong to the name; a commented header makes no section.
    SetLastError(0xdeadbeef);
    EXPECT_EQ(1, SetupGetLineCountA(inf, " Spaced Name "));
    EXPECT_EQ(NO_ERROR, GetLastError());
    EXPECT_EQ(-1, SetupGetLineCountA(inf, "Commented"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SECTION_NOT_FOUND), GetLastError());
    std::vector<std::string> texts;
    for (BOOL found = SetupFindFirstLineA(inf, "S", nullptr, &context); found;
         found = SetupFindNextLine(&context, &context))
        texts.push_back(LineText(context).value_or("?"));
    EXPECT_EQ((std::vector<std::string>{"a", "x", "b"}), texts);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SetupFindNextLine(&context, &context));
    EXPECT_EQ(ERROR_LINE_NOT_FOUND, GetLastError());
    char buffer[16];
    ASSERT_TRUE(SetupGetLineTextA(nullptr, inf, "S", "DEPENDENCIES", buffer, sizeof buffer, nullptr));
    EXPECT_STREQ("a", buffer);  // the first line with the key

    ASSERT_TRUE(SetupFindFirstLineA(inf, "L", "long", &context));
    EXPECT_EQ(std::optional<std::string>(std::string(511, 'x')), Field(context, 1));
    ASSERT_TRUE(SetupFindFirstLineA(inf, "L", "many", &context));
    DWORD required = 0;
    ASSERT_TRUE(SetupGetStringFieldA(&context, 1, nullptr, 0, &required));
    EXPECT_EQ(static_cast<DWORD>(MAX_INF_STRING_LENGTH + 1), required);

    SetLastError(0xdeadbeef);
    for (HINF handle : {inf, HINF(nullptr), INVALID_HANDLE_VALUE}) SetupCloseInfFile(handle);
    EXPECT_EQ(0xdeadbeefu, GetLastError());
    EXPECT_EQ(before, winsim::OpenHandleCount());
    EXPECT_EQ(-1, SetupGetLineCountA(inf, "S"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
}
