#include "kvisinst/cleanup/editions.h"

#include "kvisinst/common/handle.h"
#include "kvisinst/trace/trace.h"

namespace {

const char* const kOrvelIntegratorKeys[] = {
    "SOFTWARE\\Korvane\\Quillex Integrator Software-Orvel Edition V2.0.0",
    "SOFTWARE\\Korvane\\Quillex Integrator Software-Orvel Edition V2.0.1",
    "SOFTWARE\\Korvane\\Quillex Integrator Software-Orvel Edition V2.0.2",
};
constexpr char kQuillexProKey[] = "Software\\Korvane\\QuillexPro";
constexpr char kTesmirSdkKey[] = "SOFTWARE\\Korvane\\TesmirSDK";
constexpr char kTesmirIntegratorKey[] = "SOFTWARE\\Korvane\\Tesmir Integrator\\1.0.000";
constexpr char kQuillexPro100Key[] = "SOFTWARE\\Korvane\\Quillex Pro\\1.0.000";
constexpr char kVersionValue[] = "Version";
constexpr DWORD kVersionSize = 260;

bool KeyOpens(const char* name) {
    CRegKey key;
    return key.Open(HKEY_LOCAL_MACHINE, name, KEY_READ) == ERROR_SUCCESS;
}

// The key's "Version", whatever its registry type, NUL-terminated in `version`.
bool ReadVersion(const char* keyName, char (&version)[kVersionSize + 1]) {
    CRegKey key;
    if (key.Open(HKEY_LOCAL_MACHINE, keyName, KEY_READ) != ERROR_SUCCESS) return false;
    DWORD size = kVersionSize;
    if (RegQueryValueExA(key, kVersionValue, nullptr, nullptr, reinterpret_cast<BYTE*>(version), &size) !=
        ERROR_SUCCESS)
        return false;
    // Stored strings need not carry their NUL.
    version[size < kVersionSize ? size : kVersionSize] = '\0';
    return true;
}

bool Returning(const TraceScope& scope, bool result) {
    TraceMessage(scope, nullptr, result ? "Returning TRUE" : "Returning FALSE");
    return result;
}

// IsVer101 and IsVer102: Quillex Pro's "Version" sorts from `from` (or anything, when null) up to
// before `before`; or one of the three conditions both share, in their order.
bool IsEarlyEdition(const char* name, const char* from, const char* before) {
    TraceScope scope(name);
    char version[kVersionSize + 1];
    bool result = ReadVersion(kQuillexProKey, version) && lstrcmpA(version, before) < 0 &&
                  (!from || lstrcmpA(version, from) >= 0);
    result = result || (ReadVersion(kTesmirSdkKey, version) && lstrcmpA(version, "1.0.000.000") == 0) ||
             KeyOpens(kTesmirIntegratorKey) || KeyOpens(kQuillexPro100Key);
    return Returning(scope, result);
}

}  // namespace

bool IsOrvelIntegrator() {
    TraceScope scope("IsOrvelIntegrator");
    bool result = false;
    for (const char* name : kOrvelIntegratorKeys)
        if ((result = KeyOpens(name))) break;
    return Returning(scope, result);
}

bool IsVer101() { return IsEarlyEdition("IsVer101", nullptr, "1.0.002.000"); }

bool IsVer102() { return IsEarlyEdition("IsVer102", "1.0.002.000", "1.0.003.000"); }

bool IsQuillexProInstalled() {
    char version[kVersionSize + 1];
    return ReadVersion(kQuillexProKey, version);
}
