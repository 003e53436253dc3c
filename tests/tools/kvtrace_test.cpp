// kvtrace: its decoder on good, truncated, damaged and foreign input, its Chrome trace output, and
// the program itself.
#include "kvisinst/trace/cipher.h"
#include "kvisinst/trace/traceformat.h"
#include "tools/kvtrace/chrome.h"
#include "tools/kvtrace/reader.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

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

TEST(TraceDecoder, AWholeFileGivesEveryLineInWhateverPiecesItArrives) {
    for (bool header : {true, false}) {
        const std::string bytes = TraceFile(kLines, header);
        for (size_t piece : {0, 1, 3, 8, 100}) {
            SCOPED_TRACE(testing::Message() << "header " << header << ", pieces of " << piece);
            const Decoded decoded = Decode(bytes, piece);
            EXPECT_EQ(TraceStatus::Ok, decoded.status);
            EXPECT_EQ(kLines, decoded.lines);
            EXPECT_EQ(bytes.size(), decoded.offset);
        }
    }
}

TEST(TraceDecoder, ATruncatedFileGivesItsWholeRecordsAndWhereTheCutOneStarts) {
    const std::string bytes = TraceFile(kLines);
    const size_t thirdRecord = kTraceFileHeaderSize + Record(kLines[0]).size() + Record(kLines[1]).size();
    for (size_t cut : {thirdRecord + 1, thirdRecord + 3, thirdRecord + 4, thirdRecord + 20}) {
        SCOPED_TRACE(testing::Message() << "cut at " << cut);
        const Decoded decoded = Decode(bytes.substr(0, cut), 7);
        EXPECT_EQ(TraceStatus::Truncated, decoded.status);
        EXPECT_EQ(std::vector<std::string>(kLines.begin(), kLines.begin() + 2), decoded.lines);
        EXPECT_EQ(thirdRecord, decoded.offset);
    }
    // Cut inside the header: a header so far, so a truncated trace.
    EXPECT_EQ(TraceStatus::Truncated, Decode(bytes.substr(0, 5)).status);
}

TEST(TraceDecoder, ADamagedRecordStopsTheReadingAtItsStart) {
    const std::string good = TraceFile(kLines);
    const size_t second = kTraceFileHeaderSize + Record(kLines[0]).size();
    const size_t secondLength = Record(kLines[1]).size() - 4;
    struct Row {
        const char* name;
        size_t at;
        unsigned char mask;  // XORed into the byte at `at`
    };
    const Row kRows[] = {
        {"a length beyond any record", second + 1, 0x7F},
        {"a length of zero", second, static_cast<unsigned char>(secondLength)},
        {"the first enciphered byte", second + 4, 0x55},
        {"the record's line end", second + 4 + secondLength - 1, 0x01},
    };
    for (const auto& row : kRows) {
        SCOPED_TRACE(row.name);
        std::string bytes = good;
        bytes[row.at] = static_cast<char>(bytes[row.at] ^ row.mask);
        const Decoded decoded = Decode(bytes);
        EXPECT_EQ(TraceStatus::Damaged, decoded.status);
        EXPECT_EQ(std::vector<std::string>{kLines[0]}, decoded.lines);
        EXPECT_EQ(second, decoded.offset);
    }
}

TEST(TraceDecoder, AControlCharacterDelimiterIsReadOnlyWhenNamed) {
    const std::vector<std::string> lines = {"  10:41:07:250\x1f" "Finished\n", "<<<CleanUp()\n"};
    const std::string bytes = TraceFile(lines);
    EXPECT_EQ(TraceStatus::Damaged, Decode(bytes).status);

    std::vector<std::string> read;
    CTraceDecoder decoder(&Collect, &read);
    decoder.AllowControlCharacter(0x1F);
    decoder.Feed(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    EXPECT_EQ(TraceStatus::Ok, decoder.Finish());
    EXPECT_EQ(lines, read);
}

TEST(TraceDecoder, InputThatIsNoTraceIsSaidToBeNone) {
    const std::string kForeign[] = {
        "Just a text file.\r\nWith lines.\r\n",
        std::string("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16),
        "trace2\r\n" + Record("x\n"),
        std::string("\x10\0\0\0", 4) + std::string(16, 'a'),  // the right shape, but not enciphered text
        "ab",
    };
    for (size_t i = 0; i < std::size(kForeign); ++i) {
        SCOPED_TRACE(testing::Message() << "input " << i);
        const Decoded decoded = Decode(kForeign[i]);
        EXPECT_EQ(TraceStatus::NotATrace, decoded.status);
        EXPECT_TRUE(decoded.lines.empty());
    }
    // An empty file has nothing wrong in it.
    EXPECT_EQ(TraceStatus::Ok, Decode("").status);
}

TEST(TraceDecoder, ErrorLinesStartWithTheirMarkAfterTheIndentation) {
    EXPECT_TRUE(IsErrorLine("*ERR* 10:41:07:250 CleanUp() Access is denied. (0x80070005)\n"));
    EXPECT_TRUE(IsErrorLine("    *ERR*\tx\n"));
    EXPECT_FALSE(IsErrorLine("  10:41:07:250 *ERR* in a message\n"));
    EXPECT_FALSE(IsErrorLine(">>>CleanUp()\n"));
    EXPECT_FALSE(IsErrorLine("   \n"));
}

TEST(ChromeTrace, ProfiledCallsBecomeSlicesAndErrorsInstants) {
    CChromeTraceWriter writer;
    writer.BeginProcess("setup.KVISINST.DLL.trace");
    for (const char* line : {">>>CleanUp(0x1A4)\t 5021400\n", "  >>>IsVer101(0x1A4)\t 5021410\n",
                             "    *ERR* 10:41:07:250 Access is denied. (0x80070005)\n", "  <<<IsVer101(0x1A4)\t 5021420\t10\n",
                             "  a message without ticks\n", "<<<CleanUp(0x1A4)\t 5021456\t56\n", ">>>Unprofiled()\n",
                             ">>>Wrapped()\t -2147483646\n"})
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
        "{\"name\":\"Wrapped\",\"cat\":\"kvisinst\",\"ph\":\"B\",\"ts\":2147483650000,\"pid\":1,\"tid\":0}\n"
        "]}\n";
    EXPECT_EQ(expected, writer.Finish());
}

TEST(ChromeTrace, NamesAreEscaped) {
    CChromeTraceWriter writer;
    writer.AddLine(">>>Odd\"Name\\\t 1\n");
    writer.AddLine(">>>Odd\"Name\\()\t 1\n");
    const std::string json = writer.Finish();
    EXPECT_NE(std::string::npos, json.find("\"name\":\"Odd\\\"Name\\\\\""));
    EXPECT_EQ(2u, writer.EventCount());  // the process name and the one well-formed entry line
}

// The program: run with its output in files.
class KvtraceProgram : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/kvtrace-test-XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(pattern));
        folder_ = pattern;
    }
    void TearDown() override { fs::remove_all(folder_); }

    std::string Write(const std::string& name, const std::string& bytes) {
        const std::string path = (fs::path(folder_) / name).string();
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

    static std::string Slurp(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    struct Run {
        int status;
        std::string out;
        std::string err;
    };

    Run Kvtrace(const std::string& arguments, const std::string& input = "") {
        const std::string in = Write("stdin", input), out = folder_ + "/stdout", err = folder_ + "/stderr";
        const std::string command = std::string("'") + KVTRACE_EXE + "' " + arguments + " <'" + in + "' >'" + out +
                                    "' 2>'" + err + "'";
        const int status = std::system(command.c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, Slurp(out), Slurp(err)};
    }

    std::string folder_;
};

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) text += line;
    return text;
}

TEST_F(KvtraceProgram, PrintsTheLinesOfEachFile) {
    const std::string a = Write("a.trace", TraceFile(kLines));
    const std::string b = Write("b.trace", TraceFile({"appended\n"}, false));
    const Run run = Kvtrace("'" + a + "' '" + b + "'");
    EXPECT_EQ(0, run.status);
    EXPECT_EQ(Joined(kLines) + "appended\n", run.out);
    EXPECT_EQ("", run.err);
}

TEST_F(KvtraceProgram, ReadsStandardInputAndKeepsOnlyErrorsWhenAsked) {
    const Run run = Kvtrace("--errors -", TraceFile(kLines));
    EXPECT_EQ(0, run.status);
    EXPECT_EQ(kLines[2], run.out);
}

TEST_F(KvtraceProgram, ReportsTruncatedDamagedAndForeignFiles) {
    const std::string bytes = TraceFile(kLines);
    const size_t second = kTraceFileHeaderSize + Record(kLines[0]).size();
    std::string damaged = bytes;
    damaged[second + 4] ^= 0x40;
    const std::string truncated = Write("cut.trace", bytes.substr(0, bytes.size() - 1));
    const std::string broken = Write("broken.trace", damaged);
    const std::string foreign = Write("notes.txt", "Not a trace at all.\n");

    Run run = Kvtrace("'" + truncated + "'");
    EXPECT_EQ(1, run.status);
    EXPECT_EQ(Joined({kLines.begin(), kLines.end() - 1}), run.out);
    const size_t last = bytes.size() - Record(kLines.back()).size();
    EXPECT_EQ("kvtrace: " + truncated + ": truncated record at byte offset " + std::to_string(last) + "\n", run.err);

    run = Kvtrace("'" + broken + "'");
    EXPECT_EQ(1, run.status);
    EXPECT_EQ(kLines[0], run.out);
    EXPECT_EQ("kvtrace: " + broken + ": damaged record at byte offset " + std::to_string(second) + "\n", run.err);

    run = Kvtrace("'" + foreign + "'");
    EXPECT_EQ(2, run.status);
    EXPECT_EQ("", run.out);
    EXPECT_EQ("kvtrace: " + foreign + ": not a trace file\n", run.err);

    // Several files: each is read, and the worst outcome is the status.
    const std::string good = Write("good.trace", bytes);
    run = Kvtrace("'" + broken + "' '" + good + "'");
    EXPECT_EQ(1, run.status);
    EXPECT_EQ(kLines[0] + Joined(kLines), run.out);

    run = Kvtrace("'" + folder_ + "/missing.trace'");
    EXPECT_EQ(2, run.status);
}

TEST_F(KvtraceProgram, HelpAndWrongCommandLines) {
    Run run = Kvtrace("--help");
    EXPECT_EQ(0, run.status);
    EXPECT_EQ(0u, run.out.find("usage: kvtrace"));
    EXPECT_EQ(2, Kvtrace("").status);
    EXPECT_EQ(2, Kvtrace("--bogus x").status);
    EXPECT_EQ(2, Kvtrace("--chrome-trace").status);
    EXPECT_EQ(2, Kvtrace("-f a b").status);
}

TEST_F(KvtraceProgram, WritesChromeTraceJson) {
    const std::string file = Write("p.trace", TraceFile({">>>CleanUp()\t 100\n", "<<<CleanUp()\t 156\t56\n"}));
    const std::string json = folder_ + "/out.json";
    const Run run = Kvtrace("--chrome-trace '" + json + "' '" + file + "'");
    EXPECT_EQ(0, run.status);
    EXPECT_EQ("", run.out);
    const std::string text = Slurp(json);
    EXPECT_NE(std::string::npos, text.find("\"name\":\"CleanUp\",\"cat\":\"kvisinst\",\"ph\":\"B\",\"ts\":100000"));
    EXPECT_NE(std::string::npos, text.find("\"ph\":\"E\",\"ts\":156000"));
}

// Reads what a child writes to a pipe until `wanted` has appeared (or a generous deadline passes, so
// that a fault fails the test instead of hanging it).
std::string ReadUntil(int fd, const std::string& wanted) {
    std::string seen;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    char buffer[4096];
    while (seen.find(wanted) == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n > 0)
            seen.append(buffer, static_cast<size_t>(n));
        else if (n == 0)
            break;
        else if (errno != EAGAIN && errno != EINTR)
            break;
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return seen;
}

TEST_F(KvtraceProgram, FollowsAFileAsItGrowsAndWhenItIsRecreated) {
    const std::string path = Write("live.trace", TraceFile({"first\n"}));
    int pipeFds[2];
    ASSERT_EQ(0, pipe(pipeFds));
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        dup2(pipeFds[1], 1);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 2);
        execl(KVTRACE_EXE, "kvtrace", "-f", path.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(pipeFds[1]);
    fcntl(pipeFds[0], F_SETFL, O_NONBLOCK);
    std::string seen = ReadUntil(pipeFds[0], "first\n");
    {
        // Appended in two pieces: half a record waits for its other half.
        const std::string more = Record("second\n") + Record("third\n");
        std::ofstream out(path, std::ios::binary | std::ios::app);
        out << more.substr(0, 7);
        out.flush();
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        out << more.substr(7);
    }
    seen += ReadUntil(pipeFds[0], "third\n");
    // A new process recreates the file fresh.
    Write("live.trace", TraceFile({"again\n"}));
    seen += ReadUntil(pipeFds[0], "again\n");
    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
    close(pipeFds[0]);
    EXPECT_EQ("first\nsecond\nthird\nagain\n", seen);
}

}  // namespace
