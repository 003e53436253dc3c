// kvtrace: prints the lines of the library's enciphered trace files.
#include "chrome.h"
#include "reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char kUsage[] =
    "usage: kvtrace [--errors] [-f] [--delimiter N] [--chrome-trace OUT.json] FILE...\n"
    "\n"
    "Prints the lines of kvisinst trace files (\"-\" reads standard input).\n"
    "\n"
    "  --errors              print only error lines (*ERR*)\n"
    "  -f, --follow          keep reading a file as it is written (one FILE); a file that is\n"
    "                        recreated is read again from its start\n"
    "  --delimiter N         the trace's \"Delimiter\" is the control character N (decimal or\n"
    "                        0x hex): print it as it is; other control characters in lines\n"
    "                        are shown as \\xHH\n"
    "  --chrome-trace FILE   instead of printing, write the calls that profiling timed\n"
    "                        (\"DoProfiling\") as Chrome trace-event JSON, for Perfetto\n"
    "                        (ui.perfetto.dev) or chrome://tracing\n"
    "  -h, --help            show this text\n"
    "\n"
    "Exit status: 0 every file read whole; 1 a file is truncated or damaged (every whole record\n"
    "before the fault is printed, then the byte offset of the fault); 2 a file is not a trace file\n"
    "or can't be read, or the command line is wrong.\n";

struct Options {
    bool errorsOnly = false;
    bool follow = false;
    const char* chromeTrace = nullptr;
    int delimiter = -1;  // a control character printed as it is
    std::vector<const char*> files;
};

struct Output {
    const Options* options;
    std::string buffer;
    CChromeTraceWriter* chrome;

    void Flush() {
        if (!buffer.empty()) std::fwrite(buffer.data(), 1, buffer.size(), stdout);
        buffer.clear();
        std::fflush(stdout);
    }
};

void OnLine(void* context, std::string_view line) {
    auto* out = static_cast<Output*>(context);
    if (out->options->errorsOnly && !IsErrorLine(line)) return;
    if (out->chrome) {
        out->chrome->AddLine(line);
        return;
    }
    AppendPrintable(out->buffer, line, out->options->delimiter);
    if (out->buffer.size() >= (1u << 16)) out->Flush();
}

int Report(const char* name, TraceStatus status, const CTraceDecoder& decoder) {
    switch (status) {
        case TraceStatus::Ok:
            return 0;
        case TraceStatus::Truncated:
            std::fprintf(stderr, "kvtrace: %s: truncated record at byte offset %llu\n", name,
                         static_cast<unsigned long long>(decoder.Offset()));
            return 1;
        case TraceStatus::Damaged:
            std::fprintf(stderr, "kvtrace: %s: damaged record at byte offset %llu\n", name,
                         static_cast<unsigned long long>(decoder.Offset()));
            return 1;
        case TraceStatus::NotATrace:
            std::fprintf(stderr, "kvtrace: %s: not a trace file\n", name);
            return 2;
    }
    return 2;
}

// Reads one file (or standard input) to its end, or, following, until it is damaged or the
// program is stopped.
int ReadTrace(const char* name, const Options& options, Output& out) {
    const bool standardInput = std::strcmp(name, "-") == 0;
    int fd = standardInput ? 0 : open(name, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        std::fprintf(stderr, "kvtrace: %s: %s\n", name, std::strerror(errno));
        return 2;
    }
    if (out.chrome) out.chrome->BeginProcess(name);
    CTraceDecoder decoder(&OnLine, &out);
    std::vector<unsigned char> chunk(1 << 20);
    uint64_t position = 0;
    TraceStatus status = TraceStatus::Ok;
    for (;;) {
        const ssize_t n = read(fd, chunk.data(), chunk.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            std::fprintf(stderr, "kvtrace: %s: %s\n", name, std::strerror(errno));
            if (!standardInput) close(fd);
            out.Flush();
            return 2;
        }
        if (n > 0) {
            position += static_cast<uint64_t>(n);
            status = decoder.Feed(chunk.data(), static_cast<size_t>(n));
            if (status != TraceStatus::Ok) break;
            continue;
        }
        if (!options.follow || standardInput) {
            status = decoder.Finish();
            break;
        }
        // At the end of a followed file: wait for more. A file now shorter than what was read, or
        // another file under the name, was recreated by a new process: read it from its start.
        out.Flush();
        usleep(200 * 1000);
        // A name that is gone for the moment (deleted, being renamed) means nothing new yet.
        struct stat now {}, opened {};
        if (fstat(fd, &opened) != 0 || stat(name, &now) != 0) continue;
        const bool replaced = now.st_ino != opened.st_ino;
        if (replaced) {
            const int again = open(name, O_RDONLY | O_CLOEXEC);
            if (again >= 0) {
                close(fd);
                fd = again;
                opened = now;
            }
        }
        if (replaced || static_cast<uint64_t>(opened.st_size) < position) {
            std::fprintf(stderr, "kvtrace: %s: file was recreated; reading it from the start\n", name);
            lseek(fd, 0, SEEK_SET);
            position = 0;
            decoder.Reset();
        }
    }
    if (!standardInput) close(fd);
    out.Flush();
    return Report(name, status, decoder);
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--errors") {
            options.errorsOnly = true;
        } else if (arg == "-f" || arg == "--follow") {
            options.follow = true;
        } else if (arg == "--chrome-trace") {
            if (++i >= argc) {
                std::fputs("kvtrace: --chrome-trace needs an output file\n", stderr);
                return 2;
            }
            options.chromeTrace = argv[i];
        } else if (arg == "--delimiter") {
            char* end = nullptr;
            const long value = ++i < argc ? std::strtol(argv[i], &end, 0) : -1;
            if (i >= argc || *end || value < 1 || value >= 0x20) {
                std::fputs("kvtrace: --delimiter needs a control character's code, 1 to 31\n", stderr);
                return 2;
            }
            options.delimiter = static_cast<int>(value);
        } else if (arg.size() > 1 && arg[0] == '-' && arg != "-") {
            std::fprintf(stderr, "kvtrace: unknown option %s\n%s", arg.c_str(), kUsage);
            return 2;
        } else {
            options.files.push_back(argv[i]);
        }
    }
    if (options.files.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    if (options.follow && (options.files.size() != 1 || options.chromeTrace)) {
        std::fputs("kvtrace: -f follows one file and prints its lines\n", stderr);
        return 2;
    }

    CChromeTraceWriter chrome;
    Output out{&options, {}, options.chromeTrace ? &chrome : nullptr};
    int status = 0;
    for (const char* file : options.files) {
        const int fileStatus = ReadTrace(file, options, out);
        if (fileStatus > status) status = fileStatus;
    }
    if (options.chromeTrace) {
        FILE* json = std::fopen(options.chromeTrace, "w");
        const std::string text = chrome.Finish();
        if (!json || std::fwrite(text.data(), 1, text.size(), json) != text.size() || std::fclose(json) != 0) {
            std::fprintf(stderr, "kvtrace: %s: %s\n", options.chromeTrace, std::strerror(errno));
            return 2;
        }
    }
    return status;
}
