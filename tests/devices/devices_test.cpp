// Removal of the reader's device nodes and Windows 95 registry records, and the re-enumeration of the
// device tree, on every Windows version.
#include "kvisinst/common/product.h"
#include "kvisinst/devices/devices.h"
#include "kvisinst/exports.h"

#include <winsim/devices.h>
#include <winsim/loader.h>
#include <winsim/machine.h>
#include <winsim/registry.h>
#include <winsim/win32api.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using winsim::DeviceNode;
using winsim::OsVersion;

namespace {

const std::string kVid = KV_READER_USB_VENDOR_ID;

DeviceNode Node(const std::string& id, std::vector<std::string> hardwareIds, bool present = true) {
    DeviceNode node;
    node.instanceId = id;
    node.hardwareIds = std::move(hardwareIds);
    node.present = present;
    node.description = "device " + id;
    return node;
}

std::vector<std::string> Ids(const winsim::DeviceTree& tree) {
    std::vector<std::string> ids;
    for (const auto& node : tree.Nodes()) ids.push_back(node.instanceId);
    return ids;
}

// The reader (attached, and once more as a node Windows remembers), a second product of the vendor,
// a composite device that lists the vendor only in its second ID, a lower-case ID, and a mouse.
void AddDevices(winsim::DeviceTree& tree) {
    tree.Add(Node("USB\\VID_" + kVid + "&PID_0001\\5&1", {"USB\\VID_" + kVid + "&PID_0001&REV_0100", "USB\\VID_" + kVid + "&PID_0001"}));
    tree.Add(Node("USB\\VID_" + kVid + "&PID_0001\\5&2", {"USB\\VID_" + kVid + "&PID_0001&REV_0100"}, false));
    tree.Add(Node("USB\\VID_0AAA&PID_0007\\6&1", {"USB\\VID_0AAA&PID_0007", "USB\\VID_" + kVid + "&PID_0001"}));
    tree.Add(Node("USB\\VID_" + kVid + "&PID_0002\\6&2", {"usb\\vid_" + kVid + "&pid_0002"}));
    tree.Add(Node("HID\\VID_046D&PID_C016\\7&1", {"HID\\VID_046D&PID_C016"}));
    tree.Add(Node("ROOT\\LEGACY_BEEP\\0000", {}));
}

const std::vector<std::string> kNotReader = {"USB\\VID_0AAA&PID_0007\\6&1", "HID\\VID_046D&PID_C016\\7&1",
                                             "ROOT\\LEGACY_BEEP\\0000"};

TEST(RemoveDevices, RemovesTheReadersNodesByTheirFirstHardwareIdOnEveryPlugAndPlayVersion) {
    const std::pair<OsVersion, bool> rows[] = {
        {OsVersion::Win95, true}, {OsVersion::Win98, true}, {OsVersion::NT4, false}, {OsVersion::Win2000, true},
        {OsVersion::WinXP, true}};
    for (const auto& [version, removes] : rows) {
        const char* name = winsim::OsVersionName(version);
        winsim::ScopedMachine machine(version);
        AddDevices(winsim::DevicesOf(*machine));
        const std::vector<std::string> before = Ids(winsim::DevicesOf(*machine));
        EXPECT_EQ(1, RemoveDevices()) << name;
        if (!removes) {
            EXPECT_EQ(before, Ids(winsim::DevicesOf(*machine))) << name << ": NT 4 has no device tree to clean";
            EXPECT_TRUE(winsim::DevicesOf(*machine).Removed().empty()) << name;
            continue;
        }
        EXPECT_EQ(kNotReader, Ids(winsim::DevicesOf(*machine))) << name;
        EXPECT_EQ(3u, winsim::DevicesOf(*machine).Removed().size()) << name;
        EXPECT_EQ(0u, winsim::OpenDeviceInfoSets()) << name;
    }
}

TEST(RemoveDevices, ADeviceThatRefusesRemovalDoesNotStopTheOthersAndTheCountIsOfRemovals) {
    winsim::ScopedMachine machine(OsVersion::Win2000);
    DeviceNode stuck = Node("USB\\VID_" + kVid + "&PID_0001\\1", {"USB\\VID_" + kVid + "&PID_0001"});
    stuck.removalFails = true;
    winsim::DevicesOf(*machine).Add(stuck);
    winsim::DevicesOf(*machine).Add(Node("USB\\VID_" + kVid + "&PID_0001\\2", {"USB\\VID_" + kVid + "&PID_0001"}));
    winsim::DevicesOf(*machine).Add(Node("USB\\VID_" + kVid + "&PID_0001\\3", {"USB\\VID_" + kVid + "&PID_0001"}));
    EXPECT_EQ(2, RemoveReaderDevices());
    EXPECT_EQ(std::vector<std::string>{"USB\\VID_" + kVid + "&PID_0001\\1"}, Ids(winsim::DevicesOf(*machine)));
    EXPECT_EQ(0, RemoveReaderDevices()) << "the one left is still refused";
}

TEST(RemoveDevices, AHardwareIdListLongerThanItsBufferIsPassedOver) {
    winsim::ScopedMachine machine(OsVersion::Win98);
    winsim::DevicesOf(*machine).Add(Node("USB\\VID_" + kVid + "&PID_0001\\1",
                                {"USB\\VID_" + kVid + "&PID_0001", std::string(300, 'x')}));
    EXPECT_EQ(0, RemoveReaderDevices());
    EXPECT_EQ(1u, winsim::DevicesOf(*machine).Nodes().size());
}

// Windows 95's registry records of USB devices: "Enum\USB\<device>\<instance>" with a "Driver"
// value naming a key of the class tree.
void AddRecord(winsim::DeviceTree& tree, const std::string& device, const std::string& instance) {
    tree.AddRegistryRecord(Node("USB\\" + device + "\\" + instance, {"USB\\" + device}));
}

bool KeyExists(winsim::Machine& machine, const std::string& path) {
    return machine.Reg().KeyExists("HKEY_LOCAL_MACHINE\\" + path);
}

TEST(RemoveDevices, Windows95LeftoversGoEvenWhenAdjacentAndWithTheirDriverKeys) {
    winsim::ScopedMachine machine(OsVersion::Win95);
    auto& tree = winsim::DevicesOf(*machine);
    // In enumeration order: an unrelated device, two of the reader's side by side, another unrelated
    // one, and a third of the reader's with two instances.
    AddRecord(tree, "VID_0AAA&PID_0007", "1");           // USB\0000
    AddRecord(tree, "VID_" + kVid + "&PID_0001", "1");   // USB\0001
    AddRecord(tree, "vid_" + kVid + "&pid_0002", "1");   // USB\0002
    AddRecord(tree, "VID_0BBB&PID_0001", "1");           // USB\0003
    AddRecord(tree, "VID_" + kVid + "&PID_0003", "1");   // USB\0004
    AddRecord(tree, "VID_" + kVid + "&PID_0003", "2");   // USB\0005
    EXPECT_EQ(1, RemoveDevices());

    EXPECT_TRUE(KeyExists(*machine, "Enum\\USB\\VID_0AAA&PID_0007\\1"));
    EXPECT_TRUE(KeyExists(*machine, "Enum\\USB\\VID_0BBB&PID_0001\\1"));
    EXPECT_FALSE(KeyExists(*machine, "Enum\\USB\\VID_" + kVid + "&PID_0001"));
    EXPECT_FALSE(KeyExists(*machine, "Enum\\USB\\VID_" + kVid + "&PID_0002"));
    EXPECT_FALSE(KeyExists(*machine, "Enum\\USB\\VID_" + kVid + "&PID_0003"));
    const char* const kept[] = {"0000", "0003"};
    const char* const gone[] = {"0001", "0002", "0004", "0005"};
    for (const char* key : kept)
        EXPECT_TRUE(KeyExists(*machine, std::string("System\\CurrentControlSet\\Services\\Class\\USB\\") + key)) << key;
    for (const char* key : gone)
        EXPECT_FALSE(KeyExists(*machine, std::string("System\\CurrentControlSet\\Services\\Class\\USB\\") + key)) << key;
}

TEST(RemoveDevices, Windows98LeavesTheEnumTreeAlone) {
    winsim::ScopedMachine machine(OsVersion::Win98);
    AddRecord(winsim::DevicesOf(*machine), "VID_" + kVid + "&PID_0001", "1");
    winsim::DevicesOf(*machine).Add(Node("USB\\VID_" + kVid + "&PID_0001\\2", {"USB\\VID_" + kVid + "&PID_0001"}));
    EXPECT_EQ(1, RemoveDevices());
    EXPECT_TRUE(winsim::DevicesOf(*machine).Nodes().empty());
    EXPECT_TRUE(KeyExists(*machine, "Enum\\USB\\VID_" + kVid + "&PID_0001\\1")) << "only the node's own record went";
    EXPECT_TRUE(KeyExists(*machine, "System\\CurrentControlSet\\Services\\Class\\USB\\0000"));
}

TEST(RemoveDevices, Windows95RecordsWithoutDriverValuesOrWithoutEnumTree) {
    winsim::ScopedMachine machine(OsVersion::Win95);
    std::string error;
    ASSERT_TRUE(machine->Reg().LoadRegText(
        "REGEDIT4\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\Enum\\USB\\VID_" + kVid + "&PID_0001\\1]\r\n\"DRIVER\"=\"USB\\\\0007\"\r\n"
        "\"Other\"=\"" + std::string(300, 'o') + "\"\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\Enum\\USB\\VID_" + kVid + "&PID_0001\\2]\r\n\"Driver\"=\"\"\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class\\USB\\0007]\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class\\USB\\0008]\r\n\r\n",
        &error))
        << error;
    RemoveWin95UsbEntries();
    EXPECT_FALSE(KeyExists(*machine, "Enum\\USB\\VID_" + kVid + "&PID_0001"));
    EXPECT_FALSE(KeyExists(*machine, "System\\CurrentControlSet\\Services\\Class\\USB\\0007"))
        << "the value name compares without regard to case";
    EXPECT_TRUE(KeyExists(*machine, "System\\CurrentControlSet\\Services\\Class\\USB\\0008"));
    EXPECT_TRUE(KeyExists(*machine, "System\\CurrentControlSet\\Services\\Class")) << "an empty Driver names nothing";

    winsim::ScopedMachine bare(OsVersion::Win95);
    RemoveWin95UsbEntries();  // no "Enum\USB" at all: nothing to do, nothing thrown
    EXPECT_FALSE(KeyExists(*bare, "Enum\\USB"));
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

// A DLL on the machine's disk, registered for the test's duration and not loaded.
class CSimulatedDll {
public:
    CSimulatedDll(const std::string& fileName, const winsim::ExportEntry* exports) {
        winsim::ModuleImage image;
        image.fileName = fileName;
        image.exports = exports;
        module_ = winsim::RegisterModule(image);
        FreeLibrary(module_);
    }
    ~CSimulatedDll() { winsim::UnregisterModule(module_); }
    CSimulatedDll(const CSimulatedDll&) = delete;
    CSimulatedDll& operator=(const CSimulatedDll&) = delete;

private:
    HMODULE module_;
};

void SetProductPath(winsim::Machine& machine, const std::string& regData) {
    std::string error;
    ASSERT_TRUE(machine.Reg().LoadRegText(std::string("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\") + kProductKey +
                                              "]\r\n\"" + kProductPathValue + "\"=" + regData + "\r\n\r\n",
                                          &error))
        << error;
}

struct ReEnumerateCase {
    const char* name;
    OsVersion version;
    const char* productPath;      // .reg data of "ProductPath"; nullptr: no value
    const char* libraryLocation;  // where kvthk32.dll is; nullptr: nowhere
    const winsim::ExportEntry* exports;
    std::vector<LONG> builds;
    size_t reenumerations;
};

const ReEnumerateCase kReEnumerateCases[] = {
    {"98, path with trailing backslash", OsVersion::Win98, "\"C:\\\\Program Files\\\\Korvane\\\\\"",
     "C:\\Program Files\\Korvane\\kvthk32.dll", kSupportExports, {1}, 1},
    {"98, path without trailing backslash", OsVersion::Win98, "\"C:\\\\Program Files\\\\Korvane\"",
     "C:\\Program Files\\Korvane\\kvthk32.dll", kSupportExports, {1}, 1},
    {"95, path of the drive's root", OsVersion::Win95, "\"C:\\\\\"", "C:\\kvthk32.dll", kSupportExports, {1}, 0},
    {"98, no ProductPath: the library is not loaded at all", OsVersion::Win98, nullptr,
     "C:\\WINDOWS\\SYSTEM\\kvthk32.dll", kSupportExports, {}, 1},
    {"98, library not in the product folder: found by name in the system directory", OsVersion::Win98,
     "\"C:\\\\Program Files\\\\Korvane\"", "C:\\WINDOWS\\SYSTEM\\kvthk32.dll", kSupportExports, {1}, 1},
    {"98, library nowhere", OsVersion::Win98, "\"C:\\\\Program Files\\\\Korvane\"", nullptr, kSupportExports, {}, 1},
    {"98, library without the export", OsVersion::Win98, "\"C:\\\\Program Files\\\\Korvane\"",
     "C:\\Program Files\\Korvane\\kvthk32.dll", kNoExports, {}, 1},
    {"98, ProductPath not a string", OsVersion::Win98, "dword:00000001", "C:\\Program Files\\Korvane\\kvthk32.dll",
     kSupportExports, {}, 1},
    {"NT 4: no support library, no configuration manager", OsVersion::NT4, "\"C:\\\\Program Files\\\\Korvane\"",
     "C:\\Program Files\\Korvane\\kvthk32.dll", kSupportExports, {}, 0},
    {"2000: no support library", OsVersion::Win2000, "\"C:\\\\Program Files\\\\Korvane\"",
     "C:\\Program Files\\Korvane\\kvthk32.dll", kSupportExports, {}, 1},
};

TEST(ReEnumerateDevices, SupportLibraryOn9xThenRootReenumeration) {
    for (size_t i = 0; i < sizeof kReEnumerateCases / sizeof kReEnumerateCases[0]; ++i) {
        const auto& row = kReEnumerateCases[i];
        SCOPED_TRACE(testing::Message() << i << ": " << row.name);
        winsim::ScopedMachine machine(row.version);
        if (row.productPath) SetProductPath(*machine, row.productPath);
        std::unique_ptr<CSimulatedDll> library;
        if (row.libraryLocation) library = std::make_unique<CSimulatedDll>(row.libraryLocation, row.exports);
        g_builds.clear();

        ReEnumerateDevices();
        EXPECT_EQ(row.builds, g_builds);
        EXPECT_EQ(row.reenumerations, winsim::DevicesOf(*machine).Reenumerations().size());
        for (ULONG flags : winsim::DevicesOf(*machine).Reenumerations())
            EXPECT_EQ(static_cast<ULONG>(CM_REENUMERATE_SYNCHRONOUS), flags) << "waits for the enumeration's end";
        // Everything loaded for the call was unloaded again.
        EXPECT_EQ(nullptr, GetModuleHandleA("kvthk32.dll"));
        EXPECT_EQ(nullptr, GetModuleHandleA("cfgmgr32.dll"));
    }
}

TEST(ReEnumerateDevices, PluggedInReaderIsFoundAndNothingHappensWithoutTheRoot) {
    winsim::ScopedMachine machine(OsVersion::Win2000);
    winsim::DevicesOf(*machine).PlugIn(Node("USB\\VID_" + kVid + "&PID_0001\\5&9", {"USB\\VID_" + kVid + "&PID_0001"}));
    winsim::DevicesOf(*machine).SetRootLocateFails(true);
    ReEnumerateDevices();
    EXPECT_TRUE(winsim::DevicesOf(*machine).Reenumerations().empty());
    EXPECT_TRUE(winsim::DevicesOf(*machine).Nodes().empty());

    winsim::DevicesOf(*machine).SetRootLocateFails(false);
    ReEnumerateDevices();
    ASSERT_EQ(1u, winsim::DevicesOf(*machine).Nodes().size());
    EXPECT_TRUE(winsim::DevicesOf(*machine).Nodes()[0].present);

    // A configuration manager taken off the machine: the call still returns quietly.
    winsim::DevicesOf(*machine).SetConfigManagerInstalled(false);
    ReEnumerateDevices();
    EXPECT_EQ(1u, winsim::DevicesOf(*machine).Reenumerations().size());
}

}  // namespace
