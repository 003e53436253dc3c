// The trace file: its name, fresh and append modes, the records, and the one message box when it
// can't be created.
#include "kvisinst/trace/trace.h"
#include "kvisinst/trace/tracefile.h"

#include "trace/trace_testing.h"

#include <winsim/dialogs.h>
#include <winsim/loader.h>

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

TEST_F(TraceFileTest, RecordLengthsCountTheExpandedLineEndsAndEqualLinesGiveEqualRecords) {
    TraceOn();
    Reload();
    FileTraceSink sink;
    // The last 8-byte segment of a record may be short.
    const std::pair<const char*, uint32_t> kLines[] = {{"ab\n", 4}, {"abcdefg\n", 9}, {"a\nb\n", 6}, {"ab\n", 4}};
    for (const auto& line : kLines) sink.Write(line.first);
    auto contents = ReadTraceFile();
    ASSERT_TRUE(contents);
    ASSERT_EQ(std::size(kLines), contents->lengths.size());
    for (size_t i = 0; i < std::size(kLines); ++i) EXPECT_EQ(kLines[i].second, contents->lengths[i]) << "line " << i;
    EXPECT_EQ("a\r\nb", contents->lines[2]);
    EXPECT_EQ(contents->records[0], contents->records[3]);
    EXPECT_NE(std::string("ab\r\n"), contents->records[0]);
}

TEST_F(TraceFileTest, LongLinesAreCutAndStillEndTheirRecord) {
    unsigned char record[kTraceRecordMax];
    const std::pair<std::string, size_t> kRows[] = {
        {std::string(511, 'x'), 512},           // no line feed given: one is added
        {std::string(510, 'x') + "\n", 512},    // fits exactly
        {std::string(511, 'x') + "\n", 512},    // one too many: cut
        {std::string(300, '\n') + "\n", 512},   // line feeds double: cut at a whole CR LF
        {std::string(509, 'x') + "\n\n", 511},  // the inner LF does not fit as CR LF
    };
    for (size_t i = 0; i < std::size(kRows); ++i) {
        SCOPED_TRACE(testing::Message() << "row " << i);
        const size_t length = ExpandTraceLine(kRows[i].first.c_str(), record);
        ASSERT_EQ(kRows[i].second, length);
        EXPECT_EQ('\r', record[length - 2]);
        for (size_t b = 0; b + 1 < length; ++b) EXPECT_TRUE(record[b + 1] != '\n' || record[b] == '\r') << "byte " << b;
    }
}

TEST_F(TraceFileTest, OverlongNamesMessagesCaptionsAndIndentationAreCut) {
    TraceOn({{"TraceEntryExit", 1}, {"PrintTime", 0}});
    Reload();
    const std::string name(150, 'n'), message(600, 'm'), caption(300, 'c');
    {
        TraceScope scope(name.c_str());
        TraceMessage(scope, nullptr, "%s", message.c_str());
        TraceError(scope, caption.c_str(), E_FAIL, nullptr);
    }
    const std::string cutName = name.substr(0, 99) + "()";
    EXPECT_EQ((Lines{">>>" + cutName, "  " + message.substr(0, 400),
                     "  *ERR* " + caption.substr(0, 253) + " Unspecified error (0x80004005)", "<<<" + cutName}),
              TraceLines());

    TraceOn({{"TraceEntryExit", 1}, {"PrintTime", 0}, {"IndentSize", 200}});
    Reload();
    {
        TraceScope outer("Outer");
        TraceScope inner("Inner");
        TraceMessage(inner, nullptr, "%s", message.c_str());
        TraceScope third("Third");
    }
    // A message line holds 511 characters with its line feed, an entry or exit line 259: at depth
    // 2, 400 spaces of indentation leave room for 110 characters of text and none of the name.
    const std::string in1(200, ' '), cut(258, ' ');
    EXPECT_EQ((Lines{">>>Outer()", in1 + ">>>Inner()", std::string(400, ' ') + message.substr(0, 110), cut, cut,
                     in1 + "<<<Inner()", "<<<Outer()"}),
              TraceLines());
}

// The default name lies beside the library and names the program; a file that can't be made is
// reported once, in a message box, and its lines are dropped.
TEST_F(TraceFileTest, WhereTheFileGoesAndTheBoxWhenItCannot) {
    using V = winsim::OsVersion;
    const std::string folder = "C:\\" + std::string(240, 'd');
    const struct {
        V version;
        const char* program;
        std::string library;   // empty: the system directory
        const char* fileName;  // the FileName setting; nullptr: none
        bool held;             // the file already open without sharing
        const char* expected;  // the file the lines go to; nullptr: none
        std::string box;       // the message box's text; empty: none
    } kRows[] = {
        {V::Win2000, "C:\\Setup\\setup.exe", "", nullptr, false, "C:\\WINNT\\System32\\setup.KVISINST.DLL.trace", ""},
        {V::Win98, "D:\\INSTALL.EXE", "", nullptr, false, "C:\\WINDOWS\\SYSTEM\\INSTALL.KVISINST.DLL.trace", ""},
        {V::NT4, "C:\\Setup\\setup.exe", "C:\\Program Files\\Korvane\\kvisinst.dll", nullptr, false,
         "C:\\Program Files\\Korvane\\setup.kvisinst.dll.trace", ""},
        {V::Win2000, "C:\\Setup\\run.me.exe", "C:\\Setup\\KVISINST", nullptr, false, "C:\\Setup\\run.me.KVISINST.trace", ""},
        {V::Win2000, "C:\\Setup\\setup.exe", "", "C:\\missing\\trace.bin", false, nullptr,
         "Cannot create tracing file [C:\\missing\\trace.bin] last error=0x3"},
        {V::Win2000, "C:\\Setup\\setup.exe", "", tracetest::kTraceFile, true, nullptr,
         "Cannot create tracing file [C:\\trace.bin] last error=0x20"},
        // The built name is too long: it is shown cut where the buffer ends.
        {V::Win2000, "C:\\Setup\\setup.exe", folder + "\\KVISINST.DLL", nullptr, false, nullptr,
         "Cannot create tracing file [" + (folder + "\\setup.KVISINST.DLL.trace").substr(0, MAX_PATH - 1) +
             "] last error=0xCE"},
    };
    for (size_t i = 0; i < std::size(kRows); ++i) {
        SCOPED_TRACE(testing::Message() << "row " << i);
        const auto& row = kRows[i];
        winsim::ScopedMachine machine(row.version);
        machine->SetProgramPath(row.program);
        if (!row.library.empty()) {
            machine->SetModulePath("KVISINST.DLL", row.library);
            if (row.expected) {
                ASSERT_TRUE(winsim::WriteWholeFile(row.library, "library"));
            }
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

TEST_F(TraceFileTest, WithTraceToFileOffNothingIsWrittenWhateverTheDebugger) {
    const struct {
        winsim::OsVersion version;
        bool debugger;
        bool removeKernel32;
    } kRows[] = {
        {winsim::OsVersion::Win2000, false, false},
        {winsim::OsVersion::Win2000, true, false},
        {winsim::OsVersion::Win95, true, false},  // no IsDebuggerPresent to find
        {winsim::OsVersion::Win98, true, true},   // no KERNEL32.DLL to load
    };
    for (size_t i = 0; i < std::size(kRows); ++i) {
        SCOPED_TRACE(testing::Message() << "row " << i);
        winsim::ScopedMachine machine(kRows[i].version);
        machine->SetDebuggerPresent(kRows[i].debugger);
        if (kRows[i].removeKernel32) winsim::UnregisterModule(GetModuleHandleA("KERNEL32.DLL"));
        tracetest::SetDword("DoTrace", 1);
        tracetest::SetDword("TraceToFile", 0);
        tracetest::SetString("FileName", tracetest::kTraceFile);
        winsim::SetCurrent(nullptr);
        winsim::SetCurrent(&*machine);
        Say("discarded");
        TraceScope scope("Failing");
        TraceError(scope, "", E_FAIL, nullptr);
        EXPECT_FALSE(winsim::ReadWholeFile(tracetest::kTraceFile));
        EXPECT_TRUE(machine->Dialogs().MessageBoxes().empty());
    }
}

}  // namespace
