// The trace file: where it lies, how it is opened, and how a line becomes a record (its layout is in
// traceformat.h).
#pragma once

#include "kvisinst/common/handle.h"
#include "kvisinst/trace/sink.h"
#include "kvisinst/trace/traceformat.h"

#include <cstddef>

// Splits a module path as the C runtime's _splitpath does, into buffers of MAX_PATH bytes (any may be
// null): drive ("C:"), directory with its trailing backslash, base name, extension with its dot.
void SplitModulePath(const char* path, char* drive, char* directory, char* base, char* extension);

// The record bytes of one line (without its length): each LF becomes CR LF. A line that would not
// fit in kTraceRecordMax bytes is cut, and still ends in CR LF. Returns the byte count.
size_t ExpandTraceLine(const char* line, unsigned char* record);

// The trace file named by "FileName", or by default beside the library and named after the program
// and the library: C:\WINNT\System32\setup.KVISINST.DLL.trace for C:\Setup\setup.exe loading
// C:\WINNT\System32\KVISINST.DLL. Opened fresh (with the header) or appended to, by "NewFileAlways".
// When it can't be created, a message box says so, once, and every line is dropped.
class FileTraceSink : public TraceSink {
public:
    FileTraceSink();

    void Write(const char* line) override;

private:
    CFileHandle File;
    char Path[MAX_PATH] = "";
    bool Append = false;  // opened in append mode: other processes may write to the file too
};
