#include <winsim/loader.h>
#include <winsim/machine.h>
#include <winsim/win32api.h>

#include <gtest/gtest.h>

namespace {

using Role = winsim::Machine::ServerRole;
using GetInfo = NET_API_STATUS (*)(LMSTR, DWORD, LPBYTE*);
using BufferFree = NET_API_STATUS (*)(LPVOID);

FARPROC Export(const char* name) { return GetProcAddress(LoadLibraryA("NETAPI32.dll"), name); }

}  // namespace

TEST(NetApi32, TheServerRecordFollowsTheMachinesRoleServiceAndCaller) {
    struct Row {
        winsim::OsVersion version;
        Role role;
        bool running;
        winsim::Machine::Account caller;
        DWORD level;
        NET_API_STATUS status;
        DWORD type;
    };
    using V = winsim::OsVersion;
    using A = winsim::Machine::Account;
    const Row rows[] = {
        {V::NT4, Role::Workstation, true, A::Administrator, 102, NERR_Success, 0x1003},
        {V::NT4, Role::PrimaryController, true, A::Administrator, 101, NERR_Success, 0x100B},
        {V::Win2000, Role::BackupController, true, A::Administrator, 102, NERR_Success, 0x1013},
        {V::Win2000, Role::MemberServer, true, A::User, 101, NERR_Success, 0x9003},
        {V::Win2000, Role::PrimaryController, true, A::User, 102, ERROR_ACCESS_DENIED, 0},
        {V::WinXP, Role::PrimaryController, true, A::Administrator, 1, ERROR_INVALID_LEVEL, 0},
        {V::NT4, Role::PrimaryController, false, A::Administrator, 101, NERR_ServerNotStarted, 0},
    };
    for (const Row& row : rows) {
        winsim::ScopedMachine machine(row.version);
        machine->SetServerRole(row.role);
        machine->SetServerServiceRunning(row.running);
        machine->SetCallerAccount(row.caller);
        auto getInfo = winsim::ProcAs<GetInfo>(Export("NetServerGetInfo"));
        ASSERT_NE(nullptr, getInfo);
        LPBYTE buffer = nullptr;
        ASSERT_EQ(row.status, getInfo(nullptr, row.level, &buffer)) << row.level;
        if (row.status != NERR_Success) continue;
        const auto* info = reinterpret_cast<SERVER_INFO_101*>(buffer);
        EXPECT_EQ(row.type, info->sv101_type);
        EXPECT_EQ(machine->Record().major, info->sv101_version_major);
        EXPECT_EQ(std::u16string(u"WINSIM"), info->sv101_name);
        EXPECT_EQ(NERR_Success, winsim::ProcAs<BufferFree>(Export("NetApiBufferFree"))(buffer));
    }
}

TEST(NetApi32, OnlyTheLocalServerAnswersAndBuffersAreFreedOnce) {
    winsim::ScopedMachine machine(winsim::OsVersion::Win2000);
    auto getInfo = winsim::ProcAs<GetInfo>(Export("NetServerGetInfo"));
    auto bufferFree = winsim::ProcAs<BufferFree>(Export("NetApiBufferFree"));
    LPBYTE buffer = nullptr;
    char16_t remote[] = u"\\\\FILESRV", local[] = u"\\\\winsim";
    EXPECT_EQ(static_cast<NET_API_STATUS>(ERROR_BAD_NETPATH), getInfo(remote, 100, &buffer));
    ASSERT_EQ(NERR_Success, getInfo(local, 100, &buffer));
    EXPECT_EQ(static_cast<DWORD>(PLATFORM_ID_NT), reinterpret_cast<SERVER_INFO_100*>(buffer)->sv100_platform_id);
    EXPECT_EQ(NERR_Success, bufferFree(buffer));
    EXPECT_EQ(static_cast<NET_API_STATUS>(ERROR_INVALID_PARAMETER), bufferFree(buffer));
    EXPECT_EQ(NERR_Success, bufferFree(nullptr));
}

TEST(NetApi32, Windows9xHasTheLibraryWithoutTheServerCalls) {
    for (auto version : {winsim::OsVersion::Win95, winsim::OsVersion::Win98}) {
        winsim::ScopedMachine machine(version);
        ASSERT_NE(nullptr, LoadLibraryA("NETAPI32.dll"));
        EXPECT_EQ(nullptr, Export("NetServerGetInfo"));
        EXPECT_EQ(nullptr, Export("NetApiBufferAllocate"));
    }
}
