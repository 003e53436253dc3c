// Several processes tracing into one file at once, in append mode: the named mutex keeps every line
// whole, none is lost and each process's come in its order; a process killed while it holds the
// mutex leaves it abandoned, and the others go on.
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

// Lines of different lengths, so that records end in every position of a cipher segment.
std::string Padding(int line) { return std::string(static_cast<size_t>(line % 61), '.'); }

// A scope per line, as the library traces: each line costs three rounds of the mutex and a write.
void WriteLines(int process, int lines) {
    for (int i = 0; i < lines; ++i) {
        TraceScope scope("Worker");
        TraceMessage(scope, nullptr, "process %d line %d %s", process, i, Padding(i).c_str());
    }
}

// Processes that wait at a closed gate until Open, so that they really trace at once.
class CGate {
public:
    CGate() { EXPECT_EQ(0, pipe(fds_)); }
    ~CGate() { Open(); }

    template <typename F>
    pid_t Fork(F body, bool waits = true) {
        std::fflush(nullptr);
        const pid_t child = fork();
        if (child == 0) {
            close(fds_[1]);
            char c;
            if (waits) (void)!read(fds_[0], &c, 1);
            body();
            _exit(0);
        }
        EXPECT_GT(child, 0);
        return child;
    }

    void Open() {
        for (int& fd : fds_) {
            if (fd >= 0) close(fd);
            fd = -1;
        }
    }

private:
    int fds_[2] = {-1, -1};
};

void ExpectEndsCleanly(pid_t child) {
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
}

class TraceProcessesTest : public tracetest::TraceTest {
protected:
    // Every process forked from here on loads the settings and opens the file for itself.
    void StartAppending() {
        TraceOn({{"PrintTime", 0}, {"NewFileAlways", 0}});
        Reload();
    }

    // The file holds whole records only, lines[p] lines from process p in its order, and nothing
    // else. Counts how often a line comes from another process than the line before it.
    void ExpectLines(const std::vector<int>& lines, int* switches = nullptr) {
        auto contents = tracetest::ReadTraceFile();
        ASSERT_TRUE(contents);
        EXPECT_FALSE(contents->header);
        EXPECT_TRUE(contents->whole);
        std::vector<int> next(lines.size(), 0);
        int last = -1;
        for (const std::string& text : contents->lines) {
            int process = -1, line = -1, end = 0;
            ASSERT_EQ(2, std::sscanf(text.c_str(), "Worker() process %d line %d %n", &process, &line, &end)) << text;
            ASSERT_TRUE(process >= 0 && process < static_cast<int>(lines.size())) << text;
            ASSERT_EQ(next[process], line) << text;
            EXPECT_EQ(Padding(line), text.substr(static_cast<size_t>(end))) << text;
            ++next[process];
            if (switches && process != last) ++*switches;
            last = process;
        }
        EXPECT_EQ(lines, next);
    }
};

TEST_F(TraceProcessesTest, FourProcessesAppendingKeepEveryLineWholeAndInOrder) {
    StartAppending();
    std::vector<pid_t> writers;
    {
        CGate gate;
        for (int p = 0; p < kWriters; ++p) writers.push_back(gate.Fork([p] { WriteLines(p, kLinesEach); }));
    }
    for (pid_t writer : writers) ExpectEndsCleanly(writer);
    int switches = 0;
    ExpectLines(std::vector<int>(kWriters, kLinesEach), &switches);
    EXPECT_GT(switches, kWriters) << "the processes took turns too seldom to test anything";
}

TEST_F(TraceProcessesTest, AProcessKilledHoldingTheMutexLeavesItAbandonedAndTheOthersGoOn) {
    constexpr int kVictimLines = 100;
    constexpr int kLinesAfter = 1000;
    StartAppending();
    HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, "__KV_TRACE_MUTEX__");
    ASSERT_NE(nullptr, mutex);
    CGate gate;
    // The last process writes its lines, then holds the mutex as a trace call does, and is killed there.
    int held[2];
    ASSERT_EQ(0, pipe(held));
    const pid_t victim = gate.Fork(
        [&] {
            WriteLines(kWriters, kVictimLines);
            const char owned = WaitForSingleObject(mutex, INFINITE) == WAIT_OBJECT_0 ? '1' : '0';
            (void)!write(held[1], &owned, 1);
            pause();
        },
        false);
    char owned = 0;
    ASSERT_EQ(1, read(held[0], &owned, 1));
    close(held[0]);
    close(held[1]);
    ASSERT_EQ('1', owned);

    std::vector<pid_t> writers;
    for (int p = 0; p < kWriters; ++p) writers.push_back(gate.Fork([p] { WriteLines(p, kLinesAfter); }));
    gate.Open();
    kill(victim, SIGKILL);
    waitpid(victim, nullptr, 0);
    for (pid_t writer : writers) ExpectEndsCleanly(writer);

    std::vector<int> lines(kWriters, kLinesAfter);
    lines.push_back(kVictimLines);
    ExpectLines(lines);
    // One writer's wait got the mutex as abandoned, owned it and released it like any other.
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(mutex, 0));
    ReleaseMutex(mutex);
    CloseHandle(mutex);
}

}  // namespace
