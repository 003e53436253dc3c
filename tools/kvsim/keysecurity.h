// Registry key security as kvsim shows it: the keys whose security differs from their hive's default,
// and the security a call changed, each in SDDL (NT family; Windows 95/98 keep none).
#pragma once

#include <winsim/machine.h>
#include <winsim/security.h>

#include <map>
#include <set>
#include <string>
#include <vector>

namespace kvsim {

// "  KEY: SDDL" for each key with security of its own, in key order; empty when there is none.
std::string ListKeySecurity(winsim::Machine& machine);

// The security of every key at one moment.
class CKeySecuritySnapshot {
public:
    explicit CKeySecuritySnapshot(winsim::Machine& machine);

    // "  KEY: BEFORE -> AFTER" for each key whose security changed since `before`; a new key only
    // when it got security of its own ("(new key) -> ..."), a removed one only when it had some
    // ("... -> (key removed)"), or when its security was written before it went ("... -> WRITTEN ->
    // (key removed)", from `writes`, the machine's journal of RegSetKeySecurity since `before`). Empty
    // when nothing changed.
    std::string ChangesSince(const CKeySecuritySnapshot& before,
                             const std::vector<winsim::Security::KeySecurityWrite>& writes = {}) const;

private:
    std::map<std::string, std::string> sddl_;  // by path
    std::set<std::string> own_;                // the keys with security of their own
};

}  // namespace kvsim
