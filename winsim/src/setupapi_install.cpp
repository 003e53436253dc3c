// setupapi: installing INF sections (registry and INI parts here, files in setupapi_install_files.cpp)
// and the default file-queue callback, whose dialogs go to the machine's Dialogs.
#include "setupapi_install_internal.h"

#include <winsim/dialogs.h>
#include <winsim/files.h>
#include <winsim/machine.h>
#include <winsim/registry.h>
#include <winsim/text.h>
#include <winsim/win32api.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace winsim {

const std::vector<InfLine>* SectionLines(const InfDocument& document, std::string_view name) {
    const int index = document.FindSection(name);
    return index < 0 ? nullptr : &document.sections[index].lines;
}

std::vector<std::string> DirectiveValues(const InfDocument& document, std::string_view section, std::string_view key) {
    std::vector<std::string> values;
    if (const auto* lines = SectionLines(document, section))
        for (const auto& line : *lines)
            if (line.hasKey && InfNamesEqual(line.key, key))
                for (const auto& field : line.fields)
                    if (!field.empty()) values.push_back(field);
    return values;
}

std::optional<DWORD> InfNumber(std::string_view text) {
    if (text.empty()) return 0;
    const std::string copy(text);
    char* end = nullptr;
    const unsigned long value = std::strtoul(copy.c_str(), &end, 0);
    if (*end) return std::nullopt;
    return static_cast<DWORD>(value);
}

std::string JoinWindowsPath(std::string_view folder, std::string_view name) {
    while (!folder.empty() && (folder.back() == '\\' || folder.back() == '/')) folder.remove_suffix(1);
    while (!name.empty() && (name.front() == '\\' || name.front() == '/')) name.remove_prefix(1);
    if (name.empty()) return std::string(folder) + (folder.size() == 2 ? "\\" : "");
    return std::string(folder) + "\\" + std::string(name);
}

namespace {

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

bool IsHeader(std::string_view line, std::string_view* name) {
    line = Trim(line);
    if (line.empty() || line.front() != '[') return false;
    const size_t close = line.find(']');
    if (close == std::string_view::npos) return false;
    *name = Trim(line.substr(1, close - 1));
    return true;
}

}  // namespace

bool EditIniSection(const std::string& windowsPath, std::string_view section,
                    bool (*edit)(std::vector<std::string>& lines, const void* data), const void* data) {
    const std::string text = ReadWholeFile(windowsPath).value_or(std::string());
    std::vector<std::string> all;
    for (size_t at = 0; at < text.size();) {
        const size_t end = text.find('\n', at);
        std::string line = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        all.push_back(std::move(line));
        at = end == std::string::npos ? text.size() : end + 1;
    }
    // The section's lines run from its header to the next header; blank lines there stay where they are.
    size_t header = all.size();
    for (size_t i = 0; i < all.size(); ++i) {
        std::string_view name;
        if (IsHeader(all[i], &name) && EqualsNoCase(name, section)) {
            header = i;
            break;
        }
    }
    size_t end = header == all.size() ? all.size() : header + 1;
    std::string_view ignored;
    while (end < all.size() && !IsHeader(all[end], &ignored)) ++end;
    std::vector<std::string> entries;
    std::vector<size_t> positions;
    for (size_t i = header + 1; i < end && header < all.size(); ++i)
        if (!Trim(all[i]).empty()) {
            entries.push_back(all[i]);
            positions.push_back(i);
        }
    if (!edit(entries, data)) return true;

    std::vector<std::string> out(all.begin(), all.begin() + static_cast<long>(std::min(header, all.size())));
    if (header == all.size()) {
        if (entries.empty()) return true;
        if (!out.empty() && !Trim(out.back()).empty()) out.emplace_back();
        out.push_back("[" + std::string(section) + "]");
    } else {
        out.push_back(all[header]);
    }
    out.insert(out.end(), entries.begin(), entries.end());
    // Blank lines that ended the section keep it apart from the next one.
    if (header < all.size())
        for (size_t i = positions.empty() ? header + 1 : positions.back() + 1; i < end; ++i) out.push_back(all[i]);
    out.insert(out.end(), all.begin() + static_cast<long>(end), all.end());
    std::string written;
    for (const auto& line : out) written += line + "\r\n";
    return WriteWholeFile(windowsPath, written);
}

}  // namespace winsim

namespace {

using winsim::InfLine;
using winsim::InfNumber;
using winsim::Registry;

BOOL FailWith(DWORD error) {
    SetLastError(error);
    return FALSE;
}

// ----- UpdateInis

struct IniUpdate {
    std::string oldEntry;
    std::string newEntry;
    DWORD flags = 0;
};

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

std::string EntryKey(std::string_view entry) {
    const size_t equals = entry.find('=');
    return std::string(Trim(equals == std::string_view::npos ? entry : entry.substr(0, equals)));
}
std::string EntryValue(std::string_view entry) {
    const size_t equals = entry.find('=');
    return equals == std::string_view::npos ? std::string() : std::string(Trim(entry.substr(equals + 1)));
}

bool ApplyIniUpdate(std::vector<std::string>& lines, const void* data) {
    const auto& update = *static_cast<const IniUpdate*>(data);
    auto find = [&](const std::string& entry, bool valueToo) {
        for (size_t i = 0; i < lines.size(); ++i) {
            if (!winsim::EqualsNoCase(EntryKey(lines[i]), EntryKey(entry))) continue;
            if (!valueToo || winsim::EqualsNoCase(EntryValue(lines[i]), EntryValue(entry))) return static_cast<int>(i);
        }
        return -1;
    };
    if (!update.oldEntry.empty()) {
        // Flags 1 and 3 ask for key and value to match; 0 and 2 for the key alone.
        const int old = find(update.oldEntry, update.flags == 1 || update.flags == 3);
        if (old < 0) return false;
        if (update.newEntry.empty()) {
            lines.erase(lines.begin() + old);
        } else {
            lines[old] = update.newEntry;
        }
        return true;
    }
    if (update.newEntry.empty()) return false;
    const int existing = find(update.newEntry, false);
    if (existing >= 0) {
        lines[existing] = update.newEntry;
    } else {
        lines.push_back(update.newEntry);
    }
    return true;
}

DWORD UpdateInisLine(const InfLine& line) {
    const auto& f = line.fields;
    if (f.size() < 2 || f[0].empty() || f[1].empty()) return ERROR_INVALID_DATA;
    IniUpdate update;
    update.oldEntry = f.size() > 2 ? f[2] : std::string();
    update.newEntry = f.size() > 3 ? f[3] : std::string();
    const auto flags = f.size() > 4 ? InfNumber(f[4]) : std::optional<DWORD>(0);
    if (!flags) return ERROR_INVALID_DATA;
    update.flags = *flags;
    // A bare name is a file of the Windows directory.
    const std::string& file = f[0];
    const std::string path = file.find_first_of("\\/:") == std::string::npos
                                 ? winsim::JoinWindowsPath(winsim::Current().WindowsDirectory(), file)
                                 : file;
    const auto full = winsim::FullWindowsPath(path);
    if (!full) return ERROR_PATH_NOT_FOUND;
    return winsim::EditIniSection(*full, f[1], ApplyIniUpdate, &update) ? NO_ERROR : ERROR_ACCESS_DENIED;
}

// ----- AddReg and DelReg

// The registry path of an INF root; HKR stands for the relative root, which must be a predefined key.
std::optional<std::string> RootPath(const std::string& root, HKEY relative) {
    static const struct {
        const char* abbreviation;
        HKEY key;
        const char* path;
    } kRoots[] = {
        {"HKCR", HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT"},
        {"HKCU", HKEY_CURRENT_USER, "HKEY_CURRENT_USER"},
        {"HKLM", HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE"},
        {"HKU", HKEY_USERS, "HKEY_USERS"},
    };
    const bool relativeRoot = winsim::EqualsNoCase(root, "HKR");
    for (const auto& entry : kRoots)
        if (relativeRoot ? relative == entry.key : winsim::EqualsNoCase(root, entry.abbreviation)) return entry.path;
    return std::nullopt;
}

std::vector<std::string> MultiStrings(const std::vector<BYTE>& data) {
    std::vector<std::string> strings;
    std::string current;
    for (BYTE b : data) {
        if (b) {
            current += static_cast<char>(b);
        } else {
            if (current.empty()) break;
            strings.push_back(std::move(current));
            current.clear();
        }
    }
    if (!current.empty()) strings.push_back(current);
    return strings;
}

std::vector<BYTE> MultiData(const std::vector<std::string>& strings) {
    std::vector<BYTE> data;
    for (const auto& s : strings) {
        data.insert(data.end(), s.begin(), s.end());
        data.push_back(0);
    }
    if (strings.empty()) data.push_back(0);
    data.push_back(0);
    return data;
}

bool HexBytes(const std::vector<std::string>& fields, size_t from, std::vector<BYTE>* data) {
    for (size_t i = from; i < fields.size(); ++i) {
        const std::string& field = fields[i];
        if (field.empty()) continue;
        char* end = nullptr;
        const unsigned long value = std::strtoul(field.c_str(), &end, 16);
        if (*end || value > 0xFF) return false;
        data->push_back(static_cast<BYTE>(value));
    }
    return true;
}

DWORD AddRegLine(Registry& reg, const InfLine& line, HKEY relative) {
    const auto& f = line.fields;
    const auto root = RootPath(f[0], relative);
    if (!root) return ERROR_BADKEY;
    const std::string key = f.size() > 1 && !f[1].empty() ? *root + "\\" + f[1] : *root;
    const bool hasName = f.size() > 2;
    const std::string name = hasName ? f[2] : std::string();
    const auto flags = f.size() > 3 ? InfNumber(f[3]) : std::optional<DWORD>(0);
    if (!flags) return ERROR_INVALID_DATA;
    const bool hasData = f.size() > 4;

    if (*flags & FLG_ADDREG_DELVAL) {
        if (hasName) reg.DeleteValue(key, name);
        return NO_ERROR;
    }
    if ((*flags & FLG_ADDREG_KEYONLY) || (name.empty() && !hasData))
        return reg.KeyExists(key) || reg.CreateKey(key) ? NO_ERROR : ERROR_BADKEY;
    const auto existing = reg.GetValue(key, name);
    if ((*flags & FLG_ADDREG_NOCLOBBER) && existing) return NO_ERROR;
    if ((*flags & FLG_ADDREG_OVERWRITEONLY) && !existing) return NO_ERROR;

    DWORD type = REG_SZ;
    std::vector<BYTE> data;
    const DWORD typeFlags = *flags & FLG_ADDREG_TYPE_MASK;
    if (*flags & FLG_ADDREG_BINVALUETYPE) {
        if (typeFlags == FLG_ADDREG_TYPE_DWORD && f.size() == 5) {
            const auto number = InfNumber(f[4]);
            if (!number) return ERROR_INVALID_DATA;
            for (int i = 0; i < 4; ++i) data.push_back(static_cast<BYTE>(*number >> (8 * i)));
        } else if (!HexBytes(f, 4, &data)) {
            return ERROR_INVALID_DATA;
        }
        type = typeFlags == FLG_ADDREG_TYPE_DWORD    ? REG_DWORD
               : typeFlags == FLG_ADDREG_TYPE_BINARY ? REG_BINARY
               : typeFlags == FLG_ADDREG_TYPE_NONE   ? REG_NONE
                                                     : *flags >> 16;
    } else if (typeFlags == FLG_ADDREG_TYPE_MULTI_SZ) {
        type = REG_MULTI_SZ;
        std::vector<std::string> strings;
        if ((*flags & FLG_ADDREG_APPEND) && existing && existing->type == REG_MULTI_SZ)
            strings = MultiStrings(existing->data);
        for (size_t i = 4; i < f.size(); ++i) {
            bool present = false;
            if (*flags & FLG_ADDREG_APPEND)
                for (const auto& s : strings) present = present || winsim::EqualsNoCase(s, f[i]);
            if (!present) strings.push_back(f[i]);
        }
        data = MultiData(strings);
    } else {
        type = typeFlags == FLG_ADDREG_TYPE_EXPAND_SZ ? REG_EXPAND_SZ : REG_SZ;
        const std::string text = hasData ? f[4] : std::string();
        data.assign(text.begin(), text.end());
        data.push_back(0);
    }
    if (!reg.CreateKey(key) || !reg.SetValue(key, name, type, std::move(data))) return ERROR_BADKEY;
    return NO_ERROR;
}

DWORD DelRegLine(Registry& reg, const InfLine& line, HKEY relative) {
    const auto& f = line.fields;
    const auto root = RootPath(f[0], relative);
    if (!root) return ERROR_BADKEY;
    const std::string key = f.size() > 1 && !f[1].empty() ? *root + "\\" + f[1] : *root;
    if (f.size() < 3) {
        // A key goes with everything below it; a missing key, or a hive root, is left alone.
        if (f.size() > 1 && !f[1].empty()) reg.DeleteKey(key);
        return NO_ERROR;
    }
    const auto flags = f.size() > 3 ? InfNumber(f[3]) : std::optional<DWORD>(0);
    if (!flags) return ERROR_INVALID_DATA;
    if (*flags == FLG_DELREG_MULTI_SZ_DELSTRING) {
        const auto existing = reg.GetValue(key, f[2]);
        if (!existing || existing->type != REG_MULTI_SZ || f.size() < 5) return NO_ERROR;
        std::vector<std::string> kept;
        for (auto& s : MultiStrings(existing->data))
            if (!winsim::EqualsNoCase(s, f[4])) kept.push_back(s);
        reg.SetValue(key, f[2], REG_MULTI_SZ, MultiData(kept));
        return NO_ERROR;
    }
    reg.DeleteValue(key, f[2]);
    return NO_ERROR;
}

// Runs `each` over the lines of every section `directive` names; stops at the first error.
template <typename Each>
DWORD ForEachListedLine(const winsim::InfDocument& document, const char* section, const char* directive, Each each) {
    for (const std::string& list : winsim::DirectiveValues(document, section, directive)) {
        const auto* lines = winsim::SectionLines(document, list);
        if (!lines) return ERROR_SECTION_NOT_FOUND;
        for (const auto& line : *lines)
            if (const DWORD error = each(line)) return error;
    }
    return NO_ERROR;
}

// ----- The default queue callback

constexpr DWORD kContextMark = 0x51444653;  // "SFDQ"

struct CDefaultQueueContext {
    DWORD mark = kContextMark;
    HWND owner = nullptr;
    std::string retried;  // the operation whose error was last answered with Retry
};

std::string SystemMessage(DWORD code) {
    const DWORD saved = GetLastError();
    char buffer[512] = "";
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                                        buffer, sizeof buffer, nullptr);
    SetLastError(saved);
    std::string text(buffer, length);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
    return text.empty() ? "Error " + std::to_string(code) + "." : text;
}

int Show(CDefaultQueueContext* context, const std::string& text, const char* caption, UINT type) {
    return winsim::Current().Dialogs().ShowMessageBox(context ? context->owner : nullptr, text, caption, type);
}

UINT Cancelled() {
    SetLastError(ERROR_CANCELLED);
    return FILEOP_ABORT;
}

bool SourceThere(const SOURCE_MEDIA_A& media) {
    if (!media.SourcePath || !media.SourceFile) return false;
    const auto host = winsim::HostPath(winsim::JoinWindowsPath(media.SourcePath, media.SourceFile));
    std::error_code ec;
    return host && std::filesystem::is_regular_file(*host, ec);
}

UINT NeedMedia(CDefaultQueueContext* context, const SOURCE_MEDIA_A& media, char* newPath) {
    if (newPath && media.SourcePath && std::strlen(media.SourcePath) < MAX_PATH) std::strcpy(newPath, media.SourcePath);
    if (SourceThere(media)) return FILEOP_DOIT;
    const bool mayskip = !(media.Flags & SP_COPY_NOSKIP);
    const std::string text = std::string("The file '") + (media.SourceFile ? media.SourceFile : "") + "' on " +
                             (media.Description ? media.Description : "(Unknown)") +
                             " is needed.\n\nType the path where the file is located, and then click OK.\n\n"
                             "Copy files from:\n" +
                             (media.SourcePath ? media.SourcePath : "");
    const UINT type = (mayskip ? MB_ABORTRETRYIGNORE | MB_DEFBUTTON2 : MB_OKCANCEL) | MB_ICONWARNING;
    // OK looks again; the second OK that finds nothing counts as Cancel.
    for (int prompt = 0; prompt < 2; ++prompt) {
        const int answer = Show(context, text, "Files Needed", type);
        if (answer == IDIGNORE && mayskip) return FILEOP_SKIP;
        if (answer != IDOK && answer != IDRETRY) return Cancelled();
        if (SourceThere(media)) return FILEOP_DOIT;
    }
    return Cancelled();
}

UINT OperationError(CDefaultQueueContext* context, UINT notification, const FILEPATHS_A& paths) {
    const std::string target = paths.Target ? paths.Target : "";
    const std::string source = paths.Source ? paths.Source : "";
    std::string text;
    const char* caption;
    if (notification == SPFILENOTIFY_COPYERROR) {
        caption = "Copy Error";
        text = "An error occurred copying the file '" + source + "' to '" + target + "'.";
    } else if (notification == SPFILENOTIFY_DELETEERROR) {
        caption = "Delete Error";
        text = "An error occurred deleting the file '" + target + "'.";
    } else {
        caption = "Rename Error";
        text = "An error occurred renaming the file '" + source + "' to '" + target + "'.";
    }
    text += "\n\n" + SystemMessage(paths.Win32Error);
    const bool mayskip = notification != SPFILENOTIFY_COPYERROR || !(paths.Flags & SP_COPY_NOSKIP);
    const int answer =
        Show(context, text, caption, (mayskip ? MB_ABORTRETRYIGNORE | MB_DEFBUTTON2 : MB_RETRYCANCEL) | MB_ICONERROR);
    const std::string operation = std::to_string(notification) + "|" + source + "|" + target;
    if (answer == IDIGNORE && mayskip) {
        if (context) context->retried.clear();
        return FILEOP_SKIP;
    }
    if (answer != IDRETRY) return Cancelled();
    // A second Retry in a row for the same operation would only fail again: it counts as Cancel.
    if (context && context->retried == operation) {
        context->retried.clear();
        return Cancelled();
    }
    if (context) context->retried = operation;
    return FILEOP_RETRY;
}

UINT TargetNewer(CDefaultQueueContext* context, const FILEPATHS_A& paths) {
    std::string name = paths.Target ? paths.Target : "";
    name = name.substr(name.find_last_of('\\') + 1);
    const std::string text =
        "The file being copied is older than the file currently on your computer. It is recommended that you "
        "keep the existing file.\n\nFile name: " +
        name + "\n\nDo you want to keep this file?";
    return Show(context, text, "Version Conflict", MB_YESNO | MB_ICONWARNING) == IDYES ? FALSE : TRUE;
}

}  // namespace

BOOL SetupInstallFromInfSectionA(HWND, HINF inf, PCSTR sectionName, UINT flags, HKEY relativeKeyRoot,
                                 PCSTR sourceRootPath, UINT copyFlags, PSP_FILE_CALLBACK_A msgHandler, PVOID context,
                                 HDEVINFO, PSP_DEVINFO_DATA) {
    const auto open = winsim::FindOpenInf(inf);
    if (!open) return FailWith(ERROR_INVALID_HANDLE);
    if (!sectionName || ((flags & SPINST_FILES) && !msgHandler)) return FailWith(ERROR_INVALID_PARAMETER);
    const winsim::InfDocument& document = *open->document;
    if (!winsim::SectionLines(document, sectionName)) return FailWith(ERROR_SECTION_NOT_FOUND);

    if (flags & SPINST_FILES) {
        winsim::FileInstall install;
        install.inf = *open;
        install.section = sectionName;
        install.sourceRoot = sourceRootPath ? sourceRootPath : "";
        install.copyStyle = copyFlags;
        install.callback = msgHandler;
        install.context = context;
        if (!winsim::InstallSectionFiles(install)) return FALSE;
    }
    if (flags & SPINST_INIFILES) {
        if (const DWORD error = ForEachListedLine(document, sectionName, "UpdateInis", UpdateInisLine))
            return FailWith(error);
    }
    if (flags & SPINST_REGISTRY) {
        Registry& reg = winsim::Current().Reg();
        if (const DWORD error = ForEachListedLine(document, sectionName, "DelReg", [&](const InfLine& line) {
                return DelRegLine(reg, line, relativeKeyRoot);
            }))
            return FailWith(error);
        if (const DWORD error = ForEachListedLine(document, sectionName, "AddReg", [&](const InfLine& line) {
                return AddRegLine(reg, line, relativeKeyRoot);
            }))
            return FailWith(error);
    }
    SetLastError(NO_ERROR);
    return TRUE;
}

PVOID SetupInitDefaultQueueCallback(HWND owner) {
    return SetupInitDefaultQueueCallbackEx(owner, nullptr, 0, 0, nullptr);
}

PVOID SetupInitDefaultQueueCallbackEx(HWND owner, HWND, UINT, DWORD, PVOID) {
    auto* context = new CDefaultQueueContext;
    context->owner = owner;
    return context;
}

UINT SetupDefaultQueueCallbackA(PVOID contextPointer, UINT notification, UINT_PTR param1, UINT_PTR param2) {
    auto* context = static_cast<CDefaultQueueContext*>(contextPointer);
    if (context && context->mark != kContextMark) context = nullptr;
    if (notification & (SPFILENOTIFY_LANGMISMATCH | SPFILENOTIFY_TARGETEXISTS | SPFILENOTIFY_TARGETNEWER)) {
        if ((notification & SPFILENOTIFY_TARGETNEWER) && param1)
            return TargetNewer(context, *reinterpret_cast<const FILEPATHS_A*>(param1));
        return TRUE;
    }
    switch (notification) {
        case SPFILENOTIFY_STARTQUEUE:
        case SPFILENOTIFY_STARTSUBQUEUE: return TRUE;
        case SPFILENOTIFY_STARTDELETE:
        case SPFILENOTIFY_STARTRENAME:
        case SPFILENOTIFY_STARTCOPY: return FILEOP_DOIT;
        case SPFILENOTIFY_ENDDELETE:
        case SPFILENOTIFY_ENDRENAME:
        case SPFILENOTIFY_ENDCOPY:
            if (context) context->retried.clear();
            return NO_ERROR;
        case SPFILENOTIFY_NEEDMEDIA:
            if (!param1) return Cancelled();
            return NeedMedia(context, *reinterpret_cast<const SOURCE_MEDIA_A*>(param1),
                             reinterpret_cast<char*>(param2));
        case SPFILENOTIFY_COPYERROR:
        case SPFILENOTIFY_DELETEERROR:
        case SPFILENOTIFY_RENAMEERROR:
            if (!param1) return Cancelled();
            return OperationError(context, notification, *reinterpret_cast<const FILEPATHS_A*>(param1));
        default:
            // ENDQUEUE, ENDSUBQUEUE, FILEOPDELAYED, QUEUESCAN and the rest.
            return NO_ERROR;
    }
}

void SetupTermDefaultQueueCallback(PVOID context) {
    auto* queueContext = static_cast<CDefaultQueueContext*>(context);
    if (queueContext && queueContext->mark == kContextMark) {
        queueContext->mark = 0;
        delete queueContext;
    }
}
