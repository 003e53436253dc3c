// The logon integration taken out at a pure uninstall: Winlogon or the network provider, then the agent.
#include "kvisinst/install/logonintegration.h"

#include <winsim/machine.h>
#include <winsim/processes.h>
#include <winsim/registry.h>
#include <winsim/windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

const char kWinlogon[] = "HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
const char kOrder[] = "HKLM\\SYSTEM\\CurrentControlSet\\Control\\NetworkProvider\\Order";
const char kProvider[] = "HKLM\\SYSTEM\\CurrentControlSet\\Services\\KVNP32\\NetworkProvider";

TEST(RemoveLogonIntegration, TakesOutTheLogonHookWhateverItNamesAndClosesTheAgentWithinThirtyAttempts) {
    const struct {
        winsim::OsVersion version;
        const char* oldProvider;             // null: none
        std::optional<DWORD> agentClosesOn;  // none: no agent; 0: never
        uint64_t elapsedMs;
    } rows[] = {
        {winsim::OsVersion::Win2000, nullptr, {}, 0},
        {winsim::OsVersion::NT4, nullptr, 2, 2000},
        {winsim::OsVersion::Win98, "MSNP32", 0, 30000},
        {winsim::OsVersion::Win95, nullptr, 1, 1000},
    };
    for (const auto& row : rows) {
        winsim::ScopedMachine machine(row.version);
        winsim::Registry& reg = machine->Reg();
        reg.SetStringValue(kWinlogon, "GinaDLL", "C:\\Other\\othergina.dll");
        reg.SetStringValue("HKLM\\Network\\Logon", "PrimaryProvider", "NWNP32");
        reg.SetStringValue(kOrder, "KVNP32", "");
        reg.SetStringValue(kOrder, "NWNP32", "");
        reg.CreateKey(kProvider);
        if (row.oldProvider) reg.SetStringValue(kProvider, "OldPrimaryProvider", row.oldProvider);
        if (row.agentClosesOn) {
            winsim::ProgramScript agent;
            agent.path = "C:\\Korvane\\QpAgent.exe";
            agent.run = winsim::ProgramScript::Run::Never;
            agent.windows.push_back({"Quillex Pro Agent", "", *row.agentClosesOn});
            machine->Processes().SetProgram(agent);
            machine->Processes().Start(agent, agent.path);
        }
        const uint64_t started = machine->NowMs();

        RemoveLogonIntegration();
        const bool nt = winsim::IsNtFamily(row.version);
        EXPECT_EQ(nt, !reg.GetValue(kWinlogon, "GinaDLL").has_value());
        EXPECT_EQ(nt                ? "NWNP32"
                  : row.oldProvider ? row.oldProvider
                                    : "",
                  reg.StringValue("HKLM\\Network\\Logon", "PrimaryProvider"));
        EXPECT_EQ(nt, reg.KeyExists(kProvider));
        EXPECT_EQ(nt, reg.GetValue(kOrder, "KVNP32").has_value());
        EXPECT_TRUE(reg.GetValue(kOrder, "NWNP32").has_value());
        EXPECT_EQ(row.elapsedMs, machine->NowMs() - started);
        EXPECT_EQ(row.agentClosesOn == DWORD{0}, FindWindowA("Quillex Pro Agent", nullptr) != nullptr);
        EXPECT_EQ(0u, reg.OpenHandleCount());
    }
}

}  // namespace
