#include "kvisinst/inf/platform.h"

#include "kvisinst/common/osversion.h"

#include <cstring>

int GetOsClass() {
    const OSVERSIONINFOA info = GetOsVersionInfo();
    if (info.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS) {
        if (info.dwMajorVersion < 4 || (info.dwMajorVersion == 4 && info.dwMinorVersion == 0)) return OS_WIN95;
        return OS_WIN98;
    }
    if (info.dwPlatformId == VER_PLATFORM_WIN32_NT) {
        if (info.dwMajorVersion == 4) return OS_NT4;
        if (info.dwMajorVersion > 4) return OS_WIN2000;
    }
    return OS_UNKNOWN;
}

void GetPlatformSection(HINF inf, LPCSTR base, LPSTR out) {
    static const char* const kSuffix[] = {"", ".win95", ".win98", ".ntx86", ".nt5x86"};
    // The decorated name is cut to the buffer; a name cut that way names no real section.
    char decorated[kSectionNameSize];
    lstrcpynA(decorated, base, kSectionNameSize);
    const size_t used = std::strlen(decorated);
    lstrcpynA(decorated + used, kSuffix[GetOsClass()], static_cast<int>(kSectionNameSize - used));

    if (SetupGetLineCountA(inf, decorated) != -1) {
        lstrcpynA(out, decorated, kSectionNameSize);
    } else if (out != base) {
        lstrcpynA(out, base, kSectionNameSize);
    }
}
