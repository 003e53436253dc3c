// What the program tests share: a scratch folder, and a program run in it with its standard input,
// output and error in files.
#pragma once

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace programtest {

namespace fs = std::filesystem;

inline std::string Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

struct Outcome {
    int status;  // the exit status, -1 when killed
    std::string out;
    std::string err;
};

class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "kvisinst-program-XXXXXX").string();
        ASSERT_NE(nullptr, mkdtemp(pattern.data()));
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Write(const std::string& name, const std::string& bytes) {
        const fs::path path = dir_ / name;
        std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
        return path.string();
    }

    // Runs `program` with `args`, each passed as it is (no shell).
    Outcome RunProgram(const char* program, const std::vector<std::string>& args, const std::string& input = "") {
        const std::string in = Write(".stdin", input), out = (dir_ / ".stdout").string(), err = (dir_ / ".stderr").string();
        const pid_t child = fork();
        if (child == 0) {
            const int fds[3] = {open(in.c_str(), O_RDONLY), open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600),
                                open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600)};
            for (int i = 0; i < 3; ++i) dup2(fds[i], i);
            std::vector<char*> argv = {const_cast<char*>(program)};
            for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(program, argv.data());
            _exit(127);
        }
        int status = 0;
        waitpid(child, &status, 0);
        const Outcome outcome{WIFEXITED(status) ? WEXITSTATUS(status) : -1, Slurp(out), Slurp(err)};
        fs::remove(in);
        fs::remove(out);
        fs::remove(err);
        return outcome;
    }

    fs::path dir_;
};

}  // namespace programtest
