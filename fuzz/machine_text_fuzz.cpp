// libFuzzer target: arbitrary text as a machine folder's machine.txt (the folder's other files those
// of a new Windows 2000 machine), opened as kvsim opens a folder. A folder that opens saves a
// machine.txt that opens again and saves the same; one that does not open says why.
#include "check.h"
#include "tools/kvsim/machinefolder.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

using fuzzing::Check;

namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The folder's machine.txt once the folder is opened and its state saved into `saved`; empty when
// the folder does not open.
std::string OpenAndSave(const std::string& folder, const std::string& saved) {
    kvsim::CMachineFolder opened;
    std::string error;
    if (!opened.Open(folder, &error)) {
        Check(!error.empty(), "a folder that does not open, without a reason");
        return "";
    }
    Check(kvsim::SaveMachineState(opened.Machine(), saved, &error), "the opened machine does not save");
    return ReadAll(fs::path(saved) / "machine.txt");
}

struct CFolders {
    std::string base, given, saved;
    CFolders() {
        std::string pattern = (fs::temp_directory_path() / "machine-text-fuzz-XXXXXX").string();
        Check(mkdtemp(pattern.data()) != nullptr, "cannot make a folder");
        base = pattern;
        given = base + "/given";
        saved = base + "/saved";
        std::string error;
        Check(kvsim::CMachineFolder::Create(
                  given, winsim::OsVersion::Win2000, [](winsim::Machine&) {}, &error),
              "cannot create a machine folder");
        fs::create_directory(saved);
    }
    ~CFolders() {
        std::error_code ignored;
        fs::remove_all(base, ignored);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const CFolders folders;
    {
        std::ofstream out(fs::path(folders.given) / "machine.txt", std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    const std::string first = OpenAndSave(folders.given, folders.saved);
    if (first.empty()) return 0;
    Check(first.rfind("kvsim machine\n", 0) == 0, "a saved machine.txt without its first line");
    Check(OpenAndSave(folders.saved, folders.saved) == first, "saving what was opened changed machine.txt");
    return 0;
}
