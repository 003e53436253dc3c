// What a trace line costs, side by side with what it can't cost less than.
//
// The floor of a traced line is its physical work as the file format lays it out: two write calls (the
// length, then the record) and enciphering the record. TracedLine/FileSink measures the whole
// TraceMessage path (mutex, filters, formatting with the time, enciphering, and the two writes:
// length, then record) for a 62-byte record; RawWrites/TwoWrites and
// RawWrites/TwoWritesAndCipher measure the floor with the same sizes into the same folder, and
// Spdlog/FileSinkFlushEveryLine a common logging library doing the nearest equivalent (a formatted
// line with the time, flushed at once). TracedLine/AppendingProcesses counts the lines per second that
// 1, 2 and 4 processes append to one trace file together.
#include "kvisinst/trace/cipher.h"
#include "kvisinst/trace/trace.h"
#include "kvisinst/trace/traceformat.h"
#include "tools/kvtrace/reader.h"

#include <winsim/files.h>
#include <winsim/machine.h>
#include <winsim/win32api.h>

#include <benchmark/benchmark.h>
#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/spdlog.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

// The message of a typical line: with "10:41:07:250 CleanUp() " before it and CR LF after, the
// record is 62 bytes.
const char kMessage[] = "removing C:\\WINNT\\System32\\kvold.dll";
constexpr size_t kRecordBytes = 23 + sizeof kMessage - 1 + 2;

void SetTracing(std::initializer_list<std::pair<const char*, DWORD>> values, const char* fileName) {
    HKEY key = nullptr;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Korvane\\Tracing", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                    nullptr);
    for (const auto& value : values)
        RegSetValueExA(key, value.first, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value.second), sizeof(DWORD));
    if (fileName)
        RegSetValueExA(key, "FileName", 0, REG_SZ, reinterpret_cast<const BYTE*>(fileName),
                       static_cast<DWORD>(std::strlen(fileName) + 1));
    RegCloseKey(key);
    // The settings are read at the next load.
    winsim::Machine* machine = &winsim::Current();
    winsim::SetCurrent(nullptr);
    winsim::SetCurrent(machine);
}

void TracedLine_FileSink(benchmark::State& state) {
    winsim::ScopedMachine machine(winsim::OsVersion::Win2000);
    SetTracing({{"DoTrace", 1}}, "C:\\bench.trace");
    TraceScope scope("CleanUp");
    TraceMessage(scope, nullptr, "%s", kMessage);  // opens the file
    for (auto _ : state) TraceMessage(scope, nullptr, "%s", kMessage);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * (4 + kRecordBytes)));
}
BENCHMARK(TracedLine_FileSink);

// Lines per second from 1, 2 and 4 processes appending to one trace file at once, all told: what the
// named mutex, shared by the processes, and the move to the file's end before each record let through
// together. Each iteration forks the writers, which load the library's settings, open the file and
// write a first line, then wait at a gate; the time runs from the gate's opening to the last one's
// end. On a machine busy with other work, more processes also get more of its processors, so the
// counter writer_cpu_ns_per_line (the writers' processor time, user and system, per line) says what
// the sharing itself costs.
double ChildrenCpuSeconds() {
    rusage usage {};
    getrusage(RUSAGE_CHILDREN, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void TracedLine_AppendingProcesses(benchmark::State& state) {
    constexpr int kLines = 5000;  // each writer's, in each iteration
    const int writers = static_cast<int>(state.range(0));
    winsim::ScopedMachine machine(winsim::OsVersion::Win2000);
    SetTracing({{"DoTrace", 1}, {"NewFileAlways", 0}}, "C:\\bench.trace");
    const std::string path = *winsim::HostPath("C:\\bench.trace");
    double cpuSeconds = 0;
    for (auto _ : state) {
        std::remove(path.c_str());
        int gate[2], ready[2];
        if (pipe(gate) != 0 || pipe(ready) != 0) state.SkipWithError("no pipe");
        std::vector<pid_t> children;
        for (int w = 0; w < writers; ++w) {
            const pid_t child = fork();
            if (child == 0) {
                close(gate[1]);
                TraceScope scope("CleanUp");
                TraceMessage(scope, nullptr, "%s", kMessage);
                char c = 0;
                (void)!write(ready[1], &c, 1);
                (void)!read(gate[0], &c, 1);
                for (int i = 0; i < kLines; ++i) TraceMessage(scope, nullptr, "%s", kMessage);
                _exit(0);
            }
            children.push_back(child);
        }
        char c = 0;
        for (int w = 0; w < writers; ++w) (void)!read(ready[0], &c, 1);
        const double cpuBefore = ChildrenCpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        close(gate[1]);
        for (pid_t child : children) waitpid(child, nullptr, 0);
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        // The writers' set-up before the gate is counted too; it is small beside their lines.
        cpuSeconds += ChildrenCpuSeconds() - cpuBefore;
        for (int fd : {gate[0], ready[0], ready[1]}) close(fd);
    }
    const int64_t lines = static_cast<int64_t>(state.iterations()) * state.range(0) * kLines;
    state.SetItemsProcessed(lines);
    state.counters["writer_cpu_ns_per_line"] = cpuSeconds * 1e9 / static_cast<double>(lines);
}
BENCHMARK(TracedLine_AppendingProcesses)->Arg(1)->Arg(2)->Arg(4)->UseManualTime()->Unit(benchmark::kMillisecond);

// The floor: the same two writes, into a file in a machine folder like the trace's.
void RawWrites(benchmark::State& state, bool encipher) {
    winsim::ScopedMachine machine(winsim::OsVersion::Win2000);
    const std::string path = *winsim::HostPath("C:\\raw.bin");
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const std::string text = std::string("10:41:07:250 CleanUp() ") + kMessage + "\r\n";
    unsigned char record[kTraceRecordMax];
    unsigned char length[4];
    StoreLe32(length, static_cast<uint32_t>(text.size()));
    std::memcpy(record, text.data(), text.size());
    for (auto _ : state) {
        if (encipher) {
            std::memcpy(record, text.data(), text.size());
            EncipherTraceRecord(record, text.size());
        }
        benchmark::DoNotOptimize(write(fd, length, 4));
        benchmark::DoNotOptimize(write(fd, record, text.size()));
    }
    close(fd);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * (4 + text.size())));
}
void RawWrites_TwoWrites(benchmark::State& state) { RawWrites(state, false); }
void RawWrites_TwoWritesAndCipher(benchmark::State& state) { RawWrites(state, true); }
BENCHMARK(RawWrites_TwoWrites);
BENCHMARK(RawWrites_TwoWritesAndCipher);

// The same two writes and the cipher through the simulated machine's WriteFile: what winsim adds.
void RawWrites_TwoWriteFilesAndCipher(benchmark::State& state) {
    winsim::ScopedMachine machine(winsim::OsVersion::Win2000);
    HANDLE file = CreateFileA("C:\\raw.bin", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    const std::string text = std::string("10:41:07:250 CleanUp() ") + kMessage + "\r\n";
    unsigned char record[kTraceRecordMax];
    unsigned char length[4];
    StoreLe32(length, static_cast<uint32_t>(text.size()));
    DWORD written = 0;
    for (auto _ : state) {
        std::memcpy(record, text.data(), text.size());
        EncipherTraceRecord(record, text.size());
        WriteFile(file, length, 4, &written, nullptr);
        WriteFile(file, record, static_cast<DWORD>(text.size()), &written, nullptr);
    }
    CloseHandle(file);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * (4 + text.size())));
}
BENCHMARK(RawWrites_TwoWriteFilesAndCipher);

void Spdlog_FileSinkFlushEveryLine(benchmark::State& state) {
    winsim::ScopedMachine machine(winsim::OsVersion::Win2000);
    const std::string path = *winsim::HostPath("C:\\spdlog.txt");
    auto logger = spdlog::basic_logger_mt("bench", path, true);
    logger->set_pattern("%H:%M:%S:%e CleanUp() %v");
    logger->flush_on(spdlog::level::trace);
    for (auto _ : state) logger->info(kMessage);
    spdlog::drop("bench");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kRecordBytes));
}
BENCHMARK(Spdlog_FileSinkFlushEveryLine);

// Tracing off: the three calls that test a flag, and TraceEnter, which takes and releases the named
// mutex even so.
class CTracingOff {
public:
    CTracingOff() : machine_(winsim::OsVersion::Win2000), scope_("CleanUp") {}
    TraceScope& Scope() { return scope_; }

private:
    winsim::ScopedMachine machine_;
    TraceScope scope_;
};

void TracingOff_TraceExit(benchmark::State& state) {
    CTracingOff off;
    for (auto _ : state) TraceExit(off.Scope());
}
void TracingOff_TraceMessage(benchmark::State& state) {
    CTracingOff off;
    for (auto _ : state) TraceMessage(off.Scope(), nullptr, "%s %d", kMessage, 7);
}
void TracingOff_TraceError(benchmark::State& state) {
    CTracingOff off;
    for (auto _ : state) TraceError(off.Scope(), "", E_FAIL, nullptr);
}
void TracingOff_TraceEnter(benchmark::State& state) {
    CTracingOff off;
    for (auto _ : state) TraceEnter(off.Scope(), "CleanUp", 0);
}
BENCHMARK(TracingOff_TraceExit);
BENCHMARK(TracingOff_TraceMessage);
BENCHMARK(TracingOff_TraceError);
BENCHMARK(TracingOff_TraceEnter);

// The cipher on records of a typical and of the greatest length.
void Cipher_Encipher(benchmark::State& state) {
    std::vector<unsigned char> record(static_cast<size_t>(state.range(0)), 'x');
    for (auto _ : state) {
        EncipherTraceRecord(record.data(), record.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * record.size()));
}
BENCHMARK(Cipher_Encipher)->Arg(62)->Arg(512);

// kvtrace's decoding: a file of typical lines, deciphered, checked and gathered for output.
void Kvtrace_Decode(benchmark::State& state) {
    std::string file(kTraceFileHeader, kTraceFileHeaderSize);
    for (int i = 0; file.size() < (1u << 20); ++i) {
        std::string text = std::string(static_cast<size_t>(2 * (i % 8)), ' ') + "10:41:07:250 CleanUp() " + kMessage +
                           std::string(static_cast<size_t>(i % 40), '.') + "\r\n";
        unsigned char length[4];
        StoreLe32(length, static_cast<uint32_t>(text.size()));
        EncipherTraceRecord(reinterpret_cast<unsigned char*>(&text[0]), text.size());
        file.append(reinterpret_cast<const char*>(length), 4);
        file += text;
    }
    std::string output;
    auto collect = [](void* context, std::string_view line) { static_cast<std::string*>(context)->append(line); };
    for (auto _ : state) {
        output.clear();
        CTraceDecoder decoder(collect, &output);
        decoder.Feed(reinterpret_cast<const unsigned char*>(file.data()), file.size());
        benchmark::DoNotOptimize(decoder.Finish());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * file.size()));
}
BENCHMARK(Kvtrace_Decode);

}  // namespace

BENCHMARK_MAIN();
