// kvsim security, and key security in show and call: keysecurity.txt's lines in SDDL.
#include "tools/kvsim/keysecurity.h"

#include "tools/kvsim/commands.h"
#include "tools/kvsim/machinefolder.h"

#include <winsim/registry.h>
#include <winsim/security.h>

#include <cstdio>
#include <vector>

namespace kvsim {

namespace {

// Each "KEY=SDDL" line of the machine's security text, split at its last '='.
std::map<std::string, std::string> OwnSecurity(winsim::Machine& machine) {
    std::map<std::string, std::string> keys;
    const std::string text = machine.Security().SaveSecurityText();
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(start, end - start);
        const size_t equals = line.rfind('=');
        if (equals != std::string::npos) keys[line.substr(0, equals)] = line.substr(equals + 1);
        start = end + 1;
    }
    return keys;
}

void AddKeys(winsim::Machine& machine, const std::string& path, std::map<std::string, std::string>* out) {
    if (const auto sddl = machine.Security().KeySecuritySddl(path)) (*out)[path] = *sddl;
    for (const auto& name : machine.Reg().SubkeyNames(path)) AddKeys(machine, path + "\\" + name, out);
}

}  // namespace

std::string ListKeySecurity(winsim::Machine& machine) {
    std::string out;
    for (const auto& [key, sddl] : OwnSecurity(machine)) out += "  " + key + ": " + sddl + "\n";
    return out;
}

CKeySecuritySnapshot::CKeySecuritySnapshot(winsim::Machine& machine) {
    if (!winsim::IsNtFamily(machine.Version())) return;
    for (const char* hive : {"HKEY_LOCAL_MACHINE", "HKEY_USERS"}) AddKeys(machine, hive, &sddl_);
    for (const auto& entry : OwnSecurity(machine)) own_.insert(entry.first);
}

std::string CKeySecuritySnapshot::ChangesSince(const CKeySecuritySnapshot& before,
                                               const std::vector<winsim::Security::KeySecurityWrite>& writes) const {
    std::map<std::string, std::string> lastWritten;  // keys the call removed after writing their security
    for (const auto& write : writes)
        if (!sddl_.count(write.key)) lastWritten[write.key] = write.sddl;
    std::string out;
    for (const auto& [key, sddl] : sddl_) {
        const auto old = before.sddl_.find(key);
        if (old == before.sddl_.end()) {
            if (own_.count(key)) out += "  " + key + ": (new key) -> " + sddl + "\n";
        } else if (old->second != sddl) {
            out += "  " + key + ": " + old->second + " -> " + sddl + "\n";
        }
    }
    for (const auto& [key, sddl] : before.sddl_) {
        if (sddl_.count(key) || lastWritten.count(key)) continue;
        if (before.own_.count(key)) out += "  " + key + ": " + sddl + " -> (key removed)\n";
    }
    for (const auto& [key, written] : lastWritten) {
        const auto old = before.sddl_.find(key);
        out += "  " + key + ": " + (old == before.sddl_.end() ? "(new key)" : old->second) + " -> " + written +
               " -> (key removed)\n";
    }
    return out;
}

int RunSecurity(const std::vector<std::string>& args) {
    if (args.size() < 2 || args.size() > 3) {
        std::fprintf(stderr,
                     "kvsim security: give a machine folder, a registry key and optionally its new security\n"
                     "  in SDDL (or default, its hive's)\n");
        return kExitUsage;
    }
    const std::string& key = args[1];
    winsim::SecurityDescriptorData wanted;
    std::string error;
    if (args.size() == 3 && args[2] != "default" && !winsim::ParseSddl(args[2], &wanted, &error)) {
        std::fprintf(stderr, "kvsim security: '%s' is not SDDL: %s\n", args[2].c_str(), error.c_str());
        return kExitUsage;
    }
    CMachineFolder machine;
    if (!machine.Open(args[0], &error)) {
        std::fprintf(stderr, "kvsim security: %s\n", error.c_str());
        return kExitBadInput;
    }
    winsim::Security& security = machine.Machine().Security();
    const auto before = security.KeySecuritySddl(key);
    if (!before) {
        std::fprintf(stderr, "kvsim security: %s\n",
                     winsim::IsNtFamily(machine.Machine().Version())
                         ? ("the machine has no key " + key).c_str()
                         : "Windows 95 and 98 keep no security for registry keys");
        return kExitBadInput;
    }
    if (args.size() == 2) {
        std::printf("%s: %s\n", key.c_str(), before->c_str());
        return kExitOk;
    }
    if (args[2] == "default")
        security.ResetKeySecurity(key);
    else
        security.SetKeySecurity(key, wanted);
    const std::string after = *security.KeySecuritySddl(key);
    if (!machine.Commit(&error)) {
        std::fprintf(stderr, "kvsim security: %s\n", error.c_str());
        return kExitBadInput;
    }
    std::printf("%s: %s -> %s\n", key.c_str(), before->c_str(), after.c_str());
    return kExitOk;
}

}  // namespace kvsim
