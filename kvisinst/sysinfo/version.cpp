// CFileVersion, GetServicePackNumber and IsVer100.
#include "kvisinst/sysinfo/version.h"

#include "kvisinst/common/format.h"
#include "kvisinst/exports.h"
#include "kvisinst/trace/trace.h"

#include <cstring>
#include <new>

namespace {

constexpr DWORD kFixedInfoSignature = 0xFEEF04BD;
constexpr WORD kDefaultLanguage = 0x0409;
constexpr WORD kDefaultCodePage = 1252;

// The logon components IsVer100 examines, in order, and release 1.0's product version.
const char* const kVersion100Files[] = {"KVGina.dll", "KVNP.dll"};
constexpr char kVersion100ProductVersion[] = "RC 1.0.33, February 3rd, 2000";

constexpr WCHAR kServicePack[] = {'S', 'e', 'r', 'v', 'i', 'c', 'e', ' ', 'P', 'a', 'c', 'k', 0};
constexpr size_t kServicePackLength = sizeof kServicePack / sizeof kServicePack[0] - 1;

bool StartsWith(const WCHAR* text, const WCHAR* prefix) {
    for (; *prefix; ++text, ++prefix)
        if (*text != *prefix) return false;
    return true;
}

bool IsCSpace(WCHAR c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// atol's reading, saturating at the 32-bit limits.
LONG ParseDecimal(const WCHAR* text) {
    while (IsCSpace(*text)) ++text;
    const bool negative = *text == '-';
    if (*text == '-' || *text == '+') ++text;
    // Accumulated as a negative number, whose range reaches the most negative value.
    const long long limit = negative ? -2147483648LL : -2147483647LL;
    long long value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        value = value * 10 - (*text - '0');
        if (value < limit) {
            value = limit;
            break;
        }
    }
    return static_cast<LONG>(negative ? value : -value);
}

}  // namespace

BOOL CFileVersion::Load(const char* fileName) {
    codePage_ = kDefaultCodePage;
    language_ = kDefaultLanguage;
    std::memset(&fixed_, 0, sizeof fixed_);
    data_.reset();

    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeA(fileName, &handle);
    if (size == 0) return FALSE;
    data_.reset(new (std::nothrow) BYTE[size]);
    if (!data_ || !GetFileVersionInfoA(fileName, 0, size, data_.get())) return FALSE;

    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(data_.get(), "\\", &value, &length)) return FALSE;
    // No more than the resource holds: a damaged one with a short root block leaves the rest zero.
    std::memcpy(&fixed_, value, length < sizeof fixed_ ? length : sizeof fixed_);
    if (VerQueryValueA(data_.get(), "\\VarFileInfo\\Translation", &value, &length) && length >= 4) {
        DWORD translation;
        std::memcpy(&translation, value, sizeof translation);
        language_ = LOWORD(translation);
        codePage_ = HIWORD(translation);
    }
    return fixed_.dwSignature == kFixedInfoSignature ? TRUE : FALSE;
}

const char* CFileVersion::GetStringValue(const char* name) const {
    if (!data_) return nullptr;
    char path[MAX_PATH];
    if (!FormatText(path, sizeof path, "\\StringFileInfo\\%04x%04x\\%s", language_, codePage_, name)) return nullptr;
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(data_.get(), path, &value, &length)) return nullptr;
    return static_cast<const char*>(value);
}

int GetServicePackNumber() {
    OSVERSIONINFOA version;
    std::memset(&version, 0, sizeof version);
    version.dwOSVersionInfoSize = sizeof version;
    if (!GetVersionExA(&version)) return 0;
    // Searched in its wide form, which keeps the ANSI code page's double-byte characters whole: a
    // trail byte that happens to be an 'S' starts no match.
    version.szCSDVersion[sizeof version.szCSDVersion - 1] = '\0';
    WCHAR csd[sizeof version.szCSDVersion];
    if (MultiByteToWideChar(CP_ACP, 0, version.szCSDVersion, -1, csd, sizeof version.szCSDVersion) == 0) return 0;
    for (const WCHAR* at = csd; *at; ++at)
        if (StartsWith(at, kServicePack)) return ParseDecimal(at + kServicePackLength);
    return 0;
}

int IsVer100() {
    int result = 0;
    try {
        TraceScope scope("IsVer100");
        CFileVersion version;
        for (const char* fileName : kVersion100Files) {
            if (!version.Load(fileName)) continue;
            const char* productVersion = version.GetStringValue("ProductVersion");
            if (productVersion && std::strcmp(productVersion, kVersion100ProductVersion) == 0) result = 1;
            version.Release();
        }
        TraceMessage(scope, nullptr, "%s", result ? "IT IS!" : "IT IS NOT!");
    } catch (...) {
        // Only the trace record's construction raises, before any file is read.
    }
    return result;
}
