// Several processes tracing into one file at once: the named mutex keeps each line whole.
#include "kvisinst/trace/trace.h"

#include "trace/trace_testing.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr int kProcesses = 3;
constexpr int kLinesEach = 300;

// What each process does: a scope per line, so that every line costs a full round of the mutex and
// a write. The pause between lines lets the others have the mutex: without it the process that just
// released it mostly takes it again at once, and the lines come in long runs.
void TraceLinesAs(int process) {
    for (int i = 0; i < kLinesEach; ++i) {
        {
            TraceScope scope("Worker");
            TraceMessage(scope, nullptr, "process %d line %d %s", process, i, std::string(40 + i % 50, '.').c_str());
        }
        usleep(20);
    }
}

class TraceProcessesTest : public tracetest::TraceTest {};

TEST_F(TraceProcessesTest, LinesFromSeveralProcessesStayWhole) {
    TraceOn({{"PrintTime", 0}, {"NewFileAlways", 0}});
    Reload();  // each process forked below loads the settings and opens the file for itself
    std::fflush(nullptr);
    // The children start together when the parent closes the gate, so that they really trace at once.
    int gate[2];
    ASSERT_EQ(0, pipe(gate));
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            close(gate[1]);
            char c;
            (void)!read(gate[0], &c, 1);
            TraceLinesAs(p);
            _exit(0);
        }
        children.push_back(child);
    }
    close(gate[0]);
    close(gate[1]);
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(child, waitpid(child, &status, 0));
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }

    auto contents = tracetest::ReadTraceFile();
    ASSERT_TRUE(contents);
    EXPECT_TRUE(contents->whole);
    ASSERT_EQ(static_cast<size_t>(kProcesses * kLinesEach), contents->lines.size());
    // Every line is one of the lines written, and each process's lines come in its order.
    std::map<int, int> next;
    for (size_t i = 0; i < contents->lines.size(); ++i) {
        int process = -1, line = -1;
        char dots[128] = "";
        const std::string& text = contents->lines[i];
        ASSERT_EQ(3, std::sscanf(text.c_str(), "Worker() process %d line %d %127s", &process, &line, dots))
            << "line " << i << ": " << text;
        ASSERT_EQ(next[process], line) << "line " << i << ": " << text;
        EXPECT_EQ(std::string(40 + line % 50, '.'), dots) << "line " << i;
        ++next[process];
    }
}

}  // namespace
