// netapi32: the simulated network API library of the NT family, which code loads by name and calls
// through GetProcAddress: the local server's information record (NetServerGetInfo), answered from the
// current machine's role and server service, and the buffers the API hands out and takes back.
#include <winsim/loader.h>
#include <winsim/machine.h>
#include <winsim/win32api.h>

#include "system_modules.h"

#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <string_view>

namespace winsim {

namespace {

constexpr std::string_view kComputerName = "WINSIM";

// The buffers handed out and not yet freed, by address.
std::mutex g_bufferLock;
std::map<void*, std::unique_ptr<unsigned char[]>>& Buffers() {
    static std::map<void*, std::unique_ptr<unsigned char[]>> buffers;
    return buffers;
}

NET_API_STATUS WINAPI NetApiBufferAllocate(DWORD byteCount, LPVOID* buffer) {
    if (!buffer) return ERROR_INVALID_PARAMETER;
    *buffer = nullptr;
    std::unique_ptr<unsigned char[]> memory(new (std::nothrow) unsigned char[byteCount ? byteCount : 1]());
    if (!memory) return ERROR_NOT_ENOUGH_MEMORY;
    *buffer = memory.get();
    std::lock_guard<std::mutex> lock(g_bufferLock);
    Buffers().emplace(memory.get(), std::move(memory));
    return NERR_Success;
}

NET_API_STATUS WINAPI NetApiBufferFree(LPVOID buffer) {
    if (!buffer) return NERR_Success;
    std::lock_guard<std::mutex> lock(g_bufferLock);
    return Buffers().erase(buffer) ? NERR_Success : ERROR_INVALID_PARAMETER;
}

// Whether a server name names this machine: none, empty, or the computer name with or without "\\".
bool IsLocal(LMCSTR serverName) {
    if (!serverName || !*serverName) return true;
    std::u16string_view name(serverName);
    if (name.size() >= 2 && name[0] == u'\\' && name[1] == u'\\') name.remove_prefix(2);
    if (name.size() != kComputerName.size()) return false;
    for (size_t i = 0; i < name.size(); ++i) {
        const char16_t c = name[i] >= u'a' && name[i] <= u'z' ? name[i] - (u'a' - u'A') : name[i];
        if (c != static_cast<char16_t>(kComputerName[i])) return false;
    }
    return true;
}

DWORD ServerType(Machine::ServerRole role) {
    DWORD type = SV_TYPE_WORKSTATION | SV_TYPE_SERVER | SV_TYPE_NT;
    switch (role) {
        case Machine::ServerRole::Workstation: break;
        case Machine::ServerRole::MemberServer: type |= SV_TYPE_SERVER_NT; break;
        case Machine::ServerRole::PrimaryController: type |= SV_TYPE_DOMAIN_CTRL; break;
        case Machine::ServerRole::BackupController: type |= SV_TYPE_DOMAIN_BAKCTRL; break;
    }
    return type;
}

// Copies `text` as a wide string to `at`, returns where the next one goes.
WCHAR* PutText(WCHAR* at, std::string_view text) {
    for (char c : text) *at++ = static_cast<unsigned char>(c);
    *at++ = 0;
    return at;
}

// One buffer holding the record and, after it, its strings, as the server service returns them.
NET_API_STATUS WINAPI NetServerGetInfo(LMSTR serverName, DWORD level, LPBYTE* bufptr) {
    if (!bufptr) return ERROR_INVALID_PARAMETER;
    if (!IsLocal(serverName)) return ERROR_BAD_NETPATH;
    Machine& machine = Current();
    if (!machine.ServerServiceRunning()) return NERR_ServerNotStarted;
    size_t recordSize = 0;
    switch (level) {
        case 100: recordSize = sizeof(SERVER_INFO_100); break;
        case 101: recordSize = sizeof(SERVER_INFO_101); break;
        case 102: recordSize = sizeof(SERVER_INFO_102); break;
        default: return ERROR_INVALID_LEVEL;
    }
    // Level 102 is for administrators and server operators only.
    if (level == 102 && machine.CallerAccount() == Machine::Account::User) return ERROR_ACCESS_DENIED;

    const std::string_view userPath = "c:\\";
    const size_t textChars = (kComputerName.size() + 1) + 1 + (userPath.size() + 1);
    LPVOID memory = nullptr;
    const NET_API_STATUS status = NetApiBufferAllocate(static_cast<DWORD>(recordSize + textChars * sizeof(WCHAR)), &memory);
    if (status != NERR_Success) return status;
    auto* texts = reinterpret_cast<WCHAR*>(static_cast<unsigned char*>(memory) + recordSize);
    WCHAR* name = texts;
    WCHAR* comment = PutText(name, kComputerName);
    WCHAR* path = PutText(comment, "");
    PutText(path, userPath);

    const VersionRecord& record = machine.Record();
    if (level == 100) {
        auto* info = static_cast<SERVER_INFO_100*>(memory);
        info->sv100_platform_id = PLATFORM_ID_NT;
        info->sv100_name = name;
    } else {
        // SERVER_INFO_102 begins as SERVER_INFO_101 does.
        auto* info = static_cast<SERVER_INFO_101*>(memory);
        info->sv101_platform_id = PLATFORM_ID_NT;
        info->sv101_name = name;
        info->sv101_version_major = record.major & MAJOR_VERSION_MASK;
        info->sv101_version_minor = record.minor;
        info->sv101_type = ServerType(machine.Role());
        info->sv101_comment = comment;
    }
    if (level == 102) {
        auto* info = static_cast<SERVER_INFO_102*>(memory);
        const bool server = machine.Role() != Machine::ServerRole::Workstation;
        info->sv102_users = server ? 0xFFFFFFFF : 10;  // NT Workstation takes 10 connections
        info->sv102_disc = 15;
        info->sv102_hidden = SV_VISIBLE;
        info->sv102_announce = 240;
        info->sv102_anndelta = 3000;
        info->sv102_licenses = 0;
        info->sv102_userpath = path;
    }
    *bufptr = static_cast<LPBYTE>(memory);
    return NERR_Success;
}

}  // namespace

const ExportEntry kNetApiExports[] = {
    {"NetApiBufferAllocate", AsExport(&NetApiBufferAllocate)},
    {"NetApiBufferFree", AsExport(&NetApiBufferFree)},
    {"NetServerGetInfo", AsExport(&NetServerGetInfo)},
    {nullptr, nullptr},
};

}  // namespace winsim
