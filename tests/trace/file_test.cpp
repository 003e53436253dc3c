// The trace file: its name, fresh and append modes, the records, and the one message box when it
// can't be created.
#include "kvisinst/trace/trace.h"

#include "trace/trace_testing.h"

#include <winsim/dialogs.h>

#include <string>
#include <vector>

namespace {

using tracetest::ReadTraceFile;
using tracetest::Say;
using tracetest::TraceLines;
using Lines = std::vector<std::string>;

class TraceFileTest : public tracetest::TraceTest {};

TEST_F(TraceFileTest, FreshFilesHaveAHeaderAppendingAddsNoneAndReadersMayShare) {
    TraceOn({{"PrintTime", 0}, {"NewFileAlways", 0}});
    Reload();
    Say("one");
    // Appending to no file: the first bytes are a record length, of "CleanUp() one" CR LF.
    EXPECT_EQ(std::string("\x0F\0\0\0", 4), winsim::ReadWholeFile(tracetest::kTraceFile)->substr(0, 4));
    tracetest::SetDword("NewFileAlways", 1);
    for (const char* text : {"fresh", "fresh again"}) {
        Reload();
        Say(text);
    }
    tracetest::SetDword("NewFileAlways", 0);
    Reload();
    // The library shares its file: a reader may hold it open while lines are added.
    HANDLE reader = CreateFileA(tracetest::kTraceFile, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, reader);
    Say("appended");
    CloseHandle(reader);
    auto contents = ReadTraceFile();
    ASSERT_TRUE(contents);
    EXPECT_TRUE(contents->header);
    EXPECT_EQ((Lines{"CleanUp() fresh again", "CleanUp() appended"}), contents->lines);
    EXPECT_TRUE(contents->whole);
}

// The default name lies beside the library and names the program; a file that can't be made is
// reported once, in a message box, and its lines are dropped.
TEST_F(TraceFileTest, WhereTheFileGoesAndTheBoxWhenItCannot) {
    using V = winsim::OsVersion;
    const struct {
        V version;
        const char* program;
        const char* library;   // nullptr: the system directory
        const char* fileName;  // the FileName setting; nullptr: none
        bool held;             // the file already open without sharing
        const char* expected;  // the file the lines go to; nullptr: none
        std::string box;       // the message box's text; empty: none
    } kRows[] = {
        {V::Win2000, "C:\\Setup\\setup.exe", nullptr, nullptr, false,
         "C:\\WINNT\\System32\\setup.KVISINST.DLL.trace", ""},
        {V::NT4, "C:\\Setup\\setup.exe", "C:\\Program Files\\Korvane\\kvisinst.dll", nullptr, false,
         "C:\\Program Files\\Korvane\\setup.kvisinst.dll.trace", ""},
        {V::Win2000, "C:\\Setup\\run.me.exe", "C:\\Setup\\KVISINST", nullptr, false,
         "C:\\Setup\\run.me.KVISINST.trace", ""},
        {V::Win2000, "C:\\Setup\\setup.exe", nullptr, "C:\\missing\\trace.bin", false, nullptr,
         "Cannot create tracing file [C:\\missing\\trace.bin] last error=0x3"},
        {V::Win2000, "C:\\Setup\\setup.exe", nullptr, tracetest::kTraceFile, true, nullptr,
         "Cannot create tracing file [C:\\trace.bin] last error=0x20"},
    };
    for (size_t i = 0; i < std::size(kRows); ++i) {
        SCOPED_TRACE(testing::Message() << "row " << i);
        const auto& row = kRows[i];
        winsim::ScopedMachine machine(row.version);
        machine->SetProgramPath(row.program);
        if (row.library) {
            machine->SetModulePath("KVISINST.DLL", row.library);
            ASSERT_TRUE(winsim::WriteWholeFile(row.library, "library"));
        }
        tracetest::SetDword("DoTrace", 1);
        tracetest::SetDword("PrintTime", 0);
        if (row.fileName) tracetest::SetString("FileName", row.fileName);
        HANDLE held = row.held ? CreateFileA(row.fileName, GENERIC_READ, 0, nullptr, CREATE_ALWAYS, 0, nullptr)
                               : INVALID_HANDLE_VALUE;
        winsim::SetCurrent(nullptr);
        winsim::SetCurrent(&*machine);
        Say("here");
        Say("again");
        if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
        if (row.expected) {
            EXPECT_EQ((Lines{"CleanUp() here", "CleanUp() again"}), TraceLines(row.expected));
        }
        ASSERT_EQ(row.box.empty() ? 0u : 1u, machine->Dialogs().MessageBoxes().size());
        if (row.box.empty()) continue;
        EXPECT_EQ(row.box, machine->Dialogs().MessageBoxes()[0].text);
        EXPECT_EQ("KVTrace", machine->Dialogs().MessageBoxes()[0].caption);
        EXPECT_EQ(static_cast<UINT>(MB_OK), machine->Dialogs().MessageBoxes()[0].type);
    }
}

}  // namespace
