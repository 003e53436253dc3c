// The file probe: random operations on files and folders under C:\KvProbeFiles (files created, opened,
// written, read, copied, moved, deleted; folders made and removed; attributes set and read; a handle
// held with some sharing while others try their luck; folder listings), each with what it returned and
// the error it left.
#include "tools/scenario/probe.h"
#include "tools/scenario/runner.h"

#include <algorithm>
#include <cctype>

namespace scenario {

namespace {

const char kFolder[] = "C:\\KvProbeFiles";
const char* const kPaths[] = {
    "a.txt",          "A.TXT", "b.dat", "sub", "sub\\c.txt", "sub\\deeper", "sub\\deeper\\d.dat", "long file name.text",
    "missing\\e.txt", "sub\\"};
const DWORD kDispositions[] = {CREATE_NEW, CREATE_ALWAYS, OPEN_EXISTING, OPEN_ALWAYS, TRUNCATE_EXISTING};
const DWORD kAccesses[] = {GENERIC_READ, GENERIC_WRITE, GENERIC_READ | GENERIC_WRITE, 0};
const DWORD kShares[] = {0, FILE_SHARE_READ, FILE_SHARE_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                         FILE_SHARE_READ | FILE_SHARE_DELETE};
// Hidden and system are left out (the simulated machine keeps read-only alone), and so is read-only:
// Wine keeps it in the host file's mode, which a root user (as in CI) writes through regardless.
const DWORD kAttributes[] = {FILE_ATTRIBUTE_NORMAL, FILE_ATTRIBUTE_ARCHIVE};

std::string Full(const char* path) { return std::string(kFolder) + "\\" + path; }

// What a path names now, a separator at its end aside: "(file)", "(folder)" or "(none)". The lines
// say it so that a known difference can be told by what the call met.
std::string Kind(std::string path) {
    if (path.back() == '\\') path.pop_back();
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes == INVALID_FILE_ATTRIBUTES     ? "(none)"
           : (attributes & FILE_ATTRIBUTE_DIRECTORY) ? "(folder)"
                                                     : "(file)";
}

// Whether `path` lies below `folder` (letter case ignored).
bool IsBelow(const std::string& path, std::string folder) {
    if (!folder.empty() && folder.back() == '\\') folder.pop_back();
    if (path.size() <= folder.size() || path[folder.size()] != '\\') return false;
    for (size_t i = 0; i < folder.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(path[i])) != std::tolower(static_cast<unsigned char>(folder[i])))
            return false;
    return true;
}

// The outcome of a call that returns a BOOL: "ok", or the error it left.
std::string Outcome(BOOL done) { return done ? "ok" : "error " + std::to_string(GetLastError()); }

std::string Listing(const std::string& folder) {
    WIN32_FIND_DATAA found{};
    const HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return "error " + std::to_string(GetLastError());
    std::vector<std::string> names;
    do {
        // Names compared without their letter case: Wine keeps a name's old spelling where Windows
        // takes the new one of a rename that changes only the case.
        std::string name = found.cFileName;
        for (char& c : name) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        if (name == "." || name == "..") continue;
        const bool isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        names.push_back(Quoted(name) + (isFolder ? " dir" : " " + std::to_string(found.nFileSizeLow)) + " attr " +
                        Hex32(found.dwFileAttributes));
    } while (FindNextFileA(search, &found));
    const DWORD ended = GetLastError();
    FindClose(search);
    // Listing order is the file system's (NTFS sorts, FAT does not): compared sorted.
    std::sort(names.begin(), names.end());
    std::string text = ended == ERROR_NO_MORE_FILES ? "" : "ended with " + std::to_string(ended);
    for (const auto& name : names) text += (text.empty() ? "" : ", ") + name;
    return text;
}

}  // namespace

void RunFilesProbe(uint64_t seed, unsigned count, std::vector<std::string>* lines) {
    ProbeRandom random(seed);
    DeleteFolderTree(kFolder);
    CreateDirectoryA(kFolder, nullptr);
    HANDLE held = INVALID_HANDLE_VALUE;
    std::string heldPath;
    for (unsigned n = 0; n < count; ++n) {
        // Every choice is drawn whatever the outcome, so that one call's different result on another
        // machine does not change the calls after it.
        const char* name = random.Pick(kPaths);
        const unsigned operation = random.Below(100);
        DWORD access = random.Pick(kAccesses);
        const DWORD share = random.Pick(kShares);
        const DWORD disposition = random.Pick(kDispositions), attributes = random.Pick(kAttributes);
        // Cutting a file needs write access; Wine cuts without it, where Windows refuses the call
        // (ERROR_INVALID_PARAMETER), and every later read would then differ.
        if (disposition == TRUNCATE_EXISTING) access |= GENERIC_WRITE;
        const char* target = random.Pick(kPaths);
        const bool either = random.Chance(50), hold = random.Chance(30);
        std::string bytes;
        for (unsigned k = random.Below(24); k-- > 0;) bytes += static_cast<char>('a' + random.Below(26));

        const std::string path = Full(name);
        std::string line = "file " + std::to_string(n) + " " + Quoted(name) + " " + Kind(path);
        SetLastError(0);
        if (operation < 22) {
            const HANDLE file =
                CreateFileA(path.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
            line += " open access " + Hex32(access) + " share " + std::to_string(share) + " disposition " +
                    std::to_string(disposition);
            if (file == INVALID_HANDLE_VALUE) {
                line += " error " + std::to_string(GetLastError());
            } else {
                line += " ok last error " + std::to_string(GetLastError());
                if (access & GENERIC_WRITE) {
                    DWORD written = 0;
                    line +=
                        ", write " + std::to_string(bytes.size()) + " " +
                        Outcome(WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) +
                        " " + std::to_string(written);
                }
                line += ", size " + std::to_string(GetFileSize(file, nullptr));
                if (hold && held == INVALID_HANDLE_VALUE) {
                    held = file;  // kept open while the next operations run
                    heldPath = path;
                    line += ", held";
                } else {
                    CloseHandle(file);
                }
            }
        } else if (operation < 32) {
            const HANDLE file =
                CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
            if (file == INVALID_HANDLE_VALUE) {
                line += " read error " + std::to_string(GetLastError());
            } else {
                char buffer[256];
                DWORD read = 0;
                const BOOL done = ReadFile(file, buffer, sizeof buffer, &read, nullptr);
                line += " read " + Outcome(done) + " " + Quoted(std::string(buffer, read));
                CloseHandle(file);
            }
        } else if (operation < 42) {
            const DWORD found = GetFileAttributesA(path.c_str());
            line += " attributes " +
                    (found == INVALID_FILE_ATTRIBUTES ? "error " + std::to_string(GetLastError()) : Hex32(found));
        } else if (operation < 50) {
            line +=
                " set attributes " + Hex32(attributes) + " " + Outcome(SetFileAttributesA(path.c_str(), attributes));
        } else if (operation < 60 && held != INVALID_HANDLE_VALUE && IsBelow(path + "\\x", heldPath) &&
                   !IsBelow(path, heldPath)) {  // the held file itself
            // Deleted while a handle that does not stop it is open, the name stays until that handle is
            // closed (Wine even deletes it twice); the simulated machine takes it at once.
            line += " delete (held) not tried";
        } else if (operation < 60) {
            line += " delete " + Outcome(DeleteFileA(path.c_str()));
        } else if (operation < 68) {
            line += " make folder " + Outcome(CreateDirectoryA(path.c_str(), nullptr));
        } else if (operation < 74) {
            line += " remove folder " + Outcome(RemoveDirectoryA(path.c_str()));
        } else if (operation < 84 && IsBelow(Full(target), path)) {
            // Wine deletes the file a folder was to replace before it refuses to move the folder into
            // itself; Windows changes nothing.
            line += " move to " + Quoted(target) + " (into itself) not tried";
        } else if (operation < 84) {
            const DWORD flags = either ? MOVEFILE_REPLACE_EXISTING : 0;
            line += std::string(" move to ") + (path == Full(target) ? "itself" : Quoted(target)) + " flags " +
                    std::to_string(flags) + " " + Outcome(MoveFileExA(path.c_str(), Full(target).c_str(), flags));
        } else if (operation < 92) {
            line += " copy to " + Quoted(target) + (either ? " unless there " : " over ") +
                    Outcome(CopyFileA(path.c_str(), Full(target).c_str(), either));
        } else if (operation < 96) {
            line = "file " + std::to_string(n) + " list " +
                   (either ? "top " + Listing(kFolder) : "sub " + Kind(Full("sub")) + " " + Listing(Full("sub")));
        } else {
            line += held == INVALID_HANDLE_VALUE ? " nothing held" : " held handle closed";
            if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
            held = INVALID_HANDLE_VALUE;
        }
        lines->push_back(line);
    }
    if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
    lines->push_back("files left: " + Listing(kFolder) + "; sub " + Kind(Full("sub")) + ": " + Listing(Full("sub")));
    DeleteFolderTree(kFolder);
}

}  // namespace scenario
