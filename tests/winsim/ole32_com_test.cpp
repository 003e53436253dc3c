// winsim's COM apartments and what CoCreateInstance refuses.
#include <winsim/machine.h>
#include <winsim/shelllink.h>
#include <winsim/win32api.h>

#include <gtest/gtest.h>

#include <vector>

using winsim::OsVersion;

namespace {

struct ApartmentStep {
    DWORD coInit;  // or kUninitialize
    HRESULT expected;
    int outstanding;  // ComInitializations() afterwards
};
constexpr DWORD kUninitialize = 0xFFFFFFFF;

struct ApartmentCase {
    const char* name;
    std::vector<ApartmentStep> steps;
};

// S_FALSE for a second single-threaded initialisation and RPC_E_CHANGED_MODE after a multithreaded one
// are proven through the library in each apartment (tests/shortcuts).
TEST(ComApartment, InitialisationResultsFollowTheThreadsFirstModel) {
    const ApartmentCase cases[] = {
        {"single-threaded, then multithreaded refused",
         {{COINIT_APARTMENTTHREADED, S_OK, 1}, {COINIT_MULTITHREADED, RPC_E_CHANGED_MODE, 1}, {kUninitialize, S_OK, 0}}},
        {"a new model after the last uninitialise",
         {{COINIT_MULTITHREADED, S_OK, 1}, {kUninitialize, S_OK, 0}, {COINIT_APARTMENTTHREADED, S_OK, 1},
          {kUninitialize, S_OK, 0}}},
        {"an unbalanced uninitialise does nothing", {{kUninitialize, S_OK, 0}, {COINIT_MULTITHREADED, S_OK, 1},
                                                     {kUninitialize, S_OK, 0}}},
    };
    for (const auto& row : cases) {
        for (size_t i = 0; i < row.steps.size(); ++i) {
            const auto& step = row.steps[i];
            if (step.coInit == kUninitialize) {
                CoUninitialize();
            } else {
                EXPECT_EQ(step.expected, CoInitializeEx(nullptr, step.coInit)) << row.name << ", step " << i;
            }
            EXPECT_EQ(step.outstanding, winsim::ComInitializations()) << row.name << ", step " << i;
        }
    }
}

TEST(ComCreate, RefusesWhatWindowsRefuses) {
    winsim::ScopedMachine machine(OsVersion::Win2000);
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(CO_E_NOTINITIALIZED, CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, &object));
    EXPECT_EQ(nullptr, object);

    ASSERT_EQ(S_OK, CoInitialize(nullptr));
    const CLSID unknown = {0x12345678, 0x1, 0x2, {1, 2, 3, 4, 5, 6, 7, 8}};
    EXPECT_EQ(E_NOINTERFACE, CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, unknown, &object));
    EXPECT_EQ(0u, winsim::LiveComObjects()) << "a refused interface must not leak the object";
    CoUninitialize();
}

}  // namespace
