// The earlier editions' logon hooks ("GinaDll" and its warning on the NT family, the providers on
// 95/98), and the logon integration and agent taken out at a pure uninstall.
#include "kvisinst/logon/logon.h"
#include "cleanup/cleanup_testing.h"
#include "kvisinst/exports.h"
#include "kvisinst/install/logonintegration.h"
#include "shared/warning_texts.h"

#include <winsim/dialogs.h>
#include <winsim/processes.h>
#include <winsim/registry.h>
#include <winsim/restart.h>
#include <winsim/windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

using Text = std::optional<std::string>;
using winsim::OsVersion;
const char kWinlogon[] = "HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
const char kOrder[] = "HKLM\\SYSTEM\\CurrentControlSet\\Control\\NetworkProvider\\Order";
const std::string kLong = "C:\\" + std::string(247, 'g') + "\\gina.dll";  // 259 characters

// A warning string as the box shows it: loaded cut to 259 characters, in the ANSI code page.
std::string Loaded(const char16_t* text) {
    char narrow[1024];
    const std::u16string loaded = std::u16string(text).substr(0, 259);
    WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<LPCWSTR>(loaded.c_str()), -1, narrow, 1024, nullptr, nullptr);
    return narrow;
}
std::string Sz(const std::string& text) { return text + '\0'; }  // stored with its terminator

const struct {
    std::string value;  // the bytes stored; empty: no value
    WORD user, resource;
    bool installed, quiet;
    int answer, result;
    bool kept;
    Text shown;  // in the warning; none: no warning
} kGinaRows[] = {
    {Sz("C:\\WINNT\\System32\\KvGina.dll"), 0x409, 0, false, false, IDOK, 0, false, {}},
    {Sz("kvgina.DLL"), 0x409, 0, false, true, IDOK, 0, false, {}},
    {Sz("msgina.dll"), 0x409, 1033, false, false, IDCANCEL, 1, true, "msgina.dll"},
    {Sz("msgina.dll"), 0x411, 1033, false, false, IDOK, 0, true, "msgina.dll"},  // Japanese: no translation
    {Sz("msgina.dll"), 0x807, 1031, false, false, IDOK, 0, true, "msgina.dll"},  // German, cut to 259
    {Sz(kLong), 0x40C, 2060, false, false, IDOK, 0, true, kLong},
    {Sz("msgina.dll"), 0x409, 0, true, false, IDCANCEL, 0, true, {}},
    {Sz("msgina.dll"), 0x409, 0, false, true, IDCANCEL, 0, true, {}},
    {"", 0x409, 0, false, false, IDCANCEL, 0, false, {}},
    {std::string(260, 'a'), 0x409, 1033, false, false, IDOK, 0, true, std::string(259, 'a')},  // no terminator
    {Sz(std::string(299, 'a')), 0x409, 0, false, false, IDOK, 0, true, {}},                    // too long to read
};

TEST(UnregSystemStuff, OurGinaDllGoesAnotherIsKeptAfterTheWarningInTheUserLanguageAndCancelStopsAll) {
    for (const auto version : {winsim::OsVersion::NT4, winsim::OsVersion::Win2000}) {
        for (const auto& row : kGinaRows) {
            winsim::ScopedMachine machine(version);
            SCOPED_TRACE(row.value.substr(0, 30) + " " + std::to_string(row.user));
            if (!row.value.empty())
                machine->Reg().SetValue(kWinlogon, "GinaDll", REG_SZ, {row.value.begin(), row.value.end()});
            if (row.installed) machine->Reg().SetStringValue("HKLM\\SOFTWARE\\Korvane\\QuillexPro", "Version", "1.0");
            machine->SetDefaultLanguage(row.user);
            machine->Dialogs().SetMessageBoxAnswer(row.answer);
            cleanuptest::TraceOn(*machine);

            EXPECT_EQ(row.result, row.quiet ? UnregSystemStuffQuiet() : UnregSystemStuff());
            const auto& boxes = machine->Dialogs().MessageBoxes();
            ASSERT_EQ(row.shown ? 1u : 0u, boxes.size());
            for (const auto& texts : kWarningTexts) {
                if (texts.language != row.resource) continue;
                const std::string format = Loaded(texts.text);
                const auto at = format.find("%s");
                EXPECT_EQ(format.substr(0, at) + *row.shown + format.substr(at + 2), boxes[0].text);
                EXPECT_TRUE(boxes[0].caption == Loaded(texts.caption) && !boxes[0].owner && boxes[0].type == 0x41u);
            }
            EXPECT_EQ(row.kept, machine->Reg().GetValue(kWinlogon, "GinaDll").has_value());
            EXPECT_EQ(row.result ? 0u : 1u,
                      cleanuptest::CountContaining(tracetest::TraceLines(), "pDLLs=-KVPwdFlt.dll,"));
            EXPECT_TRUE(winsim::PendingFileOperations(*machine).empty() && !machine->Reg().OpenHandleCount());
        }
    }
}

enum Call { kUnreg, kQuiet, kRemoveIntegration };

TEST(UnregSystemStuff, TheProvidersGoAndThePrimaryProviderComesBackOnlyWhileItNamesOursUnlikeAtUninstall) {
    const struct {
        OsVersion version;
        Call call;
        const char *primary, *old;           // null: none
        bool ordered;                        // the order key lists KVNP32 (else the key is missing)
        std::optional<DWORD> agentClosesOn;  // none: no agent; 0: never
        Text after;
        uint64_t elapsedMs;
    } rows[] = {
        {OsVersion::Win95, kUnreg, nullptr, nullptr, false, {}, {}, 0},
        {OsVersion::Win98, kUnreg, "KVNP32", "MSNP32", true, {}, "MSNP32", 0},
        {OsVersion::Win98, kQuiet, "kvnp32", nullptr, true, {}, "", 0},
        {OsVersion::Win95, kQuiet, "NWNP32", "MSNP32", true, {}, "NWNP32", 0},
        {OsVersion::Win98, kRemoveIntegration, "NWNP32", "MSNP32", true, 0, "MSNP32", 30000},
        {OsVersion::Win95, kRemoveIntegration, "NWNP32", nullptr, true, 1, "", 1000},
        {OsVersion::NT4, kRemoveIntegration, "NWNP32", "MSNP32", true, 2, "NWNP32", 2000},
        {OsVersion::Win2000, kRemoveIntegration, "NWNP32", "MSNP32", true, {}, "NWNP32", 0},
    };
    const char kProvider[] = "HKLM\\SYSTEM\\CurrentControlSet\\Services\\KVNP32\\NetworkProvider";
    for (const auto& row : rows) {
        SCOPED_TRACE("row " + std::to_string(&row - rows));
        winsim::ScopedMachine machine(row.version);
        winsim::Registry& reg = machine->Reg();
        reg.DeleteKey(kOrder);
        reg.SetStringValue(kWinlogon, "GinaDLL", "x.dll");
        if (row.primary) reg.SetStringValue("HKLM\\Network\\Logon", "PrimaryProvider", row.primary);
        if (row.old) reg.SetStringValue(kProvider, "OldPrimaryProvider", row.old);
        if (row.ordered) reg.SetStringValue(kOrder, "KVNP32", "");
        winsim::ProgramScript agent;
        agent.path = "C:\\Korvane\\QpAgent.exe";
        agent.run = winsim::ProgramScript::Run::Never;
        agent.windows.push_back({"Quillex Pro Agent", "", row.agentClosesOn.value_or(0)});
        if (row.agentClosesOn) machine->Processes().Start(agent, agent.path);
        cleanuptest::TraceOn(*machine);
        const uint64_t started = machine->NowMs();

        if (row.call == kRemoveIntegration)
            RemoveLogonIntegration();
        else
            EXPECT_EQ(0, row.call == kUnreg ? UnregSystemStuff() : UnregSystemStuffQuiet());
        const bool nt = winsim::IsNtFamily(row.version);
        EXPECT_EQ(row.after, reg.StringValue("HKLM\\Network\\Logon", "PrimaryProvider"));
        EXPECT_EQ(nt, reg.GetValue(kOrder, "KVNP32").has_value() && reg.KeyExists(kProvider));
        EXPECT_NE(nt && row.call == kRemoveIntegration, reg.GetValue(kWinlogon, "GinaDLL").has_value());
        EXPECT_FALSE(reg.KeyExists("HKLM\\System\\CurrentControlSet\\Control\\PwdProvider\\KVPP32"));
        EXPECT_TRUE(nt || reg.KeyExists(kOrder));
        const auto lines = tracetest::TraceLines();
        EXPECT_EQ(row.ordered ? 0u : 1u, cleanuptest::CountContaining(lines, "(0x80070002)"));
        EXPECT_EQ(row.call == kRemoveIntegration ? 0u : 1u, cleanuptest::CountContaining(lines, "pDLLs=-KVMsg.dll,"));
        EXPECT_EQ(row.elapsedMs, machine->NowMs() - started);
        EXPECT_EQ(row.agentClosesOn == DWORD{0}, FindWindowA("Quillex Pro Agent", nullptr) != nullptr);
    }
}

}  // namespace
