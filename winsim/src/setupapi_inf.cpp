// SetupAPI's INF reading calls over the simulated machine's files.
//
// An open INF is parsed once, with every %strkey% and %dirid% already substituted, and kept behind
// its handle; INFCONTEXT names the handle, the section's index and the line's index.
//
// Deliberately less than Windows:
// - Files without a Windows 95/NT signature ("old NT" INFs) are read with the same syntax as the
//   others when INF_STYLE_OLDNT is asked for; the legacy NT 3.x format itself is not understood.
// - A class asked for is compared with the Version section's Class value only; a ClassGUID is not
//   turned into a class name.
// - [Strings.LanguageID] sections are not consulted; only [Strings].
// - SetupOpenAppendInfFile is not provided, so a handle always holds one file.
// - A Unicode INF must start with the UTF-16LE byte order mark; without it the file reads as ANSI.
// - Directory ids cover the system folders (1, 10, 11, 12, 17, 18, 20, 24, 25, 30, 50, 54); shell
//   folder ids (16384 and up) and the user profile (53) stay as written.
// - Where Windows would fault on a bad handle or context, these calls fail with ERROR_INVALID_HANDLE
//   or ERROR_INVALID_PARAMETER instead.
// - An HINF shares the kernel handle table, so CloseHandle would close one too; on Windows an HINF
//   is no kernel handle.

#include "setupapi_inf_internal.h"

#include <winsim/api/kernel32_system.h>
#include <winsim/api/kernel32_resources.h>
#include <winsim/api/setupapi_inf.h>
#include <winsim/files.h>
#include <winsim/handles.h>
#include <winsim/machine.h>

#include <cstring>
#include <memory>

namespace {

// Open INF files live in the process's handle table with the kernel objects, so that tests can count
// what a caller left open; only SetupCloseInfFile is meant to close them.
struct COpenInf : winsim::KernelObject {
    std::string path;  // the Windows path it was read from
    winsim::InfDocument document;  // substituted
};

std::shared_ptr<const COpenInf> FindInf(const void* handle) {
    return winsim::ObjectFromHandle<COpenInf>(const_cast<void*>(handle));
}

bool HasPathSeparator(const char* name) { return std::strchr(name, '\\') || std::strchr(name, '/'); }

// The file's text as ANSI: a UTF-16LE file (with its byte order mark) is converted through the ANSI
// code page, as SetupAPI's ANSI calls hand it back.
std::string DecodeInfText(const std::string& bytes) {
    if (bytes.size() < 2 || static_cast<unsigned char>(bytes[0]) != 0xFF ||
        static_cast<unsigned char>(bytes[1]) != 0xFE)
        return bytes;
    std::u16string wide((bytes.size() - 2) / 2, u'\0');
    for (size_t i = 0; i < wide.size(); ++i)
        wide[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 + 2 * i]) |
                                        (static_cast<unsigned char>(bytes[3 + 2 * i]) << 8));
    if (wide.empty()) return {};
    const DWORD saved = GetLastError();  // the conversion is an implementation detail of the open
    const int length = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string text(length > 0 ? static_cast<size_t>(length) : 0, '\0');
    if (length > 0)
        WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), text.data(), length, nullptr,
                            nullptr);
    SetLastError(saved);
    return text;
}

std::string DirectoryOf(const std::string& path) {
    const size_t slash = path.find_last_of('\\');
    if (slash == std::string::npos) return path;
    // "C:\x.inf" lies in "C:\", which keeps its backslash.
    return slash <= 2 ? path.substr(0, slash + 1) : path.substr(0, slash);
}

const winsim::InfLine* LineOf(const COpenInf& inf, const INFCONTEXT* context) {
    const auto& sections = inf.document.sections;
    if (context->Section >= sections.size()) return nullptr;
    const auto& lines = sections[context->Section].lines;
    return context->Line < lines.size() ? &lines[context->Line] : nullptr;
}

// The open file and line a context names, or nothing with the last error set.
std::shared_ptr<const COpenInf> ResolveContext(const INFCONTEXT* context, const winsim::InfLine** line) {
    if (!context) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto inf = FindInf(context->CurrentInf ? context->CurrentInf : context->Inf);
    if (!inf) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    *line = LineOf(*inf, context);
    if (!*line) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return inf;
}

// The first line at or after `from` in the section whose key matches, without regard to case.
int FindKeyFrom(const winsim::InfSection& section, size_t from, const char* key) {
    for (size_t i = from; i < section.lines.size(); ++i) {
        const auto& line = section.lines[i];
        if (line.hasKey && winsim::InfNamesEqual(line.key, key)) return static_cast<int>(i);
    }
    return -1;
}

// Hands a string back the SetupAPI way: the size needed (with its NUL) always goes to requiredSize;
// a null buffer only asks for that size; a short buffer fails and is left untouched.
BOOL ReturnString(const std::string& text, PSTR buffer, DWORD bufferSize, PDWORD requiredSize) {
    const DWORD needed = static_cast<DWORD>(text.size() + 1);
    if (requiredSize) *requiredSize = needed;
    if (buffer) {
        if (needed > bufferSize) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return FALSE;
        }
        std::memcpy(buffer, text.data(), text.size());
        buffer[text.size()] = '\0';
    }
    SetLastError(NO_ERROR);
    return TRUE;
}

std::string LineText(const winsim::InfLine& line) {
    std::string text;
    for (size_t i = 0; i < line.fields.size(); ++i) {
        if (i) text += ',';
        text += line.fields[i];
    }
    return text;
}

bool IsWin4Signature(const winsim::InfDocument& document) {
    const int version = document.FindSection("Version");
    if (version < 0) return false;
    const auto& section = document.sections[version];
    const int line = FindKeyFrom(section, 0, "Signature");
    if (line < 0) return false;
    const std::string& signature = section.lines[line].fields.front();
    return winsim::InfNamesEqual(signature, "$Chicago$") || winsim::InfNamesEqual(signature, "$Windows NT$") ||
           winsim::InfNamesEqual(signature, "$Windows 95$");
}

bool ClassMatches(const winsim::InfDocument& document, const char* infClass) {
    const int version = document.FindSection("Version");
    if (version < 0) return false;
    const auto& section = document.sections[version];
    const int line = FindKeyFrom(section, 0, "Class");
    return line >= 0 && winsim::InfNamesEqual(section.lines[line].fields.front(), infClass);
}

HINF FailOpen(DWORD error) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
}

}  // namespace

HINF SetupOpenInfFileA(PCSTR fileName, PCSTR infClass, DWORD infStyle, PUINT errorLine) {
    if (errorLine) *errorLine = 0;
    if (!fileName || !*fileName || (infStyle & ~(INF_STYLE_OLDNT | INF_STYLE_WIN4)))
        return FailOpen(ERROR_INVALID_PARAMETER);

    // A name with a path separator is a path (a relative one resolves against the current
    // directory); a bare name is looked for in %windir%\inf and then in the system directory, and
    // never in the current directory.
    std::string path;
    std::optional<std::string> bytes;
    if (HasPathSeparator(fileName)) {
        auto full = winsim::FullWindowsPath(fileName);
        if (!full) return FailOpen(ERROR_PATH_NOT_FOUND);
        path = *full;
        bytes = winsim::ReadWholeFile(path);
    } else {
        const auto& machine = winsim::Current();
        for (const std::string& folder : {machine.WindowsDirectory() + "\\INF", machine.SystemDirectory()}) {
            path = folder + "\\" + fileName;
            bytes = winsim::ReadWholeFile(path);
            if (bytes) break;
        }
    }
    if (!bytes) return FailOpen(ERROR_FILE_NOT_FOUND);

    const winsim::InfDocument raw = winsim::ParseInf(DecodeInfText(*bytes));
    if (raw.error) {
        if (errorLine) *errorLine = raw.errorLine;
        return FailOpen(raw.error);
    }

    auto inf = std::make_shared<COpenInf>();
    inf->path = path;
    const std::string infDirectory = DirectoryOf(path);
    inf->document = winsim::ExpandInf(raw, [&](long id) { return winsim::InfDirIdPath(id, infDirectory); });

    // The style is judged before stray text: a file without a signature is refused as the wrong style
    // even when it has text before its first section.
    // The signature is compared as written, before substitution.
    const bool win4 = IsWin4Signature(raw);
    const bool styleOk = infStyle == INF_STYLE_NONE || (win4 && (infStyle & INF_STYLE_WIN4)) ||
                         (!win4 && (infStyle & INF_STYLE_OLDNT));
    if (!styleOk) return FailOpen(ERROR_WRONG_INF_STYLE);

    // Text before the first section is an error, except in a file with a [Strings] section, which
    // SetupAPI then reads past.
    if (raw.strayLine && raw.FindSection("Strings") < 0) {
        if (errorLine) *errorLine = raw.strayLine;
        return FailOpen(ERROR_EXPECTED_SECTION_NAME);
    }

    if (infClass && *infClass && !ClassMatches(inf->document, infClass)) return FailOpen(ERROR_CLASS_MISMATCH);

    HINF handle = winsim::AddHandle(std::move(inf));
    SetLastError(NO_ERROR);
    return handle;
}

void SetupCloseInfFile(HINF inf) {
    // Closing leaves the thread's last error alone, and NULL or INVALID_HANDLE_VALUE do nothing.
    if (!inf || inf == INVALID_HANDLE_VALUE || !FindInf(inf)) return;
    CloseHandle(inf);
}

LONG SetupGetLineCountA(HINF inf, PCSTR section) {
    auto open = FindInf(inf);
    if (!open) {
        SetLastError(ERROR_INVALID_HANDLE);
        return -1;
    }
    const int index = section ? open->document.FindSection(section) : -1;
    if (index < 0) {
        SetLastError(ERROR_SECTION_NOT_FOUND);
        return -1;
    }
    SetLastError(NO_ERROR);
    return static_cast<LONG>(open->document.sections[index].lines.size());
}

BOOL SetupFindFirstLineA(HINF inf, PCSTR section, PCSTR key, PINFCONTEXT context) {
    auto open = FindInf(inf);
    if (!open) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!section || !context) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // A missing section and a section without the line both report ERROR_LINE_NOT_FOUND.
    const int index = open->document.FindSection(section);
    int line = -1;
    if (index >= 0) {
        const auto& lines = open->document.sections[index];
        line = key ? FindKeyFrom(lines, 0, key) : (lines.lines.empty() ? -1 : 0);
    }
    if (line < 0) {
        SetLastError(ERROR_LINE_NOT_FOUND);
        return FALSE;
    }
    context->Inf = inf;
    context->CurrentInf = inf;
    context->Section = static_cast<UINT>(index);
    context->Line = static_cast<UINT>(line);
    SetLastError(NO_ERROR);
    return TRUE;
}

BOOL SetupFindNextMatchLineA(const INFCONTEXT* contextIn, PCSTR key, PINFCONTEXT contextOut) {
    const winsim::InfLine* current = nullptr;
    auto open = ResolveContext(contextIn, &current);
    if (!open) return FALSE;
    if (!contextOut) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const auto& section = open->document.sections[contextIn->Section];
    const size_t from = contextIn->Line + size_t{1};
    const int line = key ? FindKeyFrom(section, from, key) : (from < section.lines.size() ? static_cast<int>(from) : -1);
    if (line < 0) {
        SetLastError(ERROR_LINE_NOT_FOUND);
        return FALSE;
    }
    // contextIn and contextOut may be the same structure.
    const INFCONTEXT next{contextIn->Inf, contextIn->CurrentInf, contextIn->Section, static_cast<UINT>(line)};
    *contextOut = next;
    SetLastError(NO_ERROR);
    return TRUE;
}

BOOL SetupFindNextLine(const INFCONTEXT* contextIn, PINFCONTEXT contextOut) {
    return SetupFindNextMatchLineA(contextIn, nullptr, contextOut);
}

BOOL SetupGetLineTextA(const INFCONTEXT* context, HINF inf, PCSTR section, PCSTR key, PSTR returnBuffer,
                       DWORD returnBufferSize, PDWORD requiredSize) {
    if (context) {
        const winsim::InfLine* line = nullptr;
        if (!ResolveContext(context, &line)) return FALSE;
        return ReturnString(LineText(*line), returnBuffer, returnBufferSize, requiredSize);
    }
    // Without a context the line is the first one with that key in that section.
    if (!section || !key) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto open = FindInf(inf);
    if (!open) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    const int index = open->document.FindSection(section);
    const int line = index < 0 ? -1 : FindKeyFrom(open->document.sections[index], 0, key);
    if (line < 0) {
        SetLastError(ERROR_LINE_NOT_FOUND);
        return FALSE;
    }
    return ReturnString(LineText(open->document.sections[index].lines[line]), returnBuffer, returnBufferSize,
                        requiredSize);
}

BOOL SetupGetStringFieldA(const INFCONTEXT* context, DWORD fieldIndex, PSTR returnBuffer, DWORD returnBufferSize,
                          PDWORD requiredSize) {
    const winsim::InfLine* line = nullptr;
    if (!ResolveContext(context, &line)) return FALSE;
    // Field 0 is the key; a line without one, like a field past the last, is an invalid index.
    if (fieldIndex == 0 ? !line->hasKey : fieldIndex > line->fields.size()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::string& text = fieldIndex == 0 ? line->key : line->fields[fieldIndex - 1];
    return ReturnString(text, returnBuffer, returnBufferSize, requiredSize);
}

DWORD SetupGetFieldCount(const INFCONTEXT* context) {
    const winsim::InfLine* line = nullptr;
    if (!ResolveContext(context, &line)) return 0;
    return static_cast<DWORD>(line->fields.size());
}

namespace winsim {

std::optional<std::string> InfDirIdPath(long id, const std::string& infDirectory) {
    const auto& machine = Current();
    const std::string windows = machine.WindowsDirectory();
    const std::string root = windows.substr(0, 2) + "\\";
    const bool nt = IsNtFamily(machine.Version());
    switch (id) {
    case 1: return infDirectory;
    case 10: return windows;
    case 11: return machine.SystemDirectory();
    // 95/98 keep their port and miniport drivers in the I/O subsystem folder.
    case 12: return nt ? machine.SystemDirectory() + "\\drivers" : machine.SystemDirectory() + "\\IOSUBSYS";
    case 17: return windows + "\\INF";
    case 18: return windows + "\\HELP";
    case 20: return windows + "\\FONTS";
    case 24: return root;
    case 25: return windows;  // the shared directory of a stand-alone installation
    case 30: return root;
    case 50: return windows + "\\SYSTEM";
    case 54:
        if (nt) return root;
        return std::nullopt;
    default: return std::nullopt;
    }
}

std::optional<OpenInfView> FindOpenInf(const void* handle) {
    auto inf = FindInf(handle);
    if (!inf) return std::nullopt;
    return OpenInfView{std::shared_ptr<const InfDocument>(inf, &inf->document), inf->path, DirectoryOf(inf->path)};
}

}  // namespace winsim
