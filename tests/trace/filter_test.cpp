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

struct Row {
    const char* name;
    std::vector<std::pair<const char*, std::string>> entries;  // list, value name; in enumeration order
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
        SCOPED_TRACE(testing::Message() << "row " << i << " (" << kRows[i].name << ")");
        TraceOn({{"TraceEntryExit", 1}, {"PrintTime", 0}});
        for (const auto& entry : kRows[i].entries) tracetest::SetDword(entry.second.c_str(), 1, entry.first);
        Reload();
        Calls();
        EXPECT_EQ(kRows[i].expected, tracetest::TraceLines());
    }
}

TEST_F(TraceFilterTest, TheComponentIsTheLibrarysFileBaseName) {
    machine_->SetModulePath("KVISINST.DLL", "C:\\Setup\\kvsetup.dll");
    TraceOn({{"PrintTime", 0}});
    tracetest::SetDword("KVSETUP", 1, "Components");
    Reload();
    tracetest::Say("kept");
    EXPECT_EQ(std::vector<std::string>{"CleanUp() kept"}, tracetest::TraceLines());
}

}  // namespace
