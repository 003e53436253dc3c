// Removal of the reader's device nodes (and on Windows 95 of its registry records) before its driver
// is installed, and re-enumeration of the device tree afterwards.
#include "kvisinst/devices/devices.h"

#include "kvisinst/common/error.h"
#include "kvisinst/common/osversion.h"
#include "kvisinst/common/product.h"
#include "kvisinst/common/handle.h"
#include "kvisinst/common/text.h"
#include "kvisinst/exports.h"

#include <cstring>

namespace {

// Each list ends with an empty string. Hardware IDs and key names compare without regard to case.
const char* const kHardwareIdPatterns[] = {"USB\\VID_" KV_READER_USB_VENDOR_ID, ""};
const char* const kDeviceKeyPatterns[] = {"VID_" KV_READER_USB_VENDOR_ID, ""};

constexpr char kEnumUsb[] = "Enum\\USB";
constexpr char kClassTree[] = "System\\CurrentControlSet\\Services\\Class";
constexpr char kDriverValue[] = "Driver";
constexpr int kNameSize = 260;

bool MatchesAny(const char* text, const char* const* patterns) {
    for (; **patterns; ++patterns)
        if (StartsWithNoCase(text, *patterns)) return true;
    return false;
}

typedef LONG(WINAPI* BuildDriverDataBaseProc)(LONG);
typedef CONFIGRET(WINAPI* LocateDevNodeProc)(PDEVINST, DEVINSTID_A, ULONG);
typedef CONFIGRET(WINAPI* ReenumerateDevNodeProc)(DEVINST, ULONG);

// Deletes, in the class tree, the driver keys that the instances of one "Enum\USB" device name.
void RemoveDriverKeys(HKEY usb, const char* deviceName) {
    CRegKey device;
    if (device.Open(usb, deviceName, KEY_ALL_ACCESS) != ERROR_SUCCESS) return;
    char instanceName[kNameSize];
    for (DWORD i = 0;; ++i) {
        DWORD size = sizeof instanceName;
        if (RegEnumKeyExA(device, i, instanceName, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        CRegKey instance;
        if (instance.Open(device, instanceName, KEY_ALL_ACCESS) != ERROR_SUCCESS) continue;
        for (DWORD v = 0;; ++v) {
            char valueName[kNameSize];
            BYTE data[kNameSize + 1];
            DWORD nameSize = kNameSize;
            DWORD dataSize = kNameSize;
            DWORD type = REG_NONE;
            const LONG status = RegEnumValueA(instance, v, valueName, &nameSize, nullptr, &type, data, &dataSize);
            if (status == ERROR_MORE_DATA) continue;  // too long to be one of ours; the next may be
            if (status != ERROR_SUCCESS) break;
            // The value's type is not examined: its data is the name whatever type it was stored as.
            if (!EqualsNoCase(valueName, kDriverValue)) continue;
            data[dataSize] = '\0';  // stored strings need not carry their NUL
            const char* driverKey = reinterpret_cast<const char*>(data);
            // An empty name would make RegDeleteKeyA act on the class tree itself.
            if (!*driverKey) continue;
            CRegKey classTree;
            if (classTree.Open(HKEY_LOCAL_MACHINE, kClassTree, KEY_ALL_ACCESS) == ERROR_SUCCESS)
                RegDeleteKeyA(classTree, driverKey);
        }
    }
}

}  // namespace

int RemoveReaderDevices() {
    // All classes and no DIGCF_PRESENT: the devices Windows remembers but that are not attached are
    // listed too.
    CDeviceInfoSet set(SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES));
    if (!set) return 0;
    int removed = 0;
    SP_DEVINFO_DATA device;
    std::memset(&device, 0, sizeof device);
    device.cbSize = sizeof device;
    for (DWORD index = 0; SetupDiEnumDeviceInfo(set, index, &device); ++index) {
        BYTE ids[kNameSize + 2];
        if (!SetupDiGetDeviceRegistryPropertyA(set, &device, SPDRP_HARDWAREID, nullptr, ids, kNameSize, nullptr))
            continue;
        // Only the first (most specific) ID counts: a composite device whose compatible IDs mention
        // the vendor is not the reader.
        ids[kNameSize] = ids[kNameSize + 1] = '\0';
        if (MatchesAny(reinterpret_cast<const char*>(ids), kHardwareIdPatterns) &&
            SetupDiCallClassInstaller(DIF_REMOVE, set, &device))
            ++removed;
    }
    return removed;
}

void RemoveWin95UsbEntries() {
    CRegKey usb;
    try {
        if (usb.Open(HKEY_LOCAL_MACHINE, kEnumUsb, KEY_ALL_ACCESS) != ERROR_SUCCESS) return;
        char name[kNameSize];
        DWORD index = 0;
        for (;;) {
            DWORD size = sizeof name;
            if (RegEnumKeyExA(usb, index, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
            bool deleted = false;
            if (MatchesAny(name, kDeviceKeyPatterns)) {
                RemoveDriverKeys(usb, name);
                // On Windows 95 this takes the device's whole tree. The key that followed moves into
                // this index, so the index stays where it is.
                deleted = RegDeleteKeyA(usb, name) == ERROR_SUCCESS;
            }
            if (!deleted) ++index;
        }
    } catch (...) {
        // Nothing to report: the leftovers that remain do no harm beyond what they did before.
    }
}

int RemoveDevices() {
    try {
        const OSVERSIONINFOA version = GetOsVersionInfo();
        // NT 4 has no Plug and Play device tree to clean.
        if (version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion == 4) return 1;
        RemoveReaderDevices();
        if (version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS && version.dwMinorVersion == 0) RemoveWin95UsbEntries();
    } catch (...) {
    }
    return 1;
}

namespace {

// Windows 95/98: the product's support library rebuilds its driver database, so that the
// re-enumeration matches the reader with the new driver.
void RebuildDriverDataBase() {
    CRegKey product;
    if (product.Open(HKEY_LOCAL_MACHINE, kProductKey, KEY_READ) != ERROR_SUCCESS) return;
    // Room for a full 260-byte value and a NUL after it, for data stored without one.
    char productPath[kNameSize + 1];
    DWORD size = kNameSize;
    if (RegQueryValueExA(product, kProductPathValue, nullptr, nullptr, reinterpret_cast<BYTE*>(productPath), &size) !=
        ERROR_SUCCESS)
        return;
    productPath[size] = '\0';

    // Exactly one '\' between the folder and the name, whether or not the stored path ends in one.
    size_t length = std::strlen(productPath);
    while (length > 0 && productPath[length - 1] == '\\') --length;
    char libraryPath[kNameSize];
    HMODULE module = nullptr;
    if (length + 1 + std::strlen(kSupportLibraryName) < sizeof libraryPath) {
        std::memcpy(libraryPath, productPath, length);
        libraryPath[length] = '\\';
        std::strcpy(libraryPath + length + 1, kSupportLibraryName);
        module = LoadLibraryA(libraryPath);
    }
    // A path too long to name a file is a load that failed: the search order may still find it.
    if (!module) module = LoadLibraryA(kSupportLibraryName);
    const CLibrary library(module);
    if (!library) return;
    if (auto build = GetProcAddressAs<BuildDriverDataBaseProc>(library, kBuildDriverDataBaseName)) build(1);
}

// Re-enumerates the whole device tree and returns when Windows has finished.
void ReenumerateRoot() {
    const CLibrary configManager(LoadLibraryA("cfgmgr32.dll"));
    if (!configManager) return;
    const auto locate = GetProcAddressAs<LocateDevNodeProc>(configManager, "CM_Locate_DevNodeA");
    const auto reenumerate = GetProcAddressAs<ReenumerateDevNodeProc>(configManager, "CM_Reenumerate_DevNode");
    if (!locate || !reenumerate) return;
    DEVINST root = 0;
    if (locate(&root, nullptr, CM_LOCATE_DEVNODE_NORMAL) == CR_SUCCESS) reenumerate(root, CM_REENUMERATE_SYNCHRONOUS);
}

}  // namespace

void ReEnumerateDevices() {
    try {
        if (GetOsVersionInfo().dwPlatformId == VER_PLATFORM_WIN32_WINDOWS) RebuildDriverDataBase();
        ReenumerateRoot();
    } catch (...) {
    }
}
