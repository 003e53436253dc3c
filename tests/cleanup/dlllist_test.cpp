// The file-list object: how list texts are parsed, and what a walk does to each file - unregistered
// by its kind, scheduled for deletion, announced to a window - on Windows 95, 98, NT 4 and 2000.
#include "kvisinst/cleanup/dlllist.h"
#include "cleanup/cleanup_testing.h"

#include <winsim/files.h>
#include <winsim/loader.h>
#include <winsim/machine.h>
#include <winsim/processes.h>
#include <winsim/registry.h>
#include <winsim/restart.h>
#include <winsim/windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The entries of a parsed list, up to the empty one that closes it.
std::vector<std::string> Entries(const CDllList& list) {
    std::vector<std::string> entries;
    if (!list.List()) return entries;
    for (const char* entry = list.List(); *entry; entry += std::string(entry).size() + 1) entries.push_back(entry);
    return entries;
}

struct ParseRow {
    const char* text;
    HRESULT result;
    std::vector<std::string> entries;
};

const ParseRow kParseRows[] = {
    {nullptr, S_OK, {}},
    {"", S_OK, {}},
    {"a.dll b.exe c.tlb", S_OK, {"a.dll", "b.exe", "c.tlb"}},
    {"a.dll b.exe ", S_OK, {"a.dll", "b.exe"}},
    {"a.dll  b.exe", S_OK, {"a.dll"}},
    {" a.dll b.exe", S_OK, {}},
    {"-a.dll ~b.dll -~c.dll ~-d.dll --e.dll", S_OK, {"-a.dll", "~b.dll", "-~c.dll", "~-d.dll", "--e.dll"}},
    {"\"Quillex Pro.dll\" ~\"x y\".ocx z.dll", S_OK, {"\"Quillex Pro.dll\"", "~\"x y\".ocx", "z.dll"}},
    {"a.dll \"b c.dll d.dll", E_INVALIDARG, {"a.dll", "\"b c.dll d.dll"}},
};

TEST(DllList, ParsesBlankSeparatedNamesWithQuotesAndStopsAtAnEmptyEntry) {
    winsim::ScopedMachine machine(winsim::OsVersion::Win98);
    for (const auto& row : kParseRows) {
        const CDllList list(row.text, nullptr);
        const std::string what = row.text ? row.text : "(null)";
        EXPECT_EQ(row.result, list.Result()) << what;
        EXPECT_EQ(row.entries, Entries(list)) << what;
    }
}

TEST(DllList, APathOverMaxPathMinusOneIsRefusedAndTheWalkGoesOn) {
    winsim::ScopedMachine machine(winsim::OsVersion::Win98);
    cleanuptest::TraceOn(*machine);
    // "C:\DDD...D" + "\" + "y z.dll" (the quotes dropped): 259 characters fit the 260-byte buffer,
    // 260 do not. '~': scheduled only, never loaded.
    const std::string fits = "C:\\" + std::string(259 - 3 - 1 - 7, 'D');
    const std::string over = fits + "D";
    CDllList list("~\"y z.dll\" ~a.dll", nullptr);
    EXPECT_EQ(S_OK, list.ProcessDLLs(over.c_str()));
    EXPECT_EQ(S_OK, list.ProcessDLLs(fits.c_str()));
    const auto lines = tracetest::TraceLines();
    EXPECT_EQ(1u, cleanuptest::CountEndingWith(
                      lines,
                      "ProcessDLLs() " + over + "\\\"y z.dll\" is longer than MAX_PATH - 1 characters: not processed"));
    EXPECT_EQ(2u, cleanuptest::CountContaining(lines, "pDLLs=~\"y z.dll\", ps=\"y z.dll\", bRemove=1, bUnregister=0"));
    // a.dll twice, "y z.dll" once: each scheduling traces one line.
    EXPECT_EQ(3u, cleanuptest::CountContaining(lines, "ReplaceFileOnReboot() 95/98 Function"));
}

const std::string kDir = "C:\\Program Files\\Korvane";

void PutDll(winsim::Machine& machine, const std::string& name, winsim::DllScript::Unregister unregister) {
    ASSERT_TRUE(winsim::WriteWholeFile(kDir + "\\" + name, "MZ"));
    winsim::DllScript dll;
    dll.path = kDir + "\\" + name;
    dll.unregister = unregister;
    machine.Processes().SetDll(dll);
}

void PutProgram(winsim::Machine& machine, const std::string& path) {
    ASSERT_TRUE(winsim::WriteWholeFile(path, "MZ"));
    winsim::ProgramScript program;
    program.path = path;
    machine.Processes().SetProgram(program);
}

std::vector<std::string> Events(winsim::Machine& machine) {
    std::vector<std::string> events;
    for (const auto& event : machine.Processes().Events()) events.push_back(winsim::DescribeProcessEvent(event));
    return events;
}

// The files scheduled for deletion, by the NT family's pending operations or WinInit.Ini on 95/98.
std::string Scheduled(winsim::Machine& machine) {
    std::string sources;
    for (const auto& operation : winsim::PendingFileOperations(machine)) sources += operation.source + "|";
    return sources;
}

// A window that keeps the path of every WM_CLEANUP_PROGRESS it is sent.
HWND ProgressWindow(winsim::Machine& machine, std::vector<std::string>* paths) {
    return machine.Windows().Create("KvSetup", "Setup", [paths](HWND, UINT message, WPARAM, LPARAM lParam) {
        if (message == WM_CLEANUP_PROGRESS) paths->push_back(reinterpret_cast<const char*>(lParam));
        return LRESULT(0);
    });
}

std::vector<HRESULT> PostedResults(winsim::Machine& machine, HWND window) {
    std::vector<HRESULT> results;
    for (const auto& m : machine.Windows().Messages())
        if (m.kind == winsim::Windows::Message::Kind::Posted && m.window == window && m.message == WM_CLEANUP_RESULT &&
            m.lParam == 0)
            results.push_back(static_cast<HRESULT>(m.wParam));
    return results;
}

TEST(DllList, WalkUnregistersEachKindOfFileAndSchedulesItsDeletion) {
    using U = winsim::DllScript::Unregister;
    for (const auto version :
         {winsim::OsVersion::Win95, winsim::OsVersion::Win98, winsim::OsVersion::NT4, winsim::OsVersion::Win2000}) {
        winsim::ScopedMachine machine(version);
        const char* os = winsim::OsVersionName(version);
        PutDll(*machine, "kvfault.dll", U::Faults);
        PutDll(*machine, "kvcom.dll", U::Returns);
        PutDll(*machine, "kvview.ocx", U::Returns);
        PutDll(*machine, "kvkeep.dll", U::Returns);
        PutDll(*machine, "kvgone.dll", U::Returns);
        PutDll(*machine, "kvnone.dll", U::Returns);
        PutDll(*machine, "kvplain.dll", U::Missing);
        PutProgram(*machine, kDir + "\\kvsrv.exe");
        PutProgram(*machine, machine->SystemDirectory() + "\\regtlib.exe");
        ASSERT_TRUE(winsim::WriteWholeFile(kDir + "\\QuillexPro.tlb", "MSFT"));
        std::vector<std::string> progress;
        const HWND window = ProgressWindow(*machine, &progress);

        CDllList list(
            "kvfault.dll kvcom.dll kvview.ocx kvsrv.exe QuillexPro.tlb -kvkeep.dll ~kvgone.dll -~kvnone.dll "
            "~-kvnone.dll "
            "kvplain.dll kvmissing.dll",
            window);
        EXPECT_EQ(S_OK, list.ProcessDLLs(kDir.c_str())) << os;

        // Libraries and controls are loaded and their DllUnregisterServer called (a library without it is
        // only loaded, and one that faults ends only its own call); programs started with "/UnRegServer",
        // type libraries by regtlib with "/u".
        auto module = [](const char* name) { return kDir + "\\" + name; };
        const std::string regtlib = machine->SystemDirectory() + "\\regtlib.exe";
        const std::vector<std::string> events = {
            module("kvfault.dll") + " loaded",
            module("kvfault.dll") + " DllUnregisterServer called -> faulted",
            module("kvfault.dll") + " freed",
            module("kvcom.dll") + " loaded",
            module("kvcom.dll") + " DllUnregisterServer called -> 0x00000000",
            module("kvcom.dll") + " freed",
            module("kvview.ocx") + " loaded",
            module("kvview.ocx") + " DllUnregisterServer called -> 0x00000000",
            module("kvview.ocx") + " freed",
            "process 1000 started: " + module("kvsrv.exe") + ", command line \"/UnRegServer\"",
            "process 1000 ended by itself, exit code 0",
            "process 1008 started: " + regtlib + ", command line \"/u " + module("QuillexPro.tlb") + "\"",
            "process 1008 ended by itself, exit code 0",
            module("kvkeep.dll") + " loaded",
            module("kvkeep.dll") + " DllUnregisterServer called -> 0x00000000",
            module("kvkeep.dll") + " freed",
            module("kvplain.dll") + " loaded",
            module("kvplain.dll") + " freed",
        };
        EXPECT_EQ(events, Events(*machine)) << os;
        // Scheduled: all but the '-' entries, the absent file too. How each line is written is
        // ReplaceFileOnReboot's (wininit_test.cpp); WinInit.Ini names the type library by its short name.
        const std::string scheduled = Scheduled(*machine);
        const char* tlb = winsim::IsNtFamily(version) ? "QuillexPro.tlb" : "QUILLE~1.TLB";
        for (const char* name :
             {"kvfault.dll", "kvcom.dll", "kvview.ocx", "kvsrv.exe", tlb, "kvgone.dll", "kvplain.dll", "kvmissing.dll"})
            EXPECT_NE(std::string::npos, scheduled.find(name)) << os << " " << name;
        for (const char* name : {"kvkeep.dll", "kvnone.dll"})
            EXPECT_EQ(std::string::npos, scheduled.find(name)) << os << " " << name;
        std::vector<std::string> announced;
        for (const char* name : {"kvfault.dll", "kvcom.dll", "kvview.ocx", "kvsrv.exe", "QuillexPro.tlb", "kvkeep.dll",
                                 "kvgone.dll", "kvnone.dll", "kvnone.dll", "kvplain.dll", "kvmissing.dll"})
            announced.push_back(kDir + "\\" + name);
        EXPECT_EQ(announced, progress) << os;
        EXPECT_EQ(std::vector<HRESULT>{S_OK}, PostedResults(*machine, window)) << os;
    }
}

// The window's handler faults while it is told of the first file: nothing more is done.
TEST(DllList, AFaultingWindowEndsTheWalk) {
    for (const auto version : {winsim::OsVersion::Win98, winsim::OsVersion::Win2000}) {
        winsim::ScopedMachine machine(version);
        const char* os = winsim::OsVersionName(version);
        PutDll(*machine, "kvcom.dll", winsim::DllScript::Unregister::Returns);
        const HWND window = machine->Windows().Create("KvSetup", "Setup", [](HWND, UINT message, WPARAM, LPARAM) {
            if (message == WM_CLEANUP_PROGRESS) throw winsim::SimulatedFault{};
            return LRESULT(0);
        });
        CDllList faulted("kvcom.dll kvfault.dll", window);
        EXPECT_EQ(E_UNEXPECTED, faulted.ProcessDLLs(kDir.c_str())) << os;
        EXPECT_EQ(std::vector<std::string>{}, Events(*machine)) << os;
        EXPECT_EQ("", Scheduled(*machine)) << os;
        EXPECT_EQ(E_UNEXPECTED, faulted.ProcessSystemDLLs()) << os;
        EXPECT_EQ(std::vector<HRESULT>{E_UNEXPECTED}, PostedResults(*machine, window)) << os << ": posted once";
    }
}

// A failure, the list's own or one set, sticks: no later walk is made or reported.
TEST(DllList, TheWindowIsToldOfEveryResultAndAFailureSticks) {
    winsim::ScopedMachine machine(winsim::OsVersion::NT4);
    std::vector<std::string> progress;
    const HWND window = ProgressWindow(*machine, &progress);
    {
        CDllList unterminated("a.dll \"b.dll", window);
        EXPECT_EQ(E_INVALIDARG, unterminated.ProcessDLLs(kDir.c_str()));
        EXPECT_EQ(E_INVALIDARG, unterminated.ProcessSystemDLLs());
    }
    {
        CDllList empty("", window);
        EXPECT_EQ(S_OK, empty.ProcessDLLs(kDir.c_str()));
        // The system directory's walk posts its result, and then posts it again.
        EXPECT_EQ(S_OK, empty.ProcessSystemDLLs());
        empty.SetResult(WM_CLEANUP_RESULT, E_OUTOFMEMORY);
        EXPECT_EQ(E_OUTOFMEMORY, empty.ProcessSystemDLLs());
    }
    EXPECT_EQ((std::vector<HRESULT>{E_INVALIDARG, S_OK, S_OK, S_OK, E_OUTOFMEMORY}), PostedResults(*machine, window));
    EXPECT_TRUE(progress.empty());
}

}  // namespace
