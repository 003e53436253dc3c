// Installation from the INF and the registry install queue: sections, results, the current directory,
// the host wait, the drains and what they leave behind.
#include "kvisinst/exports.h"
#include "kvisinst/install/queueentry.h"

#include <winsim/files.h>
#include <winsim/processes.h>
#include <winsim/registry.h>
#include <winsim/win32api.h>

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace {

using winsim::OsVersion;
using Entries = std::vector<std::pair<std::string, std::string>>;  // value name, request text

char* Text(const char* text) { return const_cast<char*>(text); }

// A running program of that file.
void Start(const std::string& path, winsim::ProgramScript::Run run = winsim::ProgramScript::Run::Never, DWORD ms = 0) {
    ASSERT_TRUE(winsim::WriteWholeFile(path, "MZ"));
    winsim::ProgramScript program;
    program.path = path;
    program.run = run;
    program.runMs = ms;
    winsim::Current().Processes().Start(program, path);
}

// quillex.inf: each section marks its name under Software\InstallTest. delayed.inf: copies kvagent.exe
// over the system directory's, which a running program has in use. kvtest.dll in C:\Prod and in the
// default product folder.
void Prepare() {
    std::string inf = "[Version]\r\nSignature=\"$Windows NT$\"\r\n";
    for (std::string name : {"DefaultInstall", "DefaultInstall.nt5x86", "Other", "Pre", "Post"})
        inf += "[" + name + "]\r\nAddReg=M." + name + "\r\n[M." + name + "]\r\nHKLM,Software\\InstallTest," + name +
               ",,\"1\"\r\n";
    ASSERT_TRUE(winsim::WriteWholeFile("C:\\Setup\\quillex.inf", inf));
    ASSERT_TRUE(winsim::WriteWholeFile("C:\\Setup\\delayed.inf",
                                       "[Version]\r\nSignature=\"$Windows NT$\"\r\n[DefaultInstall]\r\nCopyFiles=F\r\n"
                                       "[DestinationDirs]\r\nF=11\r\n[SourceDisksNames]\r\n1=\"D\"\r\n"
                                       "[SourceDisksFiles]\r\nkvagent.exe=1\r\n[F]\r\nkvagent.exe\r\n"));
    ASSERT_TRUE(winsim::WriteWholeFile("C:\\Setup\\kvagent.exe", "MZ new"));
    Start(winsim::Current().SystemDirectory() + "\\kvagent.exe");
    for (std::string folder : {"C:\\Prod", "C:\\Program files\\Korvane\\QuillexPro"}) {
        ASSERT_TRUE(winsim::WriteWholeFile(folder + "\\kvtest.dll", "MZ"));
        winsim::DllScript dll;
        dll.path = folder + "\\kvtest.dll";
        dll.exports.push_back({"KVQuillexRemoteTest", 0});
        winsim::Current().Processes().SetDll(dll);
    }
}

// The string values of a key as "name=text ".
std::string Values(const std::string& key) {
    std::string values;
    for (const auto& value : winsim::Current().Reg().Values(key))
        values += value.name + "=" + winsim::Current().Reg().StringValue(key, value.name).value_or("") + " ";
    return values;
}

TEST(InstallFromINF, InstallsTheSectionsFromTheSourceDirectoryAndRestoresTheCurrentDirectory) {
    const std::string tooLong = "C:\\" + std::string(250, 'd');
    const struct {
        const char* inf;
        const char* sourceDir;
        const char* sections[3];  // section, pre-section, post-section
        int install;
        bool runOnce;
        LONG result;
        const char* marks;
    } rows[] = {
        {"quillex.inf", "C:\\Setup", {}, 1, true, 0, "DefaultInstall.nt5x86=1 "},
        {"quillex.inf", "C:\\Setup\\", {}, 0, true, 0, "DefaultInstall.nt5x86=1 "},
        {"quillex.inf", nullptr, {"Other", "Pre", "Post"}, 1, true, 0, "Pre=1 Other=1 Post=1 "},  // C:\Setup\setup.exe
        {"quillex.inf", "C:\\Setup", {"Other", nullptr, "Missing"}, 1, true, E_UNEXPECTED, "Other=1 "},
        {"quillex.inf", "C:\\Setup", {}, 1, false, E_UNEXPECTED, "DefaultInstall.nt5x86=1 "},
        {"delayed.inf", "C:\\Setup", {}, 1, true, 1, ""},
        {"missing.inf", "C:\\Setup", {}, 1, true, E_INVALIDARG, ""},
        {"quillex.inf", tooLong.c_str(), {}, 1, true, E_INVALIDARG, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE("row " + std::to_string(&row - rows));
        winsim::ScopedMachine machine(OsVersion::Win2000);
        Prepare();
        if (!row.runOnce) DeleteFileA(winsim::RunOnceProgramPath(*machine).c_str());
        EXPECT_EQ(row.result, InstallFromINF(Text(row.inf), row.install, Text(row.sourceDir), Text(row.sections[0]),
                                             Text(row.sections[1]), Text(row.sections[2])));
        EXPECT_EQ(row.marks, Values("HKLM\\Software\\InstallTest"));
        EXPECT_EQ("C:\\", machine->CurrentDirectory());
    }
}

TEST(InstallFromINF, WaitsForTheHostOnWindows2000AndLaterOnlyAndNeverEndsIt) {
    // A host that runs 5 s, or for ever: 20 s of wait, 20 polls a second apart, a last second.
    for (const auto& [version, hostMs, waitedMs] : {std::tuple{OsVersion::Win2000, 5000u, 5000u + 1000u},
                                                    {OsVersion::Win2000, 0u, 20000u + 20000u + 1000u},
                                                    {OsVersion::NT4, 0u, 0u}}) {
        winsim::ScopedMachine machine(version);
        Prepare();
        Start("C:\\Program Files\\Korvane\\KvHost.exe",
              hostMs ? winsim::ProgramScript::Run::For : winsim::ProgramScript::Run::Never, hostMs);
        const uint64_t started = machine->NowMs();
        EXPECT_EQ(0, InstallFromINF(Text("quillex.inf"), 1, Text("C:\\Setup"), nullptr, nullptr, nullptr));
        EXPECT_EQ(waitedMs, machine->NowMs() - started);
        EXPECT_EQ(hostMs ? 1u : 2u, machine->Processes().Running().size());  // the agent, and the host
    }
}

TEST(SplitQueueEntry, SkipsLeadingDelimitersCollapsesRunsAndKeepsBlanks) {
    const char* const rows[][2] = {
        {"quillex.inf", "quillex.inf|----"},
        {"quillex.inf,C:\\Setup;;Main", "quillex.inf|C:\\Setup|Main|--"},
        {"quillex.inf,,Main", "quillex.inf|Main|---"},  // Main is the source directory
        {",;quillex.inf , Dir", "quillex.inf | Dir|---"},
        {"a;b,c;d,e,f", "a|b|c|d|e|"},
        {",;,", "-----"},
    };
    for (const auto& row : rows) {
        std::string text = row[0], fields;
        char* split[kQueueEntryFields];
        SplitQueueEntry(text.data(), split);
        for (const char* field : split) fields += field ? std::string(field) + "|" : "-";
        EXPECT_EQ(row[1], fields);
    }
}

constexpr char kAdd[] = "HKLM\\Software\\Korvane\\Install\\Add";
constexpr char kRemove[] = "HKLM\\Software\\Korvane\\Install\\Remove";
constexpr char kOk[] = "quillex.inf,C:\\Setup";
constexpr char kDelayed[] = "delayed.inf,C:\\Setup";
constexpr char kNoInf[] = "missing.inf,C:\\Setup";                      // 80070057
constexpr char kBadPost[] = "quillex.inf,C:\\Setup,Other,Pre,Missing";  // 8000FFFF

constexpr char kProd[] = "C:\\Prod\\kvtest.dll";
constexpr char kDefault[] = "C:\\Program files\\Korvane\\QuillexPro\\kvtest.dll";

void Queue(const std::string& key, const Entries& entries) {
    winsim::Current().Reg().CreateKey(key);
    for (const auto& [name, text] : entries) winsim::Current().Reg().SetStringValue(key, name, text);
}

TEST(InstallFromRegistry, RunsEachRequestOnceRecordsFailuresAndRunsTheRemoteTestAfterASuccess) {
    const struct {
        Entries add;
        Entries remove;  // with it, InstallUninstall drains Remove first
        const char* productPath;
        LONG result;
        const char* failed;      // the Add queue's records
        const char* remoteTest;  // the library whose export ran
    } rows[] = {
        {{{"1", kDelayed}, {"2", kOk}}, {}, "C:\\Prod", 1, "", kProd},
        {{{"1", kOk}}, {}, "C:\\Prod\\", 0, "", kProd},
        {{{"1", kOk}}, {}, nullptr, 0, "", kDefault},
        {{}, {}, "C:\\Prod", 0, "", kDefault},  // a pure uninstall: the tree went first
        {{{"1", kNoInf}, {"2", kOk}}, {}, "C:\\Prod", E_INVALIDARG, "1=Error: 80070057 ", ""},
        {{{"1", kNoInf}, {"2", kBadPost}}, {}, "C:\\Prod", E_UNEXPECTED, "1=Error: 80070057 2=Error: 8000FFFF ", ""},
        {{{"1", kBadPost}, {"2", kNoInf}}, {}, "C:\\Prod", E_INVALIDARG, "1=Error: 8000FFFF 2=Error: 80070057 ", ""},
        {{{"1", kOk}, {"none", ",;"}}, {}, "C:\\Prod", E_INVALIDARG, "none=Error: 80070057 ", ""},
        {{{"1", kOk}}, {{"1", kDelayed}}, "C:\\Prod", 1, "", kProd},
        {{{"1", kNoInf}}, {{"1", kOk}}, "C:\\Prod", E_UNEXPECTED, "1=Error: 80070057 ", ""},
        {{{"1", kOk}}, {{"1", kNoInf}}, "C:\\Prod", E_UNEXPECTED, "", kProd},
        {{}, {{"1", kOk}}, "C:\\Prod", 0, "", kDefault},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE("row " + std::to_string(&row - rows));
        winsim::ScopedMachine machine(OsVersion::Win2000);
        Prepare();
        if (row.productPath)
            machine->Reg().SetStringValue("HKLM\\SOFTWARE\\Korvane\\QuillexPro", "ProductPath", row.productPath);
        Queue(kAdd, row.add);
        Queue(std::string(kAdd) + "\\Failed", {{"old", "Error: 80004005"}});
        if (!row.remove.empty()) Queue(kRemove, row.remove);
        EXPECT_EQ(row.result, row.remove.empty() ? InstallFromRegistry(1) : InstallUninstall());
        EXPECT_EQ(row.result == 1, NeedReboot());
        EXPECT_EQ(row.failed, Values(std::string(kAdd) + "\\Failed"));
        EXPECT_EQ("", Values(kAdd) + Values(kRemove));
        EXPECT_EQ(!row.add.empty(), machine->Reg().KeyExists("HKLM\\Software\\Korvane"));  // a pure uninstall
        std::string called;
        for (const auto& event : machine->Processes().Events())
            if (event.kind == winsim::ProcessEvent::Kind::ExportCalled) called += event.path;
        EXPECT_EQ(row.remoteTest, called);
    }
}

}  // namespace
