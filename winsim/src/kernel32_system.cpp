// kernel32 basics: last error, version, clock, languages, code-page conversion, string helpers.
#include <winsim/machine.h>
#include <winsim/win32api.h>

#include <cctype>
#include <cstring>

namespace {

thread_local DWORD t_lastError = 0;

// The upper half of code page 1252, the ANSI code page of the machines simulated here (Western
// European). 0 marks the five bytes 1252 leaves undefined. Machines with a double-byte ANSI code page
// (Chinese, Korean) are not simulated: their characters convert to '?'.
const char16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char16_t AnsiToWide(unsigned char c) {
    if (c >= 0x80 && c < 0xA0) return kCp1252High[c - 0x80] ? kCp1252High[c - 0x80] : c;
    return c;
}

int WideToAnsi(char16_t w) {
    if (w < 0x80 || (w >= 0xA0 && w <= 0xFF)) return w;
    for (int i = 0; i < 32; ++i)
        if (kCp1252High[i] == w) return 0x80 + i;
    return -1;
}

bool IsAnsiCodePage(UINT codePage) { return codePage == CP_ACP || codePage == 1252; }

// Decodes one UTF-8 sequence; -1 for a malformed one.
long DecodeUtf8(const unsigned char*& p, const unsigned char* end) {
    const unsigned char c = *p++;
    if (c < 0x80) return c;
    int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : -1;
    if (extra < 0 || end - p < extra) return -1;
    long value = c & (0x3F >> extra);
    for (int i = 0; i < extra; ++i) {
        if ((p[i] & 0xC0) != 0x80) return -1;
        value = (value << 6) | (p[i] & 0x3F);
    }
    p += extra;
    return value;
}

}  // namespace

DWORD GetLastError() { return t_lastError; }
void SetLastError(DWORD error) { t_lastError = error; }

BOOL GetVersionExA(LPOSVERSIONINFOA info) {
    auto& machine = winsim::Current();
    if (!info || info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA) || machine.VersionQueryFails()) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    const auto& record = machine.Record();
    info->dwMajorVersion = record.major;
    info->dwMinorVersion = record.minor;
    info->dwBuildNumber = record.build;
    info->dwPlatformId = record.platformId;
    std::memset(info->szCSDVersion, 0, sizeof info->szCSDVersion);
    std::strncpy(info->szCSDVersion, record.csd.c_str(), sizeof info->szCSDVersion - 1);
    return TRUE;
}

void Sleep(DWORD milliseconds) { winsim::Current().Advance(milliseconds); }

DWORD GetTickCount() { return static_cast<DWORD>(winsim::Current().NowMs()); }

LANGID GetUserDefaultLangID() { return winsim::Current().DefaultLanguage(); }
LANGID GetSystemDefaultLangID() { return winsim::Current().DefaultLanguage(); }
UINT GetACP() { return 1252; }

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR text, int length, LPWSTR wide, int wideLength) {
    if (!text || wideLength < 0 || (wideLength > 0 && !wide) || (!IsAnsiCodePage(codePage) && codePage != CP_UTF8)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const size_t count = length < 0 ? std::strlen(text) + 1 : static_cast<size_t>(length);
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    const auto* end = p + count;
    int produced = 0;
    while (p < end) {
        char16_t units[2];
        int n = 1;
        if (codePage == CP_UTF8) {
            long cp = DecodeUtf8(p, end);
            if (cp < 0) {
                if (flags & MB_ERR_INVALID_CHARS) {
                    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
                    return 0;
                }
                cp = 0xFFFD;
            }
            if (cp >= 0x10000) {
                cp -= 0x10000;
                units[0] = static_cast<char16_t>(0xD800 + (cp >> 10));
                units[1] = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
                n = 2;
            } else {
                units[0] = static_cast<char16_t>(cp);
            }
        } else {
            units[0] = AnsiToWide(*p++);
        }
        if (wideLength > 0) {
            if (produced + n > wideLength) {
                SetLastError(ERROR_INSUFFICIENT_BUFFER);
                return 0;
            }
            for (int i = 0; i < n; ++i) wide[produced + i] = units[i];
        }
        produced += n;
    }
    return produced;
}

int WideCharToMultiByte(UINT codePage, DWORD, LPCWSTR wide, int wideLength, LPSTR text, int length,
                        LPCSTR defaultChar, LPBOOL usedDefault) {
    if (!wide || length < 0 || (length > 0 && !text) || (!IsAnsiCodePage(codePage) && codePage != CP_UTF8)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t count = 0;
    if (wideLength < 0) {
        while (wide[count]) ++count;
        ++count;
    } else {
        count = static_cast<size_t>(wideLength);
    }
    if (usedDefault) *usedDefault = FALSE;
    int produced = 0;
    for (size_t i = 0; i < count; ++i) {
        char bytes[4];
        int n = 0;
        const char16_t w = wide[i];
        if (codePage == CP_UTF8) {
            unsigned long cp = w;
            if (w >= 0xD800 && w < 0xDC00 && i + 1 < count && wide[i + 1] >= 0xDC00 && wide[i + 1] < 0xE000)
                cp = 0x10000 + ((w - 0xD800) << 10) + (wide[++i] - 0xDC00);
            if (cp < 0x80) {
                bytes[n++] = static_cast<char>(cp);
            } else if (cp < 0x800) {
                bytes[n++] = static_cast<char>(0xC0 | (cp >> 6));
                bytes[n++] = static_cast<char>(0x80 | (cp & 0x3F));
            } else if (cp < 0x10000) {
                bytes[n++] = static_cast<char>(0xE0 | (cp >> 12));
                bytes[n++] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
                bytes[n++] = static_cast<char>(0x80 | (cp & 0x3F));
            } else {
                bytes[n++] = static_cast<char>(0xF0 | (cp >> 18));
                bytes[n++] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
                bytes[n++] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
                bytes[n++] = static_cast<char>(0x80 | (cp & 0x3F));
            }
        } else {
            int c = WideToAnsi(w);
            if (c < 0) {
                c = defaultChar ? static_cast<unsigned char>(*defaultChar) : '?';
                if (usedDefault) *usedDefault = TRUE;
            }
            bytes[n++] = static_cast<char>(c);
        }
        if (length > 0) {
            if (produced + n > length) {
                SetLastError(ERROR_INSUFFICIENT_BUFFER);
                return 0;
            }
            std::memcpy(text + produced, bytes, static_cast<size_t>(n));
        }
        produced += n;
    }
    return produced;
}

LPSTR lstrcpynA(LPSTR dest, LPCSTR src, int max) {
    if (!dest || max <= 0) return dest;
    int i = 0;
    for (; i < max - 1 && src && src[i]; ++i) dest[i] = src[i];
    dest[i] = '\0';
    return dest;
}

int lstrlenA(LPCSTR text) { return text ? static_cast<int>(std::strlen(text)) : 0; }

int lstrcmpiA(LPCSTR a, LPCSTR b) {
    // Case-insensitive by the ASCII letters; the library compares only such names.
    for (;; ++a, ++b) {
        const int ca = std::tolower(static_cast<unsigned char>(*a));
        const int cb = std::tolower(static_cast<unsigned char>(*b));
        if (ca != cb || !ca) return ca < cb ? -1 : ca > cb ? 1 : 0;
    }
}

int lstrcmpA(LPCSTR a, LPCSTR b) {
    // The user locale's word sort, as far as the ASCII range goes: letters compare by the alphabet
    // whatever their case, and only when two texts differ in nothing else does a lower-case letter sort
    // before its capital ("abc" < "ABC" < "abd"). Digits and punctuation sort by their codes, which
    // puts '.' before the digits, as the locale does. The word sort's ignoring of '-' and '\'' is not
    // simulated.
    int tieBreak = 0;
    for (;; ++a, ++b) {
        const int ca = static_cast<unsigned char>(*a), cb = static_cast<unsigned char>(*b);
        const int la = std::tolower(ca), lb = std::tolower(cb);
        if (la != lb || !la) {
            if (la != lb) return la < lb ? -1 : 1;
            return tieBreak;
        }
        if (!tieBreak && ca != cb) tieBreak = std::islower(ca) ? -1 : 1;
    }
}
