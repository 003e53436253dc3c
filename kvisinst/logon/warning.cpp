// The logon-library warning: its language, its strings and its message box.
#include "kvisinst/logon/warning.h"

#include "kvisinst/common/format.h"
#include "kvisinst/common/module.h"

namespace {

constexpr WORD kEnglish = 1033;
constexpr int kStringCapacity = MAX_PATH;  // characters of a loaded string, terminator included
// A loaded string in the ANSI code page: up to two bytes for each of its characters.
constexpr int kNarrowStringSize = 2 * (kStringCapacity - 1) + 1;

struct LanguageRow {
    WORD primary;
    WORD resource;
};
const LanguageRow kLanguages[] = {
    {4, 1028}, {7, 1031}, {10, 1034}, {12, 2060}, {16, 1040}, {18, 1042},
};

// String `id` of the warning in `language`, in the ANSI code page, into `text`; empty when it
// cannot be loaded or converted.
void LoadWarningString(UINT id, WORD language, char (&text)[kNarrowStringSize]) {
    text[0] = '\0';
    if (language == kEnglish) {
        LoadStringA(LibraryModule(), id, text, kStringCapacity);
        return;
    }
    WCHAR wide[kStringCapacity];
    LoadStringForLanguage(LibraryModule(), id, wide, kStringCapacity, language);
    if (WideCharToMultiByte(CP_ACP, 0, wide, -1, text, kNarrowStringSize, nullptr, nullptr) == 0) text[0] = '\0';
}

}  // namespace

WORD GetResourceLanguage() {
    const WORD primary = GetUserDefaultLangID() & 0x3FF;
    for (const LanguageRow& row : kLanguages)
        if (row.primary == primary) return row.resource;
    return kEnglish;
}

int LoadStringForLanguage(HMODULE module, UINT id, LPWSTR buffer, int capacity, WORD language) {
    buffer[0] = 0;
    int length = 0;
    const HRSRC block = FindResourceExA(module, RT_STRING, MAKEINTRESOURCEA(id / 16 + 1), language);
    if (block) {
        const HGLOBAL loaded = LoadResource(module, block);
        // Read as 16-bit units, never past the block's size: a damaged block ends the walk.
        const WORD* const units = loaded ? static_cast<const WORD*>(LockResource(loaded)) : nullptr;
        const size_t count = units ? SizeofResource(module, block) / sizeof(WORD) : 0;
        size_t at = 0;
        for (UINT skip = id % 16; skip > 0 && at < count; --skip) at += 1 + units[at];
        if (at < count) {
            length = units[at++];
            int copied = 0;
            for (; copied < length && copied < capacity - 1 && at + copied < count && units[at + copied]; ++copied)
                buffer[copied] = static_cast<WCHAR>(units[at + copied]);
            buffer[copied] = 0;
        }
        if (loaded) FreeResource(loaded);
    }
    if (length != 0) return length;

    char narrow[kStringCapacity];
    const int count = LoadStringA(module, id, narrow, kStringCapacity);
    if (count <= 0) return count;
    WCHAR wide[kStringCapacity];
    const int converted = MultiByteToWideChar(CP_ACP, 0, narrow, -1, wide, kStringCapacity);
    int copied = 0;
    for (; copied + 1 < converted && copied < capacity - 1; ++copied) buffer[copied] = wide[copied];
    buffer[copied] = 0;
    return count;
}

int ShowGinaWarning(const char* ginaValue) {
    const WORD language = GetResourceLanguage();
    char format[kNarrowStringSize];
    LoadWarningString(IDS_WARNING_TEXT, language, format);
    char text[kWarningTextSize];
    FormatText(text, sizeof text, format, ginaValue);
    char caption[kNarrowStringSize];
    LoadWarningString(IDS_WARNING_CAPTION, language, caption);
    return MessageBoxA(nullptr, text, caption, MB_OKCANCEL | MB_ICONINFORMATION);
}
