// kvtestsrv: an executable COM server. Started with "/UnRegServer" it deletes
// HKCU\Software\KvTest\<its own file name>; started otherwise it does nothing. The command line is
// read whole: the caller may give it without the program's name in front, and then the C runtime
// would take the switch for the program name.
#include <windows.h>

namespace {

// ASCII letters only: that is all a switch holds.
bool StartsWithIgnoringCase(const char* text, const char* prefix) {
    for (; *prefix; ++text, ++prefix)
        if ((*text | 0x20) != (*prefix | 0x20)) return false;
    return true;
}

}  // namespace

int main() {
    bool unregister = false;
    for (const char* p = GetCommandLineA(); *p && !unregister; ++p)
        unregister = StartsWithIgnoringCase(p, "/UnRegServer");
    if (!unregister) return 1;
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    const char* name = path;
    for (const char* p = path; *p; ++p)
        if (*p == '\\' || *p == '/') name = p + 1;
    char key[MAX_PATH + 20] = "Software\\KvTest\\";
    lstrcatA(key, name);
    return RegDeleteKeyA(HKEY_CURRENT_USER, key) == ERROR_SUCCESS ? 0 : 2;
}
