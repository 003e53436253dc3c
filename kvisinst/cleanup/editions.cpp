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

// The three conditions that IsVer101 and IsVer102 share, in their order.
bool IsEarlyTesmirOrQuillexPro() {
    char version[kVersionSize + 1];
    if (ReadVersion(kTesmirSdkKey, version) && lstrcmpA(version, "1.0.000.000") == 0) return true;
    return KeyOpens(kTesmirIntegratorKey) || KeyOpens(kQuillexPro100Key);
}

bool Returning(const TraceScope& scope, bool result) {
    TraceMessage(scope, nullptr, result ? "Returning TRUE" : "Returning FALSE");
    return result;
}

}  // namespace

bool IsOrvelIntegrator() {
    TraceScope scope("IsOrvelIntegrator");
    for (const char* name : kOrvelIntegratorKeys)
        if (KeyOpens(name)) return Returning(scope, true);
    return Returning(scope, false);
}

bool IsVer101() {
    TraceScope scope("IsVer101");
    char version[kVersionSize + 1];
    const bool older = ReadVersion(kQuillexProKey, version) && lstrcmpA(version, "1.0.002.000") < 0;
    return Returning(scope, older || IsEarlyTesmirOrQuillexPro());
}

bool IsVer102() {
    TraceScope scope("IsVer102");
    char version[kVersionSize + 1];
    const bool is102 = ReadVersion(kQuillexProKey, version) && lstrcmpA(version, "1.0.003.000") < 0 &&
                       lstrcmpA(version, "1.0.002.000") >= 0;
    return Returning(scope, is102 || IsEarlyTesmirOrQuillexPro());
}

bool IsQuillexProInstalled() {
    char version[kVersionSize + 1];
    return ReadVersion(kQuillexProKey, version);
}
