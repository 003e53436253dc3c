#include "kvisinst/common/osversion.h"

#include <cstring>

OSVERSIONINFOA GetOsVersionInfo() {
    OSVERSIONINFOA info;
    std::memset(&info, 0, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;
    GetVersionExA(&info);
    return info;
}
