// Registry key protection: rewriting a key's security (and that of every key below it) so that the
// local system account and Administrators have full control and everybody else exactly the access the
// caller names; and the removal of the product's whole registry tree, which opens the tree that way
// first. Only the NT family has registry security: elsewhere ProtectKey does nothing and succeeds.
//
// Depth. ProtectKey recurses once per level of the tree below the key. The registry itself bounds
// that: a registry tree is at most 512 levels deep (Microsoft's registry element size limits), so the
// recursion is too, and no limit of its own is kept. Each level costs one ProtectKey frame, its trace
// record and 260-character name buffer included (the body and its boundaries are inlined into it):
// 448 bytes in the 32-bit product as gcc measures it (-fstack-usage). The deepest possible tree thus
// needs some 225 KB, well inside the 1 MB stack Windows gives a program's threads by default. What a
// level calls (IsAdministrator, the descriptor, the security writes) returns before the level goes
// down, so those frames do not add up.
#pragma once

#include "kvisinst/common/win32.h"

#include <memory>

// An absolute security descriptor and everything it points to, all owned here and freed together:
// the descriptor, private copies of its owner and group SIDs, and its DACL. The SACL is never set, so
// there is none to own.
class CSecurityDescriptor {
public:
    CSecurityDescriptor() = default;
    CSecurityDescriptor(const CSecurityDescriptor&) = delete;
    CSecurityDescriptor& operator=(const CSecurityDescriptor&) = delete;

    // Allocates the descriptor (revision 1) with a present DACL that points nowhere. S_OK, or
    // E_OUTOFMEMORY, or the HRESULT of the failing call's last error.
    HRESULT Initialize();
    // Clears the owner (group), then sets a private copy of `sid` as it, not defaulted. On failure the
    // copy is discarded and the owner (group) stays clear; the HRESULT says what failed.
    HRESULT SetOwner(PSID sid);
    HRESULT SetGroup(PSID sid);
    // Adds an access-allowed entry for `sid` with `mask` and ACE flags 0 at the end of the DACL, which
    // is replaced by a copy one entry longer. On failure the DACL stays as it was and the result is the
    // HRESULT of the last error (0 when the failing step set none).
    HRESULT Allow(PSID sid, DWORD mask);

    PSECURITY_DESCRIPTOR Get() const { return descriptor_.get(); }

private:
    std::unique_ptr<SECURITY_DESCRIPTOR> descriptor_;
    std::unique_ptr<BYTE[]> owner_;
    std::unique_ptr<BYTE[]> group_;
    std::unique_ptr<BYTE[]> dacl_;
};

// On the NT family: when the caller is an administrator (IsAdministrator), writes the key's owner
// (S-1-5-18), group (S-1-5-32-544) and DACL (S-1-5-18 and S-1-5-32-544 with KEY_ALL_ACCESS, then
// S-1-1-0 with everyoneAccess unless that is 0; no entry inherits), each with its own
// RegSetKeySecurity, all three attempted. Then, with recurse nonzero and whoever the caller is, does
// the same for each subkey (RegEnumKeyA, opened with MAXIMUM_ALLOWED), parents before children.
//
// Returns 0 when everything succeeded or nothing was to be done (95/98; a caller who is no
// administrator); 1 when a security write failed - the owner's fails for a caller who may not make
// the local system account owner, and the group and DACL are still written - or a subkey's ProtectKey
// returned nonzero, or, for an administrator, a subkey could not be opened (for anyone else such a
// subkey is passed over); 1 too when the descriptor could not be built, and then nothing is written.
// A raised error's HRESULT (E_OUTOFMEMORY) or E_UNEXPECTED for anything else thrown; nothing escapes.
// Traced as "ProtectKey", each subkey's call too.
LONG ProtectKey(HKEY key, DWORD everyoneAccess, BOOL recurse);

// Removes HKEY_LOCAL_MACHINE "Software\Korvane" with everything below it: protects the tree for
// everyone's KEY_READ | DELETE (its result ignored), deletes the key (which on 95/98 takes the whole
// tree and on NT only a key without subkeys), has SHLWAPI.DLL's SHDeleteKeyA take the tree when the
// library and function are there, and returns the status of a last RegDeleteKeyA: 0 when that one
// deleted the key, ERROR_FILE_NOT_FOUND when an earlier step had, or when there was no tree.
//
// SHLWAPI.DLL is loaded and freed on every call, and nothing of it is remembered between calls: a
// module handle kept after its FreeLibrary names nothing once the library has gone, and a later call
// that skipped the step for it would, on the NT family, leave the tree in place whenever subkeys
// remain that the plain deletion cannot take.
LONG DeleteProductRegistryTree();
