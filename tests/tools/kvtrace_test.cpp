// kvtrace: its decoder on good, truncated, damaged and foreign input, its Chrome trace output, and
// the program itself.
#include "tools/kvtrace/chrome.h"
#include "tools/kvtrace/reader.h"

#include "program_testing.h"
#include "tests/shared/trace_records.h"

#include <signal.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace {

// One record as the library writes it: the line's LFs as CR LF, enciphered, after its length.
std::string Record(const std::string& line) {
    std::string text;
    for (char c : line) text += c == '\n' ? std::string("\r\n") : std::string(1, c);
    std::string record(4, '\0');
    StoreLe32(reinterpret_cast<unsigned char*>(&record[0]), static_cast<uint32_t>(text.size()));
    EncipherTraceRecord(reinterpret_cast<unsigned char*>(&text[0]), text.size());
    return record + text;
}

std::string TraceFile(const std::vector<std::string>& lines, bool header = true) {
    std::string bytes = header ? std::string(kTraceFileHeader, kTraceFileHeaderSize) : "";
    for (const auto& line : lines) bytes += Record(line);
    return bytes;
}

const std::vector<std::string> kLines = {
    ">>>CleanUp()\n", "  10:41:07:250 Finished\n", "  *ERR* 10:41:07:250 Access is denied. (0x80070005)\n",
    "  two\nlines\n", "<<<CleanUp()\n",
};

struct Decoded {
    std::vector<std::string> lines;
    TraceStatus status;
    uint64_t offset;
};

void Collect(void* context, std::string_view line) { static_cast<std::vector<std::string>*>(context)->emplace_back(line); }

// Decodes input given in pieces of `piece` bytes (0: all at once).
Decoded Decode(const std::string& bytes, size_t piece = 0) {
    Decoded result;
    CTraceDecoder decoder(&Collect, &result.lines);
    TraceStatus status = TraceStatus::Ok;
    const size_t step = piece ? piece : bytes.size() + 1;
    for (size_t at = 0; at < bytes.size() && status == TraceStatus::Ok; at += step)
        status = decoder.Feed(reinterpret_cast<const unsigned char*>(bytes.data() + at), std::min(step, bytes.size() - at));
    result.status = decoder.Finish();
    result.offset = decoder.Offset();
    return result;
}

// Changes one byte of a copy.
std::string Flipped(std::string bytes, size_t at, unsigned char mask) {
    bytes[at] = static_cast<char>(bytes[at] ^ mask);
    return bytes;
}

TEST(TraceDecoder, EachInputGivesItsWholeRecordsAndWhereTheReadingStopped) {
    const std::string good = TraceFile(kLines);
    const size_t second = kTraceFileHeaderSize + Record(kLines[0]).size();
    const size_t third = second + Record(kLines[1]).size();
    const size_t secondLength = third - second - 4;
    const std::vector<std::string> none, first(kLines.begin(), kLines.begin() + 1), two(kLines.begin(), kLines.begin() + 2);
    constexpr size_t kAny = SIZE_MAX;
    const std::string known = std::string(kTraceFileHeader) +
                              std::string(reinterpret_cast<const char*>(kKnownRecord), sizeof kKnownRecord);
    const std::vector<std::string> odd = {"  10:41:07:250\x1f" "Finished\n", "\x1b[2J\x01\n", "<<<CleanUp()\n"};
    const struct {
        const char* name;
        std::string bytes;
        TraceStatus status;
        std::vector<std::string> lines;
        size_t offset;  // where reading stopped; kAny: not checked
    } kRows[] = {
        {"good", good, TraceStatus::Ok, kLines, good.size()},
        {"good without header", TraceFile(kLines, false), TraceStatus::Ok, kLines, good.size() - kTraceFileHeaderSize},
        {"empty", "", TraceStatus::Ok, none, 0},
        {"cut in the header", good.substr(0, 5), TraceStatus::Truncated, none, kAny},
        {"cut in a length", good.substr(0, third + 3), TraceStatus::Truncated, two, third},
        {"cut in a record", good.substr(0, third + 20), TraceStatus::Truncated, two, third},
        {"a length beyond any record", Flipped(good, second + 1, 0x7F), TraceStatus::Damaged, first, second},
        {"a length of zero", Flipped(good, second, static_cast<unsigned char>(secondLength)), TraceStatus::Damaged,
         first, second},
        {"the record's line end", Flipped(good, second + 4 + secondLength - 1, 0x01), TraceStatus::Damaged, first,
         second},
        // Worked out apart from the cipher code: a wrong key or byte order in the reader fails here.
        {"the known record", known, TraceStatus::Ok, {kKnownLine}, known.size()},
        // The text is the traced program's: a control character in it is no damage.
        {"a control character", TraceFile(odd), TraceStatus::Ok, odd, TraceFile(odd).size()},
        {"text", "Just a text file.\r\nWith lines.\r\n", TraceStatus::NotATrace, none, kAny},
        {"another header", "trace2\r\n" + Record("x\n"), TraceStatus::NotATrace, none, kAny},
        {"the right shape, not enciphered text", std::string("\x10\0\0\0", 4) + std::string(16, 'a'),
         TraceStatus::NotATrace, none, kAny},
        {"too short", "ab", TraceStatus::NotATrace, none, kAny},
    };
    for (const auto& row : kRows) {
        for (size_t piece : {0, 1, 3, 8}) {
            SCOPED_TRACE(testing::Message() << row.name << ", pieces of " << piece);
            const Decoded decoded = Decode(row.bytes, piece);
            EXPECT_EQ(row.status, decoded.status);
            EXPECT_EQ(row.lines, decoded.lines);
            if (row.offset != kAny) {
                EXPECT_EQ(row.offset, decoded.offset);
            }
        }
    }
}

TEST(TraceDecoder, ErrorLinesStartWithTheirMarkAfterTheIndentation) {
    EXPECT_TRUE(IsErrorLine("*ERR* 10:41:07:250 CleanUp() Access is denied. (0x80070005)\n"));
    EXPECT_TRUE(IsErrorLine("    *ERR*\tx\n"));
    EXPECT_FALSE(IsErrorLine("  10:41:07:250 *ERR* in a message\n"));
    EXPECT_FALSE(IsErrorLine(">>>CleanUp()\n"));
    EXPECT_FALSE(IsErrorLine("   \n"));
}

// Lines without ticks, or not well formed, give no event; names are escaped.
TEST(ChromeTrace, ProfiledCallsBecomeSlicesAndErrorsInstants) {
    CChromeTraceWriter writer;
    writer.BeginProcess("setup.KVISINST.DLL.trace");
    for (const char* line : {">>>CleanUp(0x1A4)\t 5021400\n", "  >>>IsVer101(0x1A4)\t 5021410\n",
                             "    *ERR* 10:41:07:250 Access is denied. (0x80070005)\n", "  <<<IsVer101(0x1A4)\t 5021420\t10\n",
                             "  a message without ticks\n", "<<<CleanUp(0x1A4)\t 5021456\t56\n", ">>>Unprofiled()\n",
                             ">>>Wrapped()\t -2147483646\n", ">>>Odd\"Name\\\t 1\n", ">>>Odd\"Name\\()\t 1\n"})
        writer.AddLine(line);
    const std::string expected =
        "{\"displayTimeUnit\":\"ms\",\"traceEvents\":[\n"
        "{\"name\":\"process_name\",\"ph\":\"M\",\"pid\":1,\"args\":{\"name\":\"setup.KVISINST.DLL.trace\"}},\n"
        "{\"name\":\"CleanUp\",\"cat\":\"kvisinst\",\"ph\":\"B\",\"ts\":5021400000,\"pid\":1,\"tid\":420},\n"
        "{\"name\":\"IsVer101\",\"cat\":\"kvisinst\",\"ph\":\"B\",\"ts\":5021410000,\"pid\":1,\"tid\":420},\n"
        "{\"name\":\"*ERR* 10:41:07:250 Access is denied. (0x80070005)\",\"cat\":\"error\",\"ph\":\"i\",\"s\":\"p\","
        "\"ts\":5021410000,\"pid\":1,\"tid\":0},\n"
        "{\"name\":\"IsVer101\",\"cat\":\"kvisinst\",\"ph\":\"E\",\"ts\":5021420000,\"pid\":1,\"tid\":420},\n"
        "{\"name\":\"CleanUp\",\"cat\":\"kvisinst\",\"ph\":\"E\",\"ts\":5021456000,\"pid\":1,\"tid\":420},\n"
        "{\"name\":\"Wrapped\",\"cat\":\"kvisinst\",\"ph\":\"B\",\"ts\":2147483650000,\"pid\":1,\"tid\":0},\n"
        "{\"name\":\"Odd\\\"Name\\\\\",\"cat\":\"kvisinst\",\"ph\":\"B\",\"ts\":1000,\"pid\":1,\"tid\":0}\n"
        "]}\n";
    EXPECT_EQ(expected, writer.Finish());
}

class KvtraceProgram : public programtest::ProgramTest {
protected:
    programtest::Outcome Kvtrace(const std::vector<std::string>& args, const std::string& input = "") {
        return RunProgram(KVTRACE_EXE, args, input);
    }
};

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) text += line;
    return text;
}

TEST_F(KvtraceProgram, OutputAndExitStatusOfEachCommandLine) {
    const std::string bytes = TraceFile(kLines);
    const size_t second = kTraceFileHeaderSize + Record(kLines[0]).size();
    const size_t last = bytes.size() - Record(kLines.back()).size();
    std::string damaged = bytes;
    damaged[second + Record(kLines[1]).size() - 1] ^= 0x40;  // its line's LF
    const std::string good = Write("good.trace", bytes), appended = Write("b.trace", TraceFile({"appended\n"}, false));
    const std::string cut = Write("cut.trace", bytes.substr(0, bytes.size() - 1));
    const std::string broken = Write("broken.trace", damaged), foreign = Write("notes.txt", "Not a trace at all.\n");
    const std::string profiled = Write("p.trace", TraceFile({">>>CleanUp()\t 100\n", "<<<CleanUp()\t 156\t56\n"}));
    const std::string odd = Write("odd.trace", TraceFile({"  10:41:07:250\x1f" "Finished\n", "\x1b[2J\x0c\n", "last\n"}));
    const std::string json = (dir_ / "out.json").string();
    const struct {
        std::vector<std::string> args;
        int status;
        std::string out;
        std::string err;  // out and err: "*" for anything
    } kRows[] = {
        {{good, appended}, 0, Joined(kLines) + "appended\n", ""},
        {{"--errors", "-"}, 0, kLines[2], ""},  // standard input: the good file
        {{cut}, 1, Joined({kLines.begin(), kLines.end() - 1}),
         "kvtrace: " + cut + ": truncated record at byte offset " + std::to_string(last) + "\n"},
        {{broken}, 1, kLines[0],
         "kvtrace: " + broken + ": damaged record at byte offset " + std::to_string(second) + "\n"},
        {{foreign}, 2, "", "kvtrace: " + foreign + ": not a trace file\n"},
        // Control characters in the text are shown, not obeyed, and the records after them are read.
        {{odd}, 0, "  10:41:07:250\\x1FFinished\n\\x1B[2J\\x0C\nlast\n", ""},
        {{"--delimiter", "31", odd}, 0, "  10:41:07:250\x1f" "Finished\n\\x1B[2J\\x0C\nlast\n", ""},
        // Several files: each is read, and the worst outcome is the status.
        {{broken, good}, 1, kLines[0] + Joined(kLines), "*"},
        {{(dir_ / "missing.trace").string()}, 2, "*", "*"},
        {{"--chrome-trace", json, profiled}, 0, "", ""},
        {{}, 2, "*", "*"},
        {{"--bogus", "x"}, 2, "*", "*"},
        {{"--chrome-trace"}, 2, "*", "*"},
        {{"-f", "a", "b"}, 2, "*", "*"},
    };
    for (const auto& row : kRows) {
        SCOPED_TRACE(testing::Message() << "row " << &row - kRows);
        const auto run = Kvtrace(row.args, bytes);
        EXPECT_EQ(row.status, run.status);
        if (row.out != "*") {
            EXPECT_EQ(row.out, run.out);
        }
        if (row.err != "*") {
            EXPECT_EQ(row.err, run.err);
        }
    }
    const std::string text = programtest::Slurp(json);
    EXPECT_NE(std::string::npos, text.find("\"name\":\"CleanUp\",\"cat\":\"kvisinst\",\"ph\":\"B\",\"ts\":100000"));
    EXPECT_NE(std::string::npos, text.find("\"ph\":\"E\",\"ts\":156000"));
    const auto help = Kvtrace({"--help"});
    EXPECT_EQ(0, help.status);
    EXPECT_EQ(0u, help.out.find("usage: kvtrace"));
}

// Waits until the file holds `wanted`, or a generous deadline passes, so that a fault fails the test
// instead of hanging it.
bool WaitForText(const std::string& path, const std::string& wanted) {
    for (int i = 0; i < 1000; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(20)))
        if (programtest::Slurp(path).find(wanted) != std::string::npos) return true;
    return false;
}

TEST_F(KvtraceProgram, FollowsAFileAsItGrowsAndWhenItIsRecreated) {
    const std::string path = Write("live.trace", TraceFile({"first\n"}));
    const std::string out = (dir_ / "follow.out").string();
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        dup2(open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
        dup2(open("/dev/null", O_WRONLY), 2);
        execl(KVTRACE_EXE, "kvtrace", "-f", path.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    EXPECT_TRUE(WaitForText(out, "first\n"));
    {
        // Appended in two pieces: half a record waits for its other half.
        const std::string more = Record("second\n") + Record("third\n");
        std::ofstream append(path, std::ios::binary | std::ios::app);
        append << more.substr(0, 7);
        append.flush();
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        append << more.substr(7);
    }
    EXPECT_TRUE(WaitForText(out, "third\n"));
    // A new process recreates the file fresh.
    Write("live.trace", TraceFile({"again\n"}));
    EXPECT_TRUE(WaitForText(out, "again\n"));
    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
    EXPECT_EQ("first\nsecond\nthird\nagain\n", programtest::Slurp(out));
}

}  // namespace
