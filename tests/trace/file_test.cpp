// The trace file: its name, fresh and append modes, the records, and the one message box when it
// can't be created.
#include "kvisinst/trace/trace.h"
#include "kvisinst/trace/tracefile.h"

#include "trace/trace_testing.h"

#include <winsim/loader.h>

#include <string>
#include <vector>

namespace {

using tracetest::ReadTraceFile;
using tracetest::TraceLines;

void Say(const char* text) {
    TraceScope scope("CleanUp");
    TraceMessage(scope, nullptr, "%s", text);
}

class TraceFileTest : public tracetest::TraceTest {
protected:
    void SetUp() override {
        TraceTest::SetUp();
        tracetest::SetDword("PrintTime", 0);
    }
};

TEST_F(TraceFileTest, AFreshFileStartsWithTheHeaderAtEachLoad) {
    TraceOn();
    Reload();
    Say("first load");
    auto contents = ReadTraceFile();
    ASSERT_TRUE(contents);
    EXPECT_TRUE(contents->header);
    EXPECT_EQ(std::vector<std::string>{"CleanUp() first load"}, contents->lines);
    EXPECT_TRUE(contents->whole);

    Reload();
    Say("second load");
    contents = ReadTraceFile();
    ASSERT_TRUE(contents);
    EXPECT_TRUE(contents->header);
    EXPECT_EQ(std::vector<std::string>{"CleanUp() second load"}, contents->lines);
}

TEST_F(TraceFileTest, AppendModeCreatesAFileWithoutHeader) {
    TraceOn({{"NewFileAlways", 0}});
    Reload();
    Say("one");
    Say("two");
    auto bytes = winsim::ReadWholeFile(tracetest::kTraceFile);
    ASSERT_TRUE(bytes);
    // The first bytes are a record length: "CleanUp() one" CR LF.
    EXPECT_EQ(std::string("\x0F\0\0\0", 4), bytes->substr(0, 4));
    auto contents = ReadTraceFile();
    EXPECT_FALSE(contents->header);
    EXPECT_EQ((std::vector<std::string>{"CleanUp() one", "CleanUp() two"}), contents->lines);
}

TEST_F(TraceFileTest, AppendModeAddsToAnExistingFileWithoutASecondHeader) {
    TraceOn();
    Reload();
    Say("fresh");
    tracetest::SetDword("NewFileAlways", 0);
    Reload();
    Say("appended");
    auto contents = ReadTraceFile();
    ASSERT_TRUE(contents);
    EXPECT_TRUE(contents->header);
    EXPECT_EQ((std::vector<std::string>{"CleanUp() fresh", "CleanUp() appended"}), contents->lines);
    EXPECT_TRUE(contents->whole);
}

TEST_F(TraceFileTest, RecordLengthsCountTheExpandedLineEnds) {
    TraceOn();
    Reload();
    FileTraceSink sink;
    // Lines and the record lengths they give; the last segment of a record may be short.
    const std::pair<const char*, uint32_t> kLines[] = {
        {"ab\n", 4}, {"abcdef\n", 8}, {"abcdefg\n", 9}, {"a\nb\n", 6}, {"\n", 2}, {"ab\n", 4},
    };
    for (const auto& line : kLines) sink.Write(line.first);
    auto contents = ReadTraceFile();
    ASSERT_TRUE(contents);
    ASSERT_EQ(std::size(kLines), contents->lengths.size());
    for (size_t i = 0; i < std::size(kLines); ++i) {
        SCOPED_TRACE(testing::Message() << "line " << i);
        EXPECT_EQ(kLines[i].second, contents->lengths[i]);
        std::string expected = kLines[i].first;
        expected.pop_back();
        for (size_t at = 0; (at = expected.find('\n', at)) != std::string::npos; at += 2) expected.insert(at, "\r");
        EXPECT_EQ(expected, contents->lines[i]);
    }
    // Each record is enciphered from the same start: the same text gives the same bytes.
    EXPECT_EQ(contents->records[0], contents->records[5]);
    EXPECT_NE(std::string("ab\r\n"), contents->records[0]);
}

TEST_F(TraceFileTest, LongLinesAreCutAndStillEndTheirRecord) {
    unsigned char record[kTraceRecordMax];
    struct Row {
        std::string line;
        size_t expectedLength;
    };
    const Row kRows[] = {
        {std::string(511, 'x'), 512},               // no line feed given: one is added
        {std::string(510, 'x') + "\n", 512},        // fits exactly
        {std::string(511, 'x') + "\n", 512},        // one too many: cut
        {std::string(300, '\n') + "\n", 512},       // line feeds double: cut at a whole CR LF
        {std::string(509, 'x') + "\n\n", 511},      // the inner LF does not fit as CR LF
    };
    for (size_t i = 0; i < std::size(kRows); ++i) {
        SCOPED_TRACE(testing::Message() << "row " << i);
        const size_t length = ExpandTraceLine(kRows[i].line.c_str(), record);
        ASSERT_LE(length, kTraceRecordMax);
        EXPECT_EQ(kRows[i].expectedLength, length);
        EXPECT_EQ('\r', record[length - 2]);
        EXPECT_EQ('\n', record[length - 1]);
        for (size_t b = 0; b + 1 < length; ++b) {
            if (record[b + 1] == '\n') {
                EXPECT_EQ('\r', record[b]) << "byte " << b;
            }
        }
    }
}

TEST_F(TraceFileTest, OverlongNamesMessagesAndCaptionsAreCut) {
    TraceOn({{"TraceEntryExit", 1}});
    Reload();
    const std::string name(150, 'n'), message(600, 'm'), caption(300, 'c');
    {
        TraceScope scope(name.c_str());
        TraceMessage(scope, nullptr, "%s", message.c_str());
        TraceError(scope, caption.c_str(), E_FAIL, nullptr);
    }
    const std::vector<std::string> expected = {
        ">>>" + name.substr(0, 99) + "()",
        "  " + message.substr(0, 400),
        "  *ERR* " + caption.substr(0, 253) + " Unspecified error (0x80004005)",
        "<<<" + name.substr(0, 99) + "()",
    };
    EXPECT_EQ(expected, TraceLines());
}

TEST_F(TraceFileTest, DeepIndentationIsCutToTheLineLimits) {
    TraceOn({{"TraceEntryExit", 1}, {"IndentSize", 200}});
    Reload();
    {
        TraceScope outer("Outer");
        TraceScope inner("Inner");
        TraceMessage(inner, nullptr, "%s", std::string(400, 'm').c_str());
        TraceScope third("Third");
    }
    auto contents = ReadTraceFile();
    ASSERT_TRUE(contents);
    ASSERT_EQ(7u, contents->lines.size());
    EXPECT_EQ(">>>Outer()", contents->lines[0]);
    EXPECT_EQ(std::string(200, ' ') + ">>>Inner()", contents->lines[1]);
    // A message line holds 511 characters with its line feed: 400 spaces and the start of the text.
    EXPECT_EQ(std::string(400, ' ') + std::string(110, 'm'), contents->lines[2]);
    EXPECT_EQ(512u, contents->lengths[2]);
    // An entry or exit line holds 259: 400 spaces of indentation leave no room for the name.
    EXPECT_EQ(std::string(258, ' '), contents->lines[3]);
    EXPECT_EQ(260u, contents->lengths[3]);
    EXPECT_EQ(std::string(258, ' '), contents->lines[4]);
    EXPECT_EQ(std::string(200, ' ') + "<<<Inner()", contents->lines[5]);
    EXPECT_EQ("<<<Outer()", contents->lines[6]);
}

TEST_F(TraceFileTest, TheDefaultNameLiesBesideTheLibraryAndNamesTheProgram) {
    struct Row {
        winsim::OsVersion version;
        const char* program;
        const char* library;  // nullptr: the system directory
        const char* expected;
    };
    const Row kRows[] = {
        {winsim::OsVersion::Win2000, "C:\\Setup\\setup.exe", nullptr, "C:\\WINNT\\System32\\setup.KVISINST.DLL.trace"},
        {winsim::OsVersion::Win98, "D:\\INSTALL.EXE", nullptr, "C:\\WINDOWS\\SYSTEM\\INSTALL.KVISINST.DLL.trace"},
        {winsim::OsVersion::NT4, "C:\\Setup\\setup.exe", "C:\\Program Files\\Korvane\\kvisinst.dll",
         "C:\\Program Files\\Korvane\\setup.kvisinst.dll.trace"},
        {winsim::OsVersion::Win2000, "C:\\Setup\\run.me.exe", "C:\\Setup\\KVISINST", "C:\\Setup\\run.me.KVISINST.trace"},
    };
    for (size_t i = 0; i < std::size(kRows); ++i) {
        SCOPED_TRACE(testing::Message() << "row " << i);
        winsim::ScopedMachine machine(kRows[i].version);
        machine->SetProgramPath(kRows[i].program);
        if (kRows[i].library) {
            machine->SetModulePath("KVISINST.DLL", kRows[i].library);
            const std::string library = kRows[i].library;
            ASSERT_TRUE(winsim::WriteWholeFile(library, "library"));
        }
        tracetest::SetDword("DoTrace", 1);
        tracetest::SetDword("PrintTime", 0);
        winsim::SetCurrent(nullptr);
        winsim::SetCurrent(&*machine);
        Say("here");
        EXPECT_EQ(std::vector<std::string>{"CleanUp() here"}, TraceLines(kRows[i].expected));
        EXPECT_TRUE(machine->MessageBoxes().empty());
    }
}

TEST_F(TraceFileTest, AFileThatCannotBeCreatedIsReportedOnceAndLinesAreDropped) {
    TraceOn();
    tracetest::SetString("FileName", "C:\\missing\\trace.bin");
    Reload();
    Say("one");
    Say("two");
    { TraceScope scope("Other"); }
    ASSERT_EQ(1u, machine_->MessageBoxes().size());
    const auto& box = machine_->MessageBoxes()[0];
    EXPECT_EQ("Cannot create tracing file [C:\\missing\\trace.bin] last error=0x3", box.text);
    EXPECT_EQ("KVTrace", box.caption);
    EXPECT_EQ(static_cast<UINT>(MB_OK), box.type);
    EXPECT_FALSE(winsim::ReadWholeFile("C:\\missing\\trace.bin"));
}

TEST_F(TraceFileTest, AFileHeldWithoutSharingIsASharingViolation) {
    TraceOn();
    Reload();
    HANDLE held = CreateFileA(tracetest::kTraceFile, GENERIC_READ, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    Say("blocked");
    CloseHandle(held);
    ASSERT_EQ(1u, machine_->MessageBoxes().size());
    EXPECT_EQ("Cannot create tracing file [C:\\trace.bin] last error=0x20", machine_->MessageBoxes()[0].text);
}

TEST_F(TraceFileTest, ATooLongBuiltNameIsReported) {
    const std::string folder = "C:\\" + std::string(240, 'd');
    machine_->SetModulePath("KVISINST.DLL", folder + "\\KVISINST.DLL");
    tracetest::SetDword("DoTrace", 1);
    Reload();
    Say("nowhere");
    ASSERT_EQ(1u, machine_->MessageBoxes().size());
    // The name shown is cut where the buffer ends.
    const std::string cut = (folder + "\\setup.KVISINST.DLL.trace").substr(0, MAX_PATH - 1);
    EXPECT_EQ("Cannot create tracing file [" + cut + "] last error=0xCE", machine_->MessageBoxes()[0].text);
}

TEST_F(TraceFileTest, TheFileCanBeReadWhileItIsWritten) {
    TraceOn();
    Reload();
    Say("one");
    HANDLE reader = CreateFileA(tracetest::kTraceFile, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, reader);
    Say("two");
    char header[8];
    DWORD read = 0;
    EXPECT_TRUE(ReadFile(reader, header, sizeof header, &read, nullptr));
    EXPECT_EQ(std::string("trace1\r\n"), std::string(header, read));
    CloseHandle(reader);
    EXPECT_EQ((std::vector<std::string>{"CleanUp() one", "CleanUp() two"}), TraceLines());
}

TEST_F(TraceFileTest, WithTraceToFileOffNothingIsWrittenWhateverTheDebugger) {
    struct Row {
        winsim::OsVersion version;
        bool debugger;
        bool removeKernel32;
    };
    const Row kRows[] = {
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
        EXPECT_TRUE(machine->MessageBoxes().empty());
    }
}

}  // namespace
