// The earlier editions' logon hooks: "GinaDll" and its warning on the NT family, the providers on 95/98.
#include "kvisinst/logon/logon.h"
#include "cleanup/cleanup_testing.h"
#include "kvisinst/exports.h"
#include "shared/registry_testing.h"
#include "shared/warning_texts.h"

#include <winsim/dialogs.h>
#include <winsim/restart.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

const char kWinlogon[] = "HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
const char kOrder[] = "HKLM\\SYSTEM\\CurrentControlSet\\Control\\NetworkProvider\\Order";
using Text = std::optional<std::string>;

// The warning as the box shows it: the format loaded cut to 259 characters (the German one is
// longer), in the ANSI code page, the value in.
std::string WarningText(WORD language, const std::string& value) {
    for (const auto& row : kWarningTexts) {
        if (row.language != language) continue;
        const std::u16string loaded = std::u16string(row.text).substr(0, 259);
        char narrow[1024];
        WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<LPCWSTR>(loaded.c_str()), -1, narrow, 1024, nullptr, nullptr);
        const std::string text = narrow;
        return text.substr(0, text.find("%s")) + value + text.substr(text.find("%s") + 2);
    }
    return "";
}

size_t ListRuns(const char* first) {
    return cleanuptest::CountContaining(tracetest::TraceLines(), std::string("pDLLs=") + first + ",");
}

// A value as a program stores it, with its terminator.
std::string Sz(const std::string& text) { return text + '\0'; }

struct GinaRow {
    std::string value;  // the bytes stored; empty: no value
    bool installed, quiet;
    int answer, result;
    bool kept;
    Text shown;  // in the warning; none: no warning
};

const GinaRow kGinaRows[] = {
    {Sz("C:\\WINNT\\System32\\KvGina.dll"), false, false, IDOK, 0, false, {}},
    {Sz("kvgina.DLL"), false, true, IDOK, 0, false, {}},
    {Sz("msgina.dll"), false, false, IDCANCEL, 1, true, "msgina.dll"},
    {Sz("msgina.dll"), false, false, IDOK, 0, true, "msgina.dll"},
    {Sz("msgina.dll"), true, false, IDCANCEL, 0, true, {}},
    {Sz("msgina.dll"), false, true, IDCANCEL, 0, true, {}},
    {"", false, false, IDCANCEL, 0, false, {}},
    {Sz(std::string(259, 'a')), false, false, IDOK, 0, true, std::string(259, 'a')},
    {std::string(260, 'a'), false, false, IDOK, 0, true, std::string(259, 'a')},  // no terminator: cut
    {Sz(std::string(299, 'a')), false, false, IDOK, 0, true, {}},                 // too long: not read
};

TEST(UnregSystemStuff, OurGinaDllGoesAnotherIsKeptAfterTheWarningAndCancelStopsTheRemoval) {
    for (const auto version : {winsim::OsVersion::NT4, winsim::OsVersion::Win2000}) {
        for (const auto& row : kGinaRows) {
            winsim::ScopedMachine machine(version);
            const std::string what =
                row.value.substr(0, 30) + (row.quiet ? " quiet " : " ") + std::to_string(row.answer);
            if (!row.value.empty())
                machine->Reg().SetValue(kWinlogon, "GinaDll", REG_SZ, {row.value.begin(), row.value.end()});
            if (row.installed)
                machine->Reg().SetStringValue("HKLM\\SOFTWARE\\Korvane\\QuillexPro", "Version", "1.0.003.000");
            machine->Dialogs().SetMessageBoxAnswer(row.answer);
            cleanuptest::TraceOn(*machine);

            EXPECT_EQ(row.result, row.quiet ? UnregSystemStuffQuiet() : UnregSystemStuff()) << what;
            const auto& boxes = machine->Dialogs().MessageBoxes();
            ASSERT_EQ(row.shown ? 1u : 0u, boxes.size()) << what;
            if (row.shown) {
                EXPECT_EQ(WarningText(1033, *row.shown), boxes[0].text) << what;
                EXPECT_EQ("Warning:", boxes[0].caption);
                EXPECT_EQ(nullptr, boxes[0].owner);
                EXPECT_EQ(0x41u, boxes[0].type);
            }
            EXPECT_EQ(row.kept, machine->Reg().GetValue(kWinlogon, "GinaDll").has_value()) << what;
            EXPECT_EQ(row.result == 1 ? 0u : 1u, ListRuns("-KVPwdFlt.dll")) << what;
            EXPECT_TRUE(winsim::PendingFileOperations(*machine).empty()) << what;
            EXPECT_EQ(0u, machine->Reg().OpenHandleCount()) << what;
        }
    }
}

TEST(UnregSystemStuff, TheWarningIsInTheUserLanguageAndHoldsTheLongestValueWhole) {
    const struct {
        WORD user, resource;
        const char* caption;
        size_t valueLength;
    } rows[] = {{0x807, 1031, "Warnung:", 21}, {0x411, 1033, "Warning:", 21}, {0x40C, 2060, "Avertissement:", 259}};
    for (const auto& row : rows) {
        winsim::ScopedMachine machine(winsim::OsVersion::Win2000);
        machine->SetDefaultLanguage(row.user);
        const std::string value = "C:\\" + std::string(row.valueLength - 12, 'g') + "\\gina.dll";
        machine->Reg().SetStringValue(kWinlogon, "GinaDll", value);
        EXPECT_EQ(0, UnregSystemStuff());
        ASSERT_EQ(1u, machine->Dialogs().MessageBoxes().size()) << row.user;
        EXPECT_EQ(row.caption, machine->Dialogs().MessageBoxes()[0].caption);
        EXPECT_EQ(WarningText(row.resource, value), machine->Dialogs().MessageBoxes()[0].text) << row.user;
    }
}

TEST(UnregSystemStuff, TheProvidersGoTheOrderKeyStaysAndThePrimaryProviderComesBackOnlyWhileItNamesOurs) {
    const struct {
        const char *primary, *old;
        bool ordered;  // the order key lists KVNP32 (else the key is missing)
        Text after;
    } rows[] = {{nullptr, nullptr, false, {}},
                {"KVNP32", "MSNP32", true, "MSNP32"},
                {"kvnp32", nullptr, true, ""},
                {"NWNP32", "MSNP32", true, "NWNP32"}};
    for (const auto version : {winsim::OsVersion::Win95, winsim::OsVersion::Win98}) {
        for (const auto& row : rows) {
            winsim::ScopedMachine machine(version);
            machine->Reg().DeleteKey(kOrder);
            if (row.primary) machine->Reg().SetStringValue("HKLM\\Network\\Logon", "PrimaryProvider", row.primary);
            if (row.old)
                machine->Reg().SetStringValue("HKLM\\SYSTEM\\CurrentControlSet\\Services\\KVNP32\\NetworkProvider",
                                              "OldPrimaryProvider", row.old);
            if (row.ordered) machine->Reg().SetStringValue(kOrder, "KVNP32", "");
            cleanuptest::TraceOn(*machine);

            EXPECT_EQ(0, row.ordered ? UnregSystemStuff() : UnregSystemStuffQuiet());
            EXPECT_EQ(row.after, machine->Reg().StringValue("HKLM\\Network\\Logon", "PrimaryProvider"));
            EXPECT_TRUE(machine->Reg().KeyExists(kOrder));
            EXPECT_TRUE(machine->Reg().Values(kOrder).empty());
            EXPECT_FALSE(HklmKeyExists("SYSTEM\\CurrentControlSet\\Services\\KVNP32"));
            EXPECT_FALSE(HklmKeyExists("System\\CurrentControlSet\\Control\\PwdProvider\\KVPP32"));
            EXPECT_EQ(row.ordered ? 0u : 1u, cleanuptest::CountContaining(tracetest::TraceLines(), "(0x80070002)"));
            EXPECT_EQ(1u, ListRuns("-KVMsg.dll"));
            EXPECT_TRUE(machine->Dialogs().MessageBoxes().empty());
            EXPECT_EQ(0u, machine->Reg().OpenHandleCount());
        }
    }
}

}  // namespace
