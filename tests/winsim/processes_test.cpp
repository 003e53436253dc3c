// The text form of a machine's programs, DLLs and running processes (programs.txt).
#include <winsim/machine.h>
#include <winsim/processes.h>
#include <winsim/win32api.h>

#include <gtest/gtest.h>

#include <string>

namespace {

// The new keys of a program and of a running process, in the order they are written back.
const std::string kProgramKeys =
    "Thread=queue\nThread=queue-after 200\nThread=no-queue\nOnQuit=5000\n"
    "Window=Quillex Pro Agent|Agent\nOnClose=3\nWindow=KvTray\nOnClose=never\nAccount=system\n";
const std::string kProcessKeys = "Thread=1204 queue-from 100\nThread=1208 no-queue\nOnQuit=ignores\nAccount=user\n"
                                 "Window=Quillex Pro Agent|Agent\nOnClose=3\nCloseAttempts=2\n";
// A DLL's plain exports, and what a runonce keeps of its entries.
const std::string kDllKeys = "Export=KVQuillexRemoteTest\nExport=KVOther returns 5\n";
const std::string kRunOnceKeys =
    "EntryProcess=1300\nDeletesAfter=HKEY_LOCAL_MACHINE\\RunOnce|!b\nEntry=HKEY_LOCAL_MACHINE\\RunOnce|*c|c.exe /q\n";
const std::string kText =
    "[program C:\\Program Files\\Korvane\\kvsrv.exe]\n"
    "Runs=1500\nExitCode=3\n"
    "Removes=HKEY_CLASSES_ROOT\\CLSID\\{6B3C1A52-0F4B-4B8A-9C55-2C8F00010001}\n"
    "Removes=HKEY_CLASSES_ROOT\\AppID\\kvsrv.exe\n"
    + kProgramKeys + "[program C:\\WINNT\\System32\\regtlib.exe]\nRuns=runonce\n"
    "[dll C:\\Program Files\\Korvane\\kvcom.dll]\n"
    "DllUnregisterServer=returns 0x80004005\n"
    "[dll C:\\Program Files\\Korvane\\kvres.dll]\n" + kDllKeys +
    "[process 1200]\nProgram=C:\\Program Files\\Korvane\\kvsrv.exe\nCommandLine=/UnRegServer\n"
    "Started=100\nEnds=never\nExitCode=0\n" + kProcessKeys + kRunOnceKeys;

}  // namespace

TEST(ProcessesText, KeepsWhatItReadsAndNamesTheLineOfAFault) {
    winsim::ScopedMachine machine(winsim::OsVersion::Win2000);
    auto& processes = machine->Processes();
    std::string error;
    ASSERT_TRUE(processes.LoadText(kText, &error)) << error;
    const std::string saved = processes.SaveText();
    ASSERT_TRUE(processes.LoadText(saved, &error)) << error;
    EXPECT_EQ(saved, processes.SaveText());
    EXPECT_EQ(E_FAIL, processes.Dll("c:\\program files\\korvane\\KVCOM.DLL")->result);
    EXPECT_EQ(2u, processes.Program("C:\\Program Files\\Korvane\\kvsrv.exe")->removes.size());
    ASSERT_EQ(1u, processes.Running().size());
    EXPECT_NE(std::string::npos, saved.find(kProgramKeys));
    EXPECT_NE(std::string::npos, saved.find(kProcessKeys + kRunOnceKeys));
    EXPECT_NE(std::string::npos, saved.find(kDllKeys));
    EXPECT_NE(std::string::npos, saved.find("Runs=runonce\n"));
    // The process's window is open again, with two of its three attempts had.
    PostMessageA(processes.Running()[0].windows.at(0), WM_CLOSE, 0, 0);
    EXPECT_TRUE(processes.Running().empty()) << "its last window closed";
    ASSERT_TRUE(processes.LoadText(saved, &error)) << error;

    const struct {
        const char* text;
        const char* error;
    } rows[] = {
        {"[programs C:\\x.exe]\n", "line 1: sections are"},
        {"[program]\n", "line 1: [program] needs a path"},
        {"[program C:\\x.exe]\nRuns=soon\n", "line 2: Runs is"},
        {"[program C:\\x.exe]\nExitCode=-1\n", "line 2: ExitCode needs a number"},
        {"[program C:\\x.exe]\n[program c:\\X.EXE]\n", "line 2: c:\\X.EXE is listed twice"},
        {"[dll C:\\x.dll]\nDllUnregisterServer=returns\n", "line 2: DllUnregisterServer is"},
        {"[dll C:\\x.dll]\nRuns=never\n", "line 2: unknown key 'Runs'"},
        {"[process x]\n", "line 1: [process] needs a number"},
        {"[process 1000]\nCommandLine=/s\n", "line 1: process 1000 names no Program"},
        {"[process 1000]\nProgram=C:\\x.exe\nEnds=later\n", "line 3: Ends is"},
        {"[program C:\\x.exe]\nThread=queue-after\n", "line 2: Thread is"},
        {"[program C:\\x.exe]\nOnQuit=soon\n", "line 2: OnQuit is"},
        {"[program C:\\x.exe]\nOnClose=never\n", "line 2: OnClose belongs after a Window"},
        {"[program C:\\x.exe]\nWindow=K\nOnClose=0\n", "line 3: OnClose is"},
        {"[program C:\\x.exe]\nAccount=root\n", "line 2: Account is"},
        {"[process 1000]\nProgram=C:\\x.exe\nThread=1004 queue\n", "line 3: Thread is"},
        {"[dll C:\\x.dll]\nExport=DllUnregisterServer\n", "line 2: Export is"},
        {"[dll C:\\x.dll]\nExport=F returns\n", "line 2: Export is"},
        {"[dll C:\\x.dll]\nExport=F\nExport=F returns 1\n", "line 3: export F is listed twice"},
        {"[process 1000]\nProgram=C:\\x.exe\nEntry=HKLM\\RunOnce|x\n", "line 3: Entry is"},
        {"[process 1000]\nProgram=C:\\x.exe\n[process 1004]\nProgram=C:\\x.exe\n", "line 3: process 1004 shares"},
    };
    for (const auto& row : rows) {
        error.clear();
        EXPECT_FALSE(processes.LoadText(row.text, &error)) << row.text;
        EXPECT_EQ(0u, error.find(row.error)) << row.text << " gave " << error;
    }
    EXPECT_EQ(saved, processes.SaveText()) << "a damaged text changes nothing";
}
