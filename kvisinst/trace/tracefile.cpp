// The trace file sink.
#include "kvisinst/trace/tracefile.h"

#include "kvisinst/common/format.h"

#include "kvisinst/trace/cipher.h"
#include "kvisinst/trace/settings.h"

#include <cstdio>
#include <cstring>

namespace {

void CopyCut(char* out, const char* begin, const char* end) {
    if (!out) return;
    size_t n = static_cast<size_t>(end - begin);
    if (n > MAX_PATH - 1) n = MAX_PATH - 1;
    std::memcpy(out, begin, n);
    out[n] = '\0';
}

// The file's name: "FileName" as stored, or the one built from the program's and the library's
// module names. False when the built name would not fit in MAX_PATH.
bool ChooseTraceFilePath(HKEY key, char* path) {
    char stored[MAX_PATH + 1] = {};
    DWORD size = MAX_PATH;
    if (key && RegQueryValueExA(key, "FileName", nullptr, nullptr, reinterpret_cast<BYTE*>(stored), &size) ==
                   ERROR_SUCCESS) {
        // No expansion of environment variables, no directory made: the name is used as it is.
        CopyCut(path, stored, stored + std::strlen(stored));
        return true;
    }
    char program[MAX_PATH] = "", library[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, program, MAX_PATH);
    GetModuleFileNameA(g_traceSettings.Module, library, MAX_PATH);
    program[MAX_PATH - 1] = library[MAX_PATH - 1] = '\0';
    char programBase[MAX_PATH], drive[MAX_PATH], directory[MAX_PATH], base[MAX_PATH], extension[MAX_PATH];
    SplitModulePath(program, nullptr, nullptr, programBase, nullptr);
    SplitModulePath(library, drive, directory, base, extension);
    return FormatText(path, MAX_PATH, "%s%s%s.%s%s.trace", drive, directory, programBase, base, extension);
}

}  // namespace

void SplitModulePath(const char* path, char* drive, char* directory, char* base, char* extension) {
    const char* p = path;
    const char* driveEnd = p;
    if (p[0] && p[1] == ':') driveEnd = p + 2;
    CopyCut(drive, p, driveEnd);
    const char* nameStart = driveEnd;
    for (const char* q = driveEnd; *q; ++q)
        if (*q == '\\' || *q == '/') nameStart = q + 1;
    CopyCut(directory, driveEnd, nameStart);
    const char* end = nameStart + std::strlen(nameStart);
    const char* dot = end;
    for (const char* q = nameStart; *q; ++q)
        if (*q == '.') dot = q;
    CopyCut(base, nameStart, dot);
    CopyCut(extension, dot, end);
}

size_t ExpandTraceLine(const char* line, unsigned char* record) {
    // Two bytes stay free for the CR LF that ends every record, even a cut one.
    constexpr size_t kBody = kTraceRecordMax - 2;
    size_t textLength = std::strlen(line);
    if (textLength && line[textLength - 1] == '\n') --textLength;  // the line's own end, written below
    size_t length = 0;
    const char* p = line;
    const char* end = line + textLength;
    while (p < end) {
        // Runs of text between line feeds are copied whole.
        const char* lf = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
        const size_t run = static_cast<size_t>((lf ? lf : end) - p);
        const size_t fits = run < kBody - length ? run : kBody - length;
        std::memcpy(record + length, p, fits);
        length += fits;
        if (fits < run || !lf || length + 2 > kBody) break;
        record[length++] = '\r';
        record[length++] = '\n';
        p = lf + 1;
    }
    record[length++] = '\r';
    record[length++] = '\n';
    return length;
}

FileTraceSink::FileTraceSink() {
    const CRegKey key = OpenTracingKey();
    if (!ChooseTraceFilePath(key, Path)) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
    } else {
        const bool fresh = ReadTraceSwitch(key, "NewFileAlways", true);
        File.Reset(CreateFileA(Path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               fresh ? CREATE_ALWAYS : OPEN_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    }
    if (File) {
        DWORD written = 0;
        if (ReadTraceSwitch(key, "NewFileAlways", true)) {
            WriteFile(File, kTraceFileHeader, kTraceFileHeaderSize, &written, nullptr);
        } else {
            SetFilePointer(File, 0, nullptr, FILE_END);
            Append = true;
        }
    } else {
        // Once per process: this sink stays in place and drops every line from now on.
        char message[MAX_PATH + 64];
        FormatText(message, sizeof message, "Cannot create tracing file [%s] last error=0x%X", Path,
                      static_cast<unsigned>(GetLastError()));
        MessageBoxA(GetForegroundWindow(), message, "KVTrace", MB_OK);
    }
}

void FileTraceSink::Write(const char* line) {
    if (!File) return;
    // The record's length, then the record: two writes, as the file format has always been written.
    unsigned char prefix[4];
    unsigned char record[kTraceRecordMax];
    const size_t length = ExpandTraceLine(line, record);
    EncipherTraceRecord(record, length);
    StoreLe32(prefix, static_cast<uint32_t>(length));
    // In append mode several processes add to one file. Each handle keeps its own file position, so
    // the records another process added since this one last wrote would be overwritten from here;
    // holding the trace mutex, the end of the file is where this record belongs. (A fresh file is
    // emptied by every process that opens it, so it is not shared that way, and its lines cost only
    // their write.)
    if (Append) SetFilePointer(File, 0, nullptr, FILE_END);
    DWORD written = 0;
    WriteFile(File, prefix, sizeof prefix, &written, nullptr);
    WriteFile(File, record, static_cast<DWORD>(length), &written, nullptr);
}
