// Several processes tracing into one file at once, in append mode: the named mutex keeps every line
// whole, none is lost and each process's come in its order; a process killed while it holds the
// mutex leaves it abandoned, and the others go on. (A record is two writes, its length and its text:
// a process killed between them would leave a length without its text, on Windows as here. Killed
// holding the mutex outside a write, as here, it leaves only whole records.)
#include "kvisinst/trace/trace.h"

#include "trace/trace_testing.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kWriters = 4;
constexpr int kLinesEach = 10000;
constexpr int kKilledLines = 100;

// Lines of different lengths, so that records end in every position of a cipher segment.
std::string Padding(int line) { return std::string(static_cast<size_t>(line % 61), '.'); }

// A scope per line, as the library traces: each line costs three rounds of the mutex and a write.
void WriteLines(int process, int lines) {
    for (int i = 0; i < lines; ++i) {
        TraceScope scope("Worker");
        TraceMessage(scope, nullptr, "process %d line %d %s", process, i, Padding(i).c_str());
    }
}

// Forks a process that runs `body` once a byte can be read from `wait` (or at once without one).
template <typename F>
pid_t Fork(int wait, int closeFirst, F body) {
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        close(closeFirst);
        char c;
        if (wait >= 0) (void)!read(wait, &c, 1);
        body();
        _exit(0);
    }
    return child;
}

class TraceProcessesTest : public tracetest::TraceTest {};

TEST_F(TraceProcessesTest, FourAppendingProcessesKeepEveryLineWholeAndInOrderAndOutliveOneKilledHoldingTheMutex) {
    TraceOn({{"PrintTime", 0}, {"NewFileAlways", 0}});
    Reload();  // each process forked below loads the settings and opens the file for itself
    HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, "__KV_TRACE_MUTEX__");
    ASSERT_NE(nullptr, mutex);
    // The fifth process writes its lines, then holds the mutex as a trace call does, and is killed.
    int held[2], gate[2];
    ASSERT_EQ(0, pipe(held));
    ASSERT_EQ(0, pipe(gate));
    const pid_t killed = Fork(-1, gate[1], [&] {
        WriteLines(kWriters, kKilledLines);
        const char owned = WaitForSingleObject(mutex, INFINITE) == WAIT_OBJECT_0 ? '1' : '0';
        (void)!write(held[1], &owned, 1);
        pause();
    });
    char owned = 0;
    ASSERT_EQ(1, read(held[0], &owned, 1));
    ASSERT_EQ('1', owned);
    // The writers start together when the gate closes, and wait for the mutex until that one is killed.
    std::vector<pid_t> writers;
    for (int p = 0; p < kWriters; ++p) writers.push_back(Fork(gate[0], gate[1], [p] { WriteLines(p, kLinesEach); }));
    for (int fd : {gate[0], gate[1], held[0], held[1]}) close(fd);
    kill(killed, SIGKILL);
    waitpid(killed, nullptr, 0);
    for (pid_t writer : writers) {
        int status = 0;
        ASSERT_EQ(writer, waitpid(writer, &status, 0));
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    }
    // One writer's wait got the mutex as abandoned, owned it and released it like any other.
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(mutex, 0));
    ReleaseMutex(mutex);
    CloseHandle(mutex);

    auto contents = tracetest::ReadTraceFile();
    ASSERT_TRUE(contents);
    EXPECT_FALSE(contents->header);
    EXPECT_TRUE(contents->whole);
    std::vector<int> next(kWriters + 1, 0);
    int switches = 0, last = -1;
    for (const std::string& text : contents->lines) {
        int process = -1, line = -1, end = 0;
        ASSERT_EQ(2, std::sscanf(text.c_str(), "Worker() process %d line %d %n", &process, &line, &end)) << text;
        ASSERT_TRUE(process >= 0 && process <= kWriters) << text;
        ASSERT_EQ(next[process]++, line) << text;
        EXPECT_EQ(Padding(line), text.substr(static_cast<size_t>(end))) << text;
        switches += process != last;
        last = process;
    }
    std::vector<int> expected(kWriters, kLinesEach);
    expected.push_back(kKilledLines);
    EXPECT_EQ(expected, next);
    EXPECT_GT(switches, 2 * kWriters) << "the processes took turns too seldom to test anything";
}

}  // namespace
