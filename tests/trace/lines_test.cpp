// The text of entry, exit, message and error lines under each combination of settings, and where
// overlong texts are cut.
#include "kvisinst/trace/trace.h"

#include "trace/trace_testing.h"

#include <winsim/dialogs.h>

#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using tracetest::Setting;
using tracetest::TraceLines;

void CleanUpWithMessageAndError(winsim::Machine&) {
    TraceScope scope("CleanUp");
    TraceMessage(scope, nullptr, "Finished");
    TraceError(scope, "", E_ACCESSDENIED, nullptr);
}

void ProfiledCleanUp(winsim::Machine& machine) {
    TraceScope scope("CleanUp");
    TraceMessage(scope, nullptr, "Finished");
    machine.Advance(56);
    TraceError(scope, "", E_ACCESSDENIED, nullptr);
}

void NestedCalls(winsim::Machine&) {
    TraceScope scope("CleanUp");
    TraceScope inner("IsVer101");
    TraceMessage(inner, nullptr, "checking");
}

void HelperBelowLevelZero(winsim::Machine&) {
    TraceScope scope("Helper", -1);
    TraceMessage(scope, nullptr, "inside");
}

void HelperInsideCleanUp(winsim::Machine& machine) {
    TraceScope scope("CleanUp");
    HelperBelowLevelZero(machine);
}

void LevelTwo(winsim::Machine&) {
    TraceScope scope("Deep", 2);
    TraceMessage(scope, nullptr, "detail");
}

void Errors(winsim::Machine&) {
    TraceScope scope("CleanUp");
    TraceError(scope, "Opening", E_ACCESSDENIED, nullptr);
    for (LONG code : {S_OK, S_FALSE, 5, 0x7FFFFFFF}) TraceError(scope, "", code, nullptr);  // none is a failure
    TraceError(scope, "", static_cast<LONG>(0x80041234), nullptr);
    TraceError(scope, "", E_UNEXPECTED, nullptr);
    TraceError(scope, nullptr, static_cast<LONG>(0x80070002), nullptr);
}

void FormattedMessages(winsim::Machine&) {
    TraceScope scope("CleanUp");
    TraceMessage(scope, nullptr, "%s=%d 0x%X", "count", -3, 255u);
    TraceMessage(scope, nullptr, "%s%% of %s", "50", "C:\\kv.dll");
    const char* empty = "";  // not a literal, which the format check would refuse
    TraceMessage(scope, nullptr, nullptr);
    TraceMessage(scope, empty, empty);
}

// An exception still writes the exit line and restores the depth.
void Throws(winsim::Machine&) {
    TraceScope outer("CleanUp");
    try {
        TraceScope inner("Throws");
        throw std::runtime_error("out");
    } catch (const std::runtime_error&) {
    }
    TraceMessage(outer, nullptr, "after");
}

void OverlongTexts(winsim::Machine&) {
    const std::string name(150, 'n'), message(600, 'm'), caption(300, 'c');
    TraceScope scope(name.c_str());
    TraceMessage(scope, nullptr, "%s", message.c_str());
    TraceError(scope, caption.c_str(), E_FAIL, nullptr);
}

struct Row {
    const char* name;
    std::vector<Setting> settings;
    void (*action)(winsim::Machine&);
    std::vector<std::string> expected;  // "{tid}" stands for the thread id in hexadecimal
};

const char kDenied[] = "Access is denied. (0x80070005)";

const std::vector<Row> kRows = {
    {"only DoTrace", {}, CleanUpWithMessageAndError,
     {"10:41:07:250 CleanUp() Finished", std::string("*ERR* 10:41:07:250 CleanUp() ") + kDenied}},
    {"entry and exit lines", {{"TraceEntryExit", 1}}, CleanUpWithMessageAndError,
     {">>>CleanUp()", "  10:41:07:250 Finished", std::string("  *ERR* 10:41:07:250 ") + kDenied, "<<<CleanUp()"}},
    {"no time", {{"TraceEntryExit", 1}, {"PrintTime", 0}}, CleanUpWithMessageAndError,
     {">>>CleanUp()", "  Finished", std::string("  *ERR* ") + kDenied, "<<<CleanUp()"}},
    {"delimiter with low byte 0", {{"Delimiter", 0x100}}, CleanUpWithMessageAndError,
     {"10:41:07:250CleanUp()Finished", std::string("*ERR*10:41:07:250CleanUp()") + kDenied}},
    {"thread id", {{"PrintThreadId", 1}, {"PrintTime", 0}}, CleanUpWithMessageAndError,
     {"CleanUp(0x{tid}) Finished", std::string("*ERR* CleanUp(0x{tid}) ") + kDenied}},
    {"thread id on entry and exit", {{"PrintThreadId", 1}, {"TraceEntryExit", 1}, {"PrintTime", 0}},
     CleanUpWithMessageAndError, {">>>CleanUp(0x{tid})", "  Finished", std::string("  *ERR* ") + kDenied, "<<<CleanUp(0x{tid})"}},
    {"profiling", {{"TraceEntryExit", 1}, {"DoProfiling", 1}}, ProfiledCleanUp,
     {">>>CleanUp()\t 38467250", std::string("  *ERR* 10:41:07:306 ") + kDenied, "<<<CleanUp()\t 38467306\t56"}},
    {"indent size 0", {{"TraceEntryExit", 1}, {"PrintTime", 0}, {"IndentSize", 0}}, NestedCalls,
     {">>>CleanUp()", ">>>IsVer101()", "checking", "<<<IsVer101()", "<<<CleanUp()"}},
    {"nested calls without entry and exit lines", {{"PrintTime", 0}}, NestedCalls, {"IsVer101() checking"}},
    // Level -1 writes no entry and exit lines, and its messages carry its name.
    {"level -1 inside a traced scope", {{"TraceEntryExit", 1}, {"Verbosity", 1}, {"PrintTime", 0}},
     HelperInsideCleanUp, {">>>CleanUp()", "  Helper() inside", "<<<CleanUp()"}},
    {"level -1 beyond verbosity 0", {{"TraceEntryExit", 1}, {"PrintTime", 0}}, HelperBelowLevelZero, {}},
    {"level 2 beyond verbosity 1", {{"TraceEntryExit", 1}, {"Verbosity", 1}, {"PrintTime", 0}}, LevelTwo, {}},
    {"level 2 within verbosity 2", {{"TraceEntryExit", 1}, {"Verbosity", 2}, {"PrintTime", 0}}, LevelTwo,
     {">>>Deep()", "  detail", "<<<Deep()"}},
    {"error captions and codes", {{"PrintTime", 0}}, Errors,
     {std::string("*ERR* Opening CleanUp() ") + kDenied, "*ERR* CleanUp() unknown error code (0x80041234)",
      "*ERR* CleanUp() Catastrophic failure (0x8000FFFF)",
      "*ERR* CleanUp() The system cannot find the file specified. (0x80070002)"}},
    {"exception", {{"TraceEntryExit", 1}, {"PrintTime", 0}}, Throws,
     {">>>CleanUp()", "  >>>Throws()", "  <<<Throws()", "  after", "<<<CleanUp()"}},
    {"null name", {{"TraceEntryExit", 1}}, [](winsim::Machine&) { TraceScope scope(nullptr); },
     {">>>?\?\?\?()", "<<<?\?\?\?()"}},
    {"formatted messages", {{"PrintTime", 0}}, FormattedMessages,
     {"CleanUp() count=-3 0xFF", "CleanUp() 50% of C:\\kv.dll", "CleanUp() ", "CleanUp() "}},
    {"overlong names, messages and captions are cut", {{"TraceEntryExit", 1}, {"PrintTime", 0}}, OverlongTexts,
     {">>>" + std::string(99, 'n') + "()", "  " + std::string(400, 'm'),
      "  *ERR* " + std::string(253, 'c') + " Unspecified error (0x80004005)", "<<<" + std::string(99, 'n') + "()"}},
    // Not to the file, and not to the debugger that is attached either.
    {"TraceToFile off", {{"TraceToFile", 0}}, CleanUpWithMessageAndError, {}},
};

class TraceLineTest : public tracetest::TraceTest {};

TEST_F(TraceLineTest, LinesOfEachSetting) {
    char tid[16];
    std::snprintf(tid, sizeof tid, "%X", static_cast<unsigned>(GetCurrentThreadId()));
    machine_->SetDebuggerPresent(true);
    for (size_t i = 0; i < kRows.size(); ++i) {
        const Row& row = kRows[i];
        SCOPED_TRACE(testing::Message() << "row " << i << " (" << row.name << ")");
        TraceOn();
        for (const auto& s : row.settings) tracetest::SetDword(s.name, s.value);
        Reload();
        machine_->Advance(kMorning - machine_->NowMs());
        row.action(*machine_);

        std::vector<std::string> expected = row.expected;
        for (auto& line : expected)
            for (size_t at; (at = line.find("{tid}")) != std::string::npos;) line.replace(at, 5, tid);
        EXPECT_EQ(expected, TraceLines());
    }
}

TEST_F(TraceLineTest, NoTracingKeyWritesNothingAndCreatesNoFile) {
    Reload();
    CleanUpWithMessageAndError(*machine_);
    NestedCalls(*machine_);
    Reload();
    EXPECT_FALSE(winsim::ReadWholeFile("C:\\WINNT\\System32\\setup.KVISINST.DLL.trace"));
    EXPECT_TRUE(machine_->Dialogs().MessageBoxes().empty());
}

}  // namespace
