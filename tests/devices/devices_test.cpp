// Removal of the reader's device nodes and Windows 95 registry records, and the re-enumeration of the
// device tree, on every Windows version.
#include "kvisinst/common/product.h"
#include "kvisinst/devices/devices.h"
#include "kvisinst/exports.h"
#include "shared/registry_testing.h"

#include <winsim/devices.h>
#include <winsim/loader.h>
#include <winsim/machine.h>
#include <winsim/registry.h>
#include <winsim/win32api.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using winsim::DeviceNode;
using winsim::OsVersion;

namespace {

const std::string kVid = KV_READER_USB_VENDOR_ID;
const std::string kReader = "USB\\VID_" + kVid + "&PID_0001";  // the reader's hardware ID
const std::string kClassTree = "System\\CurrentControlSet\\Services\\Class\\";

DeviceNode Node(const std::string& id, std::vector<std::string> hardwareIds, bool present = true) {
    DeviceNode node;
    node.instanceId = id;
    node.hardwareIds = std::move(hardwareIds);
    node.present = present;
    return node;
}

std::vector<std::string> Ids(winsim::Machine& machine) {
    std::vector<std::string> ids;
    for (const auto& node : winsim::DevicesOf(machine).Nodes()) ids.push_back(node.instanceId);
    return ids;
}

void LoadReg(winsim::Machine& machine, const std::string& body) {
    std::string error;
    ASSERT_TRUE(machine.Reg().LoadRegText("REGEDIT4\r\n\r\n" + body, &error)) << error;
}

TEST(RemoveDevices, RemovesTheReadersNodesByTheirFirstHardwareIdOnEveryPlugAndPlayVersion) {
    // What stays: a reader node that refuses removal (the others go all the same), and the rest.
    const std::vector<std::string> kept = {kReader + "\\5&0", "USB\\VID_0AAA&PID_0007\\6&1",
                                           "HID\\VID_046D&PID_C016\\7&1", "ROOT\\LEGACY_BEEP\\0000"};
    for (auto version : {OsVersion::Win95, OsVersion::Win98, OsVersion::NT4, OsVersion::Win2000, OsVersion::WinXP}) {
        const char* name = winsim::OsVersionName(version);
        winsim::ScopedMachine machine(version);
        // The reader (attached, and once more as a node Windows remembers), a second product of the
        // vendor in lower case, a composite device that lists the vendor only in its second ID, a mouse.
        auto& tree = winsim::DevicesOf(*machine);
        // On 98, a registry record without its node: only the nodes' own records go.
        if (version == OsVersion::Win98) tree.AddRegistryRecord(Node(kReader + "\\1", {kReader}));
        DeviceNode stuck = Node(kReader + "\\5&0", {kReader});
        stuck.removalFails = true;
        tree.Add(stuck);
        tree.Add(Node(kReader + "\\5&1", {kReader + "&REV_0100", kReader}));
        tree.Add(Node(kReader + "\\5&2", {kReader + "&REV_0100"}, false));
        tree.Add(Node("USB\\VID_0AAA&PID_0007\\6&1", {"USB\\VID_0AAA&PID_0007", kReader}));
        tree.Add(Node("USB\\VID_" + kVid + "&PID_0002\\6&2", {"usb\\vid_" + kVid + "&pid_0002"}));
        tree.Add(Node("HID\\VID_046D&PID_C016\\7&1", {"HID\\VID_046D&PID_C016"}));
        tree.Add(Node("ROOT\\LEGACY_BEEP\\0000", {}));
        const size_t before = tree.Nodes().size();
        EXPECT_EQ(1, RemoveDevices()) << name;
        if (version == OsVersion::NT4) {
            EXPECT_EQ(before, tree.Nodes().size()) << name << ": NT 4 has no device tree to clean";
            continue;
        }
        EXPECT_EQ(kept, Ids(*machine)) << name;
        EXPECT_EQ(0u, winsim::OpenDeviceInfoSets()) << name;
        if (version == OsVersion::Win98) {
            EXPECT_TRUE(HklmKeyExists("Enum\\" + kReader + "\\1"));
            EXPECT_TRUE(HklmKeyExists(kClassTree + "USB\\0000"));
        }
    }
}

// Windows 95's registry records of USB devices: "Enum\USB\<device>\<instance>" with a "Driver"
// value naming a key of the class tree ("USB\0000", "USB\0001", ... in the order they are added).
TEST(RemoveDevices, Windows95LeftoversGoEvenWhenAdjacentAndWithTheirDriverKeys) {
    winsim::ScopedMachine machine(OsVersion::Win95);
    const std::string devices[] = {"VID_0AAA&PID_0007", "VID_" + kVid + "&PID_0001", "vid_" + kVid + "&pid_0002",
                                   "VID_0BBB&PID_0001", "VID_" + kVid + "&PID_0003", "VID_" + kVid + "&PID_0003"};
    for (size_t i = 0; i < std::size(devices); ++i)
        winsim::DevicesOf(*machine).AddRegistryRecord(
            Node("USB\\" + devices[i] + "\\" + std::to_string(i), {"USB\\" + devices[i]}));
    EXPECT_EQ(1, RemoveDevices());
    EXPECT_TRUE(HklmKeyExists("Enum\\USB\\VID_0AAA&PID_0007"));
    EXPECT_TRUE(HklmKeyExists("Enum\\USB\\VID_0BBB&PID_0001"));
    for (const char* pid : {"1", "2", "3"})
        EXPECT_FALSE(HklmKeyExists("Enum\\USB\\VID_" + kVid + "&PID_000" + pid)) << pid;
    for (const char* key : {"0000", "0003"}) EXPECT_TRUE(HklmKeyExists(kClassTree + "USB\\" + key)) << key;
    for (const char* key : {"0001", "0002", "0004", "0005"})
        EXPECT_FALSE(HklmKeyExists(kClassTree + "USB\\" + key)) << key;
}

TEST(RemoveDevices, Windows95RecordsWithoutDriverValuesOrWithoutEnumTree) {
    winsim::ScopedMachine machine(OsVersion::Win95);
    LoadReg(*machine, "[HKEY_LOCAL_MACHINE\\Enum\\USB\\VID_" + kVid + "&PID_0001\\1]\r\n\"DRIVER\"=\"USB\\\\0007\"\r\n\r\n"
                      "[HKEY_LOCAL_MACHINE\\Enum\\USB\\VID_" + kVid + "&PID_0001\\2]\r\n\"Driver\"=\"\"\r\n\r\n"
                      "[HKEY_LOCAL_MACHINE\\" + kClassTree + "USB\\0007]\r\n\r\n"
                      "[HKEY_LOCAL_MACHINE\\" + kClassTree + "USB\\0008]\r\n\r\n");
    EXPECT_EQ(1, RemoveDevices());
    EXPECT_FALSE(HklmKeyExists("Enum\\USB\\VID_" + kVid + "&PID_0001"));
    EXPECT_FALSE(HklmKeyExists(kClassTree + "USB\\0007")) << "the value name compares without regard to case";
    EXPECT_TRUE(HklmKeyExists(kClassTree + "USB\\0008"));
    EXPECT_TRUE(HklmKeyExists(kClassTree)) << "an empty Driver names nothing";

    winsim::ScopedMachine bare(OsVersion::Win95);
    EXPECT_EQ(1, RemoveDevices());  // no "Enum\USB" at all: nothing to do
}

// The product's support library, as a simulated module whose export records its calls.
std::vector<LONG> g_builds;
LONG WINAPI BuildDriverDataBase(LONG argument) {
    g_builds.push_back(argument);
    return 1;
}
const winsim::ExportEntry kSupportExports[] = {
    {"BuildDriverDataBase", reinterpret_cast<void (*)()>(&BuildDriverDataBase)}, {nullptr, nullptr}};
const winsim::ExportEntry kNoExports[] = {{nullptr, nullptr}};

// A DLL on the machine's disk, registered and not loaded; the caller unregisters it.
HMODULE OnDisk(const char* fileName, const winsim::ExportEntry* exports) {
    winsim::ModuleImage image;
    image.fileName = fileName;
    image.exports = exports;
    HMODULE module = winsim::RegisterModule(image);
    FreeLibrary(module);
    return module;
}

const char kProduct[] = "\"C:\\\\Program Files\\\\Korvane\"";  // .reg data of "ProductPath"
const char kInProduct[] = "C:\\Program Files\\Korvane\\kvthk32.dll";
const char kInSystem[] = "C:\\WINDOWS\\SYSTEM\\kvthk32.dll";

const struct {
    const char* name;
    OsVersion version;
    const char* productPath;      // .reg data of "ProductPath"; nullptr: no value
    const char* libraryLocation;  // where kvthk32.dll is; nullptr: nowhere
    const winsim::ExportEntry* exports;
    std::vector<LONG> builds;
    size_t reenumerations;
} kReEnumerateCases[] = {
    {"98, path with trailing backslash", OsVersion::Win98, "\"C:\\\\Program Files\\\\Korvane\\\\\"", kInProduct,
     kSupportExports, {1}, 1},
    {"98, path without trailing backslash", OsVersion::Win98, kProduct, kInProduct, kSupportExports, {1}, 1},
    {"95, path of the drive's root", OsVersion::Win95, "\"C:\\\\\"", "C:\\kvthk32.dll", kSupportExports, {1}, 0},
    {"98, no ProductPath: the library is not loaded at all", OsVersion::Win98, nullptr, kInSystem, kSupportExports, {}, 1},
    {"98, library found by name in the system directory", OsVersion::Win98, kProduct, kInSystem, kSupportExports, {1}, 1},
    {"98, library nowhere", OsVersion::Win98, kProduct, nullptr, kSupportExports, {}, 1},
    {"98, library without the export", OsVersion::Win98, kProduct, kInProduct, kNoExports, {}, 1},
    {"98, ProductPath not a string", OsVersion::Win98, "dword:00000001", kInProduct, kSupportExports, {}, 1},
    {"NT 4: no support library, no configuration manager", OsVersion::NT4, kProduct, kInProduct, kSupportExports, {}, 0},
    {"2000: no support library", OsVersion::Win2000, kProduct, kInProduct, kSupportExports, {}, 1},
};

TEST(ReEnumerateDevices, SupportLibraryOn9xThenRootReenumeration) {
    for (size_t i = 0; i < std::size(kReEnumerateCases); ++i) {
        const auto& row = kReEnumerateCases[i];
        SCOPED_TRACE(testing::Message() << i << ": " << row.name);
        winsim::ScopedMachine machine(row.version);
        if (row.productPath) {
            LoadReg(*machine, std::string("[HKEY_LOCAL_MACHINE\\") + kProductKey + "]\r\n\"" + kProductPathValue +
                                  "\"=" + row.productPath + "\r\n\r\n");
        }
        HMODULE library = row.libraryLocation ? OnDisk(row.libraryLocation, row.exports) : nullptr;
        g_builds.clear();

        ReEnumerateDevices();
        EXPECT_EQ(row.builds, g_builds);
        EXPECT_EQ(row.reenumerations, winsim::DevicesOf(*machine).Reenumerations().size());
        for (ULONG flags : winsim::DevicesOf(*machine).Reenumerations())
            EXPECT_EQ(static_cast<ULONG>(CM_REENUMERATE_SYNCHRONOUS), flags) << "waits for the enumeration's end";
        // Everything loaded for the call was unloaded again.
        EXPECT_EQ(nullptr, GetModuleHandleA("kvthk32.dll"));
        EXPECT_EQ(nullptr, GetModuleHandleA("cfgmgr32.dll"));
        if (library) winsim::UnregisterModule(library);
    }
}

// No root node to be found, or no configuration manager on the machine: the call returns quietly.
TEST(ReEnumerateDevices, NothingHappensWithoutTheRootOrTheConfigurationManager) {
    winsim::ScopedMachine machine(OsVersion::Win2000);
    winsim::DevicesOf(*machine).SetRootLocateFails(true);
    ReEnumerateDevices();
    winsim::DevicesOf(*machine).SetRootLocateFails(false);
    winsim::DevicesOf(*machine).SetConfigManagerInstalled(false);
    ReEnumerateDevices();
    EXPECT_TRUE(winsim::DevicesOf(*machine).Reenumerations().empty());
}

}  // namespace
