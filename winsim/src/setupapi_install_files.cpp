// setupapi: the file part of installing an INF section - DelFiles, RenFiles and CopyFiles built into one
// queue and committed with the caller's callback, files in use replaced or deleted at the next start
// (setupapi_install.h says what is done and what is not).
#include "setupapi_install_internal.h"

#include "files_internal.h"

#include <winsim/files.h>
#include <winsim/loader.h>
#include <winsim/machine.h>
#include <winsim/peimage.h>
#include <winsim/processes.h>
#include <winsim/registry.h>
#include <winsim/restart.h>
#include <winsim/shortnames.h>
#include <winsim/text.h>
#include <winsim/win32api.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

namespace winsim {

namespace {

namespace fs = std::filesystem;

// How often a copy, deletion or rename is tried for a callback that keeps answering FILEOP_RETRY.
constexpr int kMaxAttempts = 16;
// How often NEEDMEDIA is asked for a disk whose first file stays missing while the answer is DOIT.
constexpr int kMaxMediaPrompts = 3;

// One source disk of [SourceDisksNames]: where its files are and how a prompt names it.
struct Media {
    std::string path;  // source root + the disk's path
    std::string description;
    std::string tag;
    bool hasDescription = false;
    bool hasTag = false;
    bool seen = false;  // NEEDMEDIA answered for it
};

struct CopyOp {
    size_t media = 0;
    std::string subdir;  // below the disk's path ([SourceDisksFiles])
    std::string sourceName;
    std::string target;  // full path
    UINT style = 0;
};
struct DeleteOp {
    std::string target;
};
struct RenameOp {
    std::string from;
    std::string to;
};

enum class Outcome { Done, Skipped, Aborted };

bool Fail(DWORD error) {
    SetLastError(error);
    return false;
}

bool IsFile(const std::string& windowsPath) {
    const auto host = HostPath(windowsPath);
    std::error_code ec;
    return host && fs::is_regular_file(*host, ec);
}

std::string LongPathOf(Machine& machine, const std::string& full) { return ResolveOn(machine, full).longPath; }

// The 8.3 spelling of an existing path, as WININIT needs it; components that do not exist stay as given.
std::string ShortPathOf(Machine& machine, const std::string& full) {
    const ResolvedPath resolved = ResolveOn(machine, full);
    std::string result = resolved.longPath.substr(0, 2);
    std::string folder = result + "\\";
    size_t at = 3;
    size_t component = 0;
    while (at < resolved.longPath.size()) {
        const size_t end = std::min(resolved.longPath.find('\\', at), resolved.longPath.size());
        const std::string name = resolved.longPath.substr(at, end - at);
        result += "\\" + (component < resolved.found ? machine.ShortNames().ShortNameOf(folder, name) : name);
        folder = resolved.longPath.substr(0, end);
        at = end + 1;
        ++component;
    }
    return result;
}

// A file is in use when a running process was started from it, a loaded module is it, or a handle
// open on it does not share writing (Windows' copy onto it then fails with a sharing violation).
bool InUse(Machine& machine, const std::string& full) {
    const auto host = HostPath(full);
    if (host && HeldAgainst(*host, GENERIC_WRITE)) return true;
    const std::string wanted = UpperAscii(LongPathOf(machine, full));
    for (const auto& process : machine.Processes().Running()) {
        const auto program = FullWindowsPath(process.program);
        if (program && UpperAscii(LongPathOf(machine, *program)) == wanted) return true;
    }
    return IsModuleFileLoaded(full) || IsModuleFileLoaded(LongPathOf(machine, full));
}

// 95/98: a line of WININIT.INI's [rename], "TARGET=SOURCE" or "NUL=SOURCE", in short names.
DWORD AddPendingWinInit(Machine& machine, const std::string& source, const std::string& target) {
    const std::string line =
        (target.empty() ? std::string("NUL") : ShortPathOf(machine, target)) + "=" + ShortPathOf(machine, source);
    auto append = [](std::vector<std::string>& lines, const void* data) {
        lines.push_back(*static_cast<const std::string*>(data));
        return true;
    };
    return EditIniSection(machine.WindowsDirectory() + "\\WININIT.INI", "rename", append, &line) ? NO_ERROR
                                                                                                 : ERROR_ACCESS_DENIED;
}

// Leaves `source` to be renamed over `target` (or deleted, when `target` is empty) at the next start.
DWORD AddPending(Machine& machine, const std::string& source, const std::string& target, bool replace) {
    return IsNtFamily(machine.Version()) ? AddPendingFileRename(machine, source, target, replace)
                                         : AddPendingWinInit(machine, source, target);
}

// A name for the new file beside one in use, as GetTempFileName makes them with the prefix "SET".
std::string TemporaryBeside(const std::string& target) {
    const std::string folder = target.substr(0, target.find_last_of('\\'));
    static const char kHex[] = "0123456789ABCDEF";
    for (unsigned n = 1; n <= 0xFFFF; ++n) {
        std::string name = "SET";
        bool leading = true;
        for (int shift = 12; shift >= 0; shift -= 4) {
            const unsigned digit = (n >> shift) & 0xF;
            if (leading && digit == 0 && shift) continue;
            leading = false;
            name += kHex[digit];
        }
        const std::string path = folder + "\\" + name + ".TMP";
        const auto host = HostPath(path);
        std::error_code ec;
        if (host && !fs::exists(*host, ec)) return path;
    }
    return folder + "\\SET0.TMP";
}

// The fixed file version of a file's version resource, or nothing.
std::optional<uint64_t> FileVersion(const std::string& path) {
    const auto bytes = ReadWholeFile(path);
    if (!bytes) return std::nullopt;
    const auto* data = reinterpret_cast<const unsigned char*>(bytes->data());
    const VersionLocation where = FindVersionResource(data, bytes->size());
    // VS_VERSIONINFO: three words, "VS_VERSION_INFO" in UTF-16 with its NUL, padding to 40 bytes, then
    // VS_FIXEDFILEINFO.
    constexpr size_t kFixed = 40;
    if (where.status != VersionLookup::Found || where.size < kFixed + 16) return std::nullopt;
    auto dword = [&](size_t at) {
        const unsigned char* p = data + where.offset + at;
        return static_cast<uint32_t>(p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24));
    };
    const unsigned valueLength = data[where.offset + 2] | (data[where.offset + 3] << 8);
    if (valueLength < sizeof(VS_FIXEDFILEINFO) || dword(kFixed) != VS_FFI_SIGNATURE) return std::nullopt;
    return (static_cast<uint64_t>(dword(kFixed + 8)) << 32) | dword(kFixed + 12);
}

UINT StyleOf(UINT callerStyle, DWORD lineFlags) {
    UINT style = callerStyle;
    if (lineFlags & COPYFLG_WARN_IF_SKIP) style |= SP_COPY_WARNIFSKIP;
    if (lineFlags & COPYFLG_NOSKIP) style |= SP_COPY_NOSKIP;
    if (lineFlags & COPYFLG_NOVERSIONCHECK) style &= ~(SP_COPY_NEWER | SP_COPY_FORCE_NEWER | SP_COPY_NEWER_ONLY);
    if (lineFlags & COPYFLG_FORCE_FILE_IN_USE) style |= SP_COPY_FORCE_IN_USE;
    if (lineFlags & COPYFLG_NO_OVERWRITE) style |= SP_COPY_NOOVERWRITE;
    if (lineFlags & COPYFLG_NO_VERSION_DIALOG) style |= SP_COPY_FORCE_NEWER;
    if (lineFlags & COPYFLG_OVERWRITE_OLDER_ONLY) style |= SP_COPY_NEWER_ONLY;
    if (lineFlags & COPYFLG_REPLACEONLY) style |= SP_COPY_REPLACEONLY;
    if (lineFlags & COPYFLG_NODECOMP) style |= SP_COPY_NODECOMP;
    return style;
}

class CQueue {
public:
    explicit CQueue(const FileInstall& install)
        : in_(install), doc_(*install.inf.document), machine_(Current()), nt_(IsNtFamily(machine_.Version())) {}

    bool Build();
    bool Commit();

private:
    std::optional<std::string> TargetFolder(std::string_view listSection);
    const InfLine* DiskLine(const char* section, std::string_view key) const;
    size_t MediaFor(const std::string& sourceName, std::string* subdir);
    bool AddCopies(const std::string& list);

    UINT Notify(UINT notification, UINT_PTR param1, UINT_PTR param2) {
        return in_.callback(in_.context, notification, param1, param2);
    }
    // An error prompt (COPYERROR, DELETEERROR, RENAMEERROR) until it is answered otherwise than
    // RETRY, or the operation gives up.
    Outcome Delete(const DeleteOp& op);
    Outcome Rename(const RenameOp& op);
    Outcome Copy(const CopyOp& op);
    bool AskForMedia(const CopyOp& op, Media& media, Outcome* outcome);
    DWORD CopyNow(const std::string& source, const std::string& target, bool* delayed);

    const FileInstall& in_;
    const InfDocument& doc_;
    Machine& machine_;
    bool nt_;
    std::string root_;
    std::vector<Media> media_;
    std::vector<DeleteOp> deletes_;
    std::vector<RenameOp> renames_;
    std::vector<CopyOp> copies_;
};

std::optional<std::string> CQueue::TargetFolder(std::string_view listSection) {
    const auto* lines = SectionLines(doc_, "DestinationDirs");
    const InfLine* entry = nullptr;
    const std::string own(listSection);
    if (lines) {
        for (const char* key : {own.c_str(), "DefaultDestDir"}) {
            for (const auto& line : *lines)
                if (line.hasKey && InfNamesEqual(line.key, key)) {
                    entry = &line;
                    break;
                }
            if (entry) break;
        }
    }
    std::string folder;
    if (!entry) {
        folder = Current().SystemDirectory();
    } else {
        const std::string& idText = entry->fields[0];
        char* end = nullptr;
        const long id = std::strtol(idText.c_str(), &end, 0);
        const std::string subdir = entry->fields.size() > 1 ? entry->fields[1] : std::string();
        if (idText.empty() || *end) return std::nullopt;
        if (id == -1) {
            folder = subdir;
        } else {
            const auto base = InfDirIdPath(id, in_.inf.directory);
            if (!base) return std::nullopt;
            folder = subdir.empty() ? *base : JoinWindowsPath(*base, subdir);
        }
    }
    auto full = FullWindowsPath(folder);
    if (full && full->size() > 3 && full->back() == '\\') full->pop_back();
    return full;
}

const InfLine* CQueue::DiskLine(const char* section, std::string_view key) const {
    // The NT family reads the platform's own section first.
    std::vector<std::string> names;
    if (nt_) names.push_back(std::string(section) + ".x86");
    names.emplace_back(section);
    for (const auto& name : names) {
        const auto* lines = SectionLines(doc_, name);
        if (!lines) continue;
        for (const auto& line : *lines)
            if (line.hasKey && InfNamesEqual(line.key, key)) return &line;
    }
    return nullptr;
}

size_t CQueue::MediaFor(const std::string& sourceName, std::string* subdir) {
    Media media;
    media.path = root_;
    subdir->clear();
    if (const InfLine* file = DiskLine("SourceDisksFiles", sourceName)) {
        if (file->fields.size() > 1) *subdir = file->fields[1];
        if (const InfLine* disk = DiskLine("SourceDisksNames", file->fields[0])) {
            media.hasDescription = !disk->fields[0].empty();
            media.description = disk->fields[0];
            media.hasTag = disk->fields.size() > 1 && !disk->fields[1].empty();
            if (media.hasTag) media.tag = disk->fields[1];
            if (disk->fields.size() > 3 && !disk->fields[3].empty())
                media.path = JoinWindowsPath(root_, disk->fields[3]);
        }
    }
    for (size_t i = 0; i < media_.size(); ++i)
        if (EqualsNoCase(media_[i].path, media.path) && media_[i].description == media.description &&
            media_[i].tag == media.tag)
            return i;
    media_.push_back(media);
    return media_.size() - 1;
}

bool CQueue::AddCopies(const std::string& list) {
    if (list[0] == '@') {
        const auto folder = TargetFolder("DefaultDestDir");
        if (!folder) return Fail(ERROR_INVALID_PARAMETER);
        CopyOp op;
        op.sourceName = list.substr(1);
        op.media = MediaFor(op.sourceName, &op.subdir);
        op.target = JoinWindowsPath(*folder, op.sourceName);
        op.style = in_.copyStyle;
        copies_.push_back(std::move(op));
        return true;
    }
    const auto* lines = SectionLines(doc_, list);
    if (!lines) return Fail(ERROR_SECTION_NOT_FOUND);
    const auto folder = TargetFolder(list);
    if (!folder) return Fail(ERROR_INVALID_PARAMETER);
    for (const auto& line : *lines) {
        const auto& f = line.fields;
        if (f[0].empty()) continue;
        const auto flags = f.size() > 3 ? InfNumber(f[3]) : std::optional<DWORD>(0);
        if (!flags) return Fail(ERROR_INVALID_DATA);
        CopyOp op;
        op.sourceName = f.size() > 1 && !f[1].empty() ? f[1] : f[0];
        op.media = MediaFor(op.sourceName, &op.subdir);
        op.target = JoinWindowsPath(*folder, f[0]);
        op.style = StyleOf(in_.copyStyle, *flags);
        copies_.push_back(std::move(op));
    }
    return true;
}

bool CQueue::Build() {
    const std::string root = in_.sourceRoot.empty() ? in_.inf.directory : in_.sourceRoot;
    const auto full = FullWindowsPath(root);
    if (!full) return Fail(ERROR_PATH_NOT_FOUND);
    root_ = *full;
    for (const std::string& list : DirectiveValues(doc_, in_.section, "DelFiles")) {
        const auto* lines = SectionLines(doc_, list);
        if (!lines) return Fail(ERROR_SECTION_NOT_FOUND);
        const auto folder = TargetFolder(list);
        if (!folder) return Fail(ERROR_INVALID_PARAMETER);
        for (const auto& line : *lines)
            if (!line.fields[0].empty()) deletes_.push_back({JoinWindowsPath(*folder, line.fields[0])});
    }
    for (const std::string& list : DirectiveValues(doc_, in_.section, "RenFiles")) {
        const auto* lines = SectionLines(doc_, list);
        if (!lines) return Fail(ERROR_SECTION_NOT_FOUND);
        const auto folder = TargetFolder(list);
        if (!folder) return Fail(ERROR_INVALID_PARAMETER);
        for (const auto& line : *lines) {
            if (line.fields.size() < 2 || line.fields[0].empty() || line.fields[1].empty()) continue;
            renames_.push_back({JoinWindowsPath(*folder, line.fields[1]), JoinWindowsPath(*folder, line.fields[0])});
        }
    }
    for (const std::string& list : DirectiveValues(doc_, in_.section, "CopyFiles"))
        if (!AddCopies(list)) return false;
    return true;
}

Outcome CQueue::Delete(const DeleteOp& op) {
    FILEPATHS_A paths{op.target.c_str(), nullptr, NO_ERROR, 0};
    const UINT start = Notify(SPFILENOTIFY_STARTDELETE, reinterpret_cast<UINT_PTR>(&paths), FILEOP_DELETE);
    if (start == FILEOP_ABORT) return Outcome::Aborted;
    if (start == FILEOP_SKIP) return Outcome::Skipped;
    bool delayed = false;
    for (int attempt = 1;; ++attempt) {
        DWORD error = NO_ERROR;
        const auto host = HostPath(op.target);
        std::error_code ec;
        if (host && fs::exists(*host, ec)) {
            if (InUse(machine_, op.target)) {
                error = AddPending(machine_, op.target, std::string(), false);
                delayed = error == NO_ERROR;
            } else {
                const std::string longPath = LongPathOf(machine_, op.target);
                if (fs::is_directory(*host, ec) || !fs::remove(*host, ec)) {
                    error = ERROR_ACCESS_DENIED;
                } else {
                    machine_.ShortNames().Removed(longPath);
                }
            }
        }
        if (error == NO_ERROR) break;
        paths.Win32Error = error;
        if (attempt >= kMaxAttempts) {
            SetLastError(error);
            return Outcome::Aborted;
        }
        const UINT answer = Notify(SPFILENOTIFY_DELETEERROR, reinterpret_cast<UINT_PTR>(&paths), 0);
        if (answer == FILEOP_ABORT) return Outcome::Aborted;
        if (answer == FILEOP_SKIP) break;
    }
    if (delayed) Notify(SPFILENOTIFY_FILEOPDELAYED, reinterpret_cast<UINT_PTR>(&paths), 0);
    Notify(SPFILENOTIFY_ENDDELETE, reinterpret_cast<UINT_PTR>(&paths), 0);
    return Outcome::Done;
}

Outcome CQueue::Rename(const RenameOp& op) {
    FILEPATHS_A paths{op.to.c_str(), op.from.c_str(), NO_ERROR, 0};
    const UINT start = Notify(SPFILENOTIFY_STARTRENAME, reinterpret_cast<UINT_PTR>(&paths), FILEOP_RENAME);
    if (start == FILEOP_ABORT) return Outcome::Aborted;
    if (start == FILEOP_SKIP) return Outcome::Skipped;
    bool delayed = false;
    for (int attempt = 1;; ++attempt) {
        DWORD error = NO_ERROR;
        const auto from = HostPath(op.from);
        const auto to = HostPath(op.to);
        std::error_code ec;
        if (from && to && fs::exists(*from, ec)) {
            if (fs::exists(*to, ec)) {
                error = ERROR_ALREADY_EXISTS;
            } else if (InUse(machine_, op.from)) {
                error = AddPending(machine_, op.from, op.to, false);
                delayed = error == NO_ERROR;
            } else {
                const std::string longFrom = LongPathOf(machine_, op.from);
                fs::rename(*from, *to, ec);
                if (ec) {
                    error = ERROR_ACCESS_DENIED;
                } else {
                    machine_.ShortNames().Moved(longFrom, LongPathOf(machine_, op.to));
                }
            }
        }
        if (error == NO_ERROR) break;
        paths.Win32Error = error;
        if (attempt >= kMaxAttempts) {
            SetLastError(error);
            return Outcome::Aborted;
        }
        const UINT answer = Notify(SPFILENOTIFY_RENAMEERROR, reinterpret_cast<UINT_PTR>(&paths), 0);
        if (answer == FILEOP_ABORT) return Outcome::Aborted;
        if (answer == FILEOP_SKIP) break;
    }
    if (delayed) Notify(SPFILENOTIFY_FILEOPDELAYED, reinterpret_cast<UINT_PTR>(&paths), 0);
    Notify(SPFILENOTIFY_ENDRENAME, reinterpret_cast<UINT_PTR>(&paths), 0);
    return Outcome::Done;
}

// NEEDMEDIA for the first file of a disk. False when the file is not to be copied (`outcome` says why).
bool CQueue::AskForMedia(const CopyOp& op, Media& media, Outcome* outcome) {
    for (int prompt = 1;; ++prompt) {
        const std::string folder = op.subdir.empty() ? media.path : JoinWindowsPath(media.path, op.subdir);
        SOURCE_MEDIA_A request{nullptr,
                               media.hasTag ? media.tag.c_str() : nullptr,
                               media.hasDescription ? media.description.c_str() : nullptr,
                               folder.c_str(),
                               op.sourceName.c_str(),
                               op.style & (SP_COPY_WARNIFSKIP | SP_COPY_NOSKIP | SP_COPY_NOBROWSE)};
        char newPath[MAX_PATH] = "";
        const UINT answer =
            Notify(SPFILENOTIFY_NEEDMEDIA, reinterpret_cast<UINT_PTR>(&request), reinterpret_cast<UINT_PTR>(newPath));
        if (answer == FILEOP_ABORT || answer == FILEOP_SKIP) {
            *outcome = answer == FILEOP_ABORT ? Outcome::Aborted : Outcome::Skipped;
            return false;
        }
        if (answer == FILEOP_NEWPATH && newPath[0]) {
            if (auto full = FullWindowsPath(newPath)) media.path = *full;
            media.seen = true;
            return true;
        }
        if (IsFile(JoinWindowsPath(folder, op.sourceName)) || prompt >= kMaxMediaPrompts) {
            media.seen = true;
            return true;
        }
    }
}

DWORD CQueue::CopyNow(const std::string& source, const std::string& target, bool* delayed) {
    const auto bytes = ReadWholeFile(source);
    if (!bytes) return ERROR_FILE_NOT_FOUND;
    const auto host = HostPath(target);
    std::error_code ec;
    if (!host || fs::is_directory(*host, ec)) return ERROR_ACCESS_DENIED;
    if (fs::is_regular_file(*host, ec) && InUse(machine_, target)) {
        if (nt_ && machine_.CallerAccount() == Machine::Account::User) return ERROR_ACCESS_DENIED;
        const std::string temporary = TemporaryBeside(target);
        if (!WriteWholeFile(temporary, *bytes)) return ERROR_ACCESS_DENIED;
        const DWORD error = AddPending(machine_, temporary, LongPathOf(machine_, target), true);
        *delayed = error == NO_ERROR;
        return error;
    }
    return WriteWholeFile(target, *bytes) ? NO_ERROR : ERROR_ACCESS_DENIED;
}

Outcome CQueue::Copy(const CopyOp& op) {
    Media& media = media_[op.media];
    Outcome outcome = Outcome::Done;
    if (!media.seen && !AskForMedia(op, media, &outcome)) return outcome;
    std::string sourceFolder = op.subdir.empty() ? media.path : JoinWindowsPath(media.path, op.subdir);
    std::string source = JoinWindowsPath(sourceFolder, op.sourceName);
    FILEPATHS_A paths{op.target.c_str(), source.c_str(), NO_ERROR, op.style};
    const UINT start = Notify(SPFILENOTIFY_STARTCOPY, reinterpret_cast<UINT_PTR>(&paths), FILEOP_COPY);
    if (start == FILEOP_ABORT) return Outcome::Aborted;
    if (start == FILEOP_SKIP) return Outcome::Skipped;

    bool copy = true;
    const bool exists = IsFile(op.target);
    if (exists && (op.style & (SP_COPY_NOOVERWRITE | SP_COPY_FORCE_NOOVERWRITE))) copy = false;
    if (!exists && (op.style & SP_COPY_REPLACEONLY)) copy = false;
    if (copy && exists && (op.style & (SP_COPY_NEWER | SP_COPY_FORCE_NEWER | SP_COPY_NEWER_ONLY))) {
        // Without a version on either side, or with the same one, the source counts as newer.
        const auto sourceVersion = FileVersion(source);
        const auto targetVersion = FileVersion(op.target);
        const bool both = sourceVersion && targetVersion;
        if (both && *targetVersion > *sourceVersion) {
            copy = !(op.style & SP_COPY_FORCE_NEWER) &&
                   Notify(SPFILENOTIFY_TARGETNEWER, reinterpret_cast<UINT_PTR>(&paths), 0) != FALSE;
        } else if (both && *targetVersion == *sourceVersion && (op.style & SP_COPY_NEWER_ONLY)) {
            copy = false;
        }
    }
    bool delayed = false;
    for (int attempt = 1; copy; ++attempt) {
        const DWORD error = CopyNow(source, op.target, &delayed);
        if (error == NO_ERROR) break;
        paths.Win32Error = error;
        if (attempt >= kMaxAttempts) {
            SetLastError(error);
            return Outcome::Aborted;
        }
        char newPath[MAX_PATH] = "";
        const UINT answer =
            Notify(SPFILENOTIFY_COPYERROR, reinterpret_cast<UINT_PTR>(&paths), reinterpret_cast<UINT_PTR>(newPath));
        if (answer == FILEOP_ABORT) return Outcome::Aborted;
        if (answer == FILEOP_SKIP) {
            copy = false;
        } else if (answer == FILEOP_NEWPATH && newPath[0]) {
            source = JoinWindowsPath(newPath, op.sourceName);
            paths.Source = source.c_str();
        }
    }
    if (delayed) Notify(SPFILENOTIFY_FILEOPDELAYED, reinterpret_cast<UINT_PTR>(&paths), 0);
    Notify(SPFILENOTIFY_ENDCOPY, reinterpret_cast<UINT_PTR>(&paths), 0);
    return Outcome::Done;
}

bool CQueue::Commit() {
    bool aborted = !Notify(SPFILENOTIFY_STARTQUEUE, 0, 0);
    auto run = [&](UINT operation, size_t count, auto&& each) {
        if (aborted || count == 0) return;
        if (!Notify(SPFILENOTIFY_STARTSUBQUEUE, operation, count)) {
            aborted = true;
            return;
        }
        for (size_t i = 0; i < count && !aborted; ++i) aborted = each(i) == Outcome::Aborted;
        if (!aborted) Notify(SPFILENOTIFY_ENDSUBQUEUE, operation, 0);
    };
    run(FILEOP_DELETE, deletes_.size(), [&](size_t i) { return Delete(deletes_[i]); });
    run(FILEOP_RENAME, renames_.size(), [&](size_t i) { return Rename(renames_[i]); });
    run(FILEOP_COPY, copies_.size(), [&](size_t i) { return Copy(copies_[i]); });
    // The callback's last error is what the caller learns of an abort; ENDQUEUE must not change it.
    const DWORD error = GetLastError();
    Notify(SPFILENOTIFY_ENDQUEUE, aborted ? 0 : 1, 0);
    SetLastError(error);
    return !aborted;
}

}  // namespace

bool InstallSectionFiles(const FileInstall& install) {
    CQueue queue(install);
    if (!queue.Build()) return false;
    return queue.Commit();
}

}  // namespace winsim
