// The function, keyword and component lists.
#include "kvisinst/trace/trace.h"

#include "trace/trace_testing.h"

#include <string>
#include <utility>
#include <vector>

namespace {

void Calls() {
    TraceScope scope("CleanUp");
    TraceMessage(scope, nullptr, "cleaning");
    TraceMessage(scope, "Files", "file step");
    TraceMessage(scope, "Registry", "registry step");
    {
        TraceScope inner("IsVer101");
        TraceMessage(inner, nullptr, "checking");
        TraceError(inner, "", E_FAIL, nullptr);
    }
}

using Entries = std::vector<std::pair<const char*, std::string>>;

struct Row {
    const char* name;
    Entries entries;  // list subkey, value name; in creation (and enumeration) order
    std::vector<std::string> expected;
};

const std::vector<std::string> kEverything = {
    ">>>CleanUp()",   "  cleaning",   "  file step", "  registry step", "  >>>IsVer101()", "    checking",
    "    *ERR* Unspecified error (0x80004005)", "  <<<IsVer101()", "<<<CleanUp()"};
const std::vector<std::string> kCleanUpOnly = {
    ">>>CleanUp()", "  cleaning", "  file step", "  registry step", "  *ERR* Unspecified error (0x80004005)",
    "<<<CleanUp()"};
// With nothing else written, the error line is at depth 0 and names its function.
const std::vector<std::string> kErrorsOnly = {"*ERR* IsVer101() Unspecified error (0x80004005)"};

const std::vector<Row> kRows = {
    {"no lists", {}, kEverything},
    {"Functions names one", {{"Functions", "CleanUp"}}, kCleanUpOnly},
    {"FunctionsNOT names one", {{"FunctionsNOT", "IsVer101"}}, kCleanUpOnly},
    {"FunctionsNOT wins over Functions",
     {{"Functions", "CleanUp"}, {"Functions", "IsVer101"}, {"FunctionsNOT", "IsVer101"}}, kCleanUpOnly},
    {"function names are case-sensitive", {{"Functions", "cleanup"}}, kErrorsOnly},
    {"a name too long for the buffer ends the list",
     {{"Functions", "CleanUp"}, {"Functions", std::string(300, 'x')}, {"Functions", "IsVer101"}}, kCleanUpOnly},
    {"Keywords keep null keywords",
     {{"Keywords", "Files"}},
     {">>>CleanUp()", "  cleaning", "  file step", "  >>>IsVer101()", "    checking",
      "    *ERR* Unspecified error (0x80004005)", "  <<<IsVer101()", "<<<CleanUp()"}},
    {"keywords are case-sensitive",
     {{"Keywords", "files"}},
     {">>>CleanUp()", "  cleaning", "  >>>IsVer101()", "    checking", "    *ERR* Unspecified error (0x80004005)",
      "  <<<IsVer101()", "<<<CleanUp()"}},
    {"ComponentsNOT names this library in any case", {{"ComponentsNOT", "kvisinst"}}, kErrorsOnly},
    {"ComponentsNOT names another", {{"ComponentsNOT", "kvhost"}}, kEverything},
    {"Components names only another", {{"Components", "kvhost"}}, kErrorsOnly},
    {"Components names this library too, whatever ComponentsNOT says",
     {{"ComponentsNOT", "KVISINST"}, {"Components", "kvhost"}, {"Components", "KvIsInst"}}, kEverything},
};

class TraceFilterTest : public tracetest::TraceTest {};

TEST_F(TraceFilterTest, ListsDecideWhatIsWritten) {
    for (size_t i = 0; i < kRows.size(); ++i) {
        const Row& row = kRows[i];
        SCOPED_TRACE(testing::Message() << "row " << i << " (" << row.name << ")");
        // A fresh Tracing key for each row.
        HKEY tracing = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, tracetest::kTracingKey, 0, KEY_ALL_ACCESS, &tracing) == ERROR_SUCCESS) {
            for (const char* list : {"Functions", "FunctionsNOT", "Keywords", "Components", "ComponentsNOT"})
                RegDeleteKeyA(tracing, list);
            RegCloseKey(tracing);
        }
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, tracetest::kTracingKey);
        TraceOn({{"TraceEntryExit", 1}, {"PrintTime", 0}});
        for (const auto& entry : row.entries) tracetest::AddListEntry(entry.first, entry.second);
        Reload();
        Calls();
        EXPECT_EQ(row.expected, tracetest::TraceLines());
    }
}

TEST_F(TraceFilterTest, ListsAreReadOncePerLoad) {
    TraceOn({{"TraceEntryExit", 1}, {"PrintTime", 0}});
    Reload();
    { TraceScope first("First"); }
    // Read at the first TraceEnter: a list added now counts from the next load on.
    tracetest::AddListEntry("FunctionsNOT", "Second");
    { TraceScope second("Second"); }
    EXPECT_EQ((std::vector<std::string>{">>>First()", "<<<First()", ">>>Second()", "<<<Second()"}),
              tracetest::TraceLines());
    Reload();
    { TraceScope first("First"); }
    { TraceScope second("Second"); }
    EXPECT_EQ((std::vector<std::string>{">>>First()", "<<<First()"}), tracetest::TraceLines());
}

TEST_F(TraceFilterTest, TheComponentIsTheLibrarysFileBaseName) {
    machine_->SetModulePath("KVISINST.DLL", "C:\\Setup\\kvsetup.dll");
    TraceOn({{"TraceEntryExit", 1}, {"PrintTime", 0}});
    tracetest::AddListEntry("Components", "KVSETUP");
    Reload();
    { TraceScope scope("CleanUp"); }
    EXPECT_EQ((std::vector<std::string>{">>>CleanUp()", "<<<CleanUp()"}), tracetest::TraceLines());
}

}  // namespace
