// A simulated machine kept in a folder between kvsim runs:
//
//   FOLDER/machine.txt    "kvsim machine", then version=95|98|NT4|2000|XP, clock_ms=N and
//                         language=0xNNNN (the user's default language; 0x0409 when missing),
//                         account=system|administrator|user (who the program runs as), role=
//                         workstation|member-server|primary-controller|backup-controller,
//                         server_service=running|stopped, ie=1|0 (Internet Explorer, with
//                         SHLWAPI.DLL), service_pack=6a|none (NT family). Each key missing
//                         (folders made before it was kept) has the version's default.
//   FOLDER/registry.reg   the registry as .reg text (HKEY_LOCAL_MACHINE and HKEY_USERS)
//   FOLDER/services.txt   the service control manager's database, with each service's script
//   FOLDER/devices.txt    the device tree: device nodes and devices plugged in but not yet found
//   FOLDER/shortnames.txt the 8.3 names given to long file names, so a file keeps its short name
//   FOLDER/programs.txt   the programs and simulated DLLs the machine has, what each does, and the
//                         processes running ([program PATH], [dll PATH], [process ID]; the syntax
//                         is in winsim/processes.h); a user describes a COM server or regtlib.exe here
//   FOLDER/keysecurity.txt the registry keys whose security differs from their hive's default, a
//                         line each: KEY=SDDL (winsim's Security text; NT family)
//   FOLDER/drives/C/...   the drives, one host folder per letter
//
// A command works on a copy of the folder and puts the copy in the folder's place in one step when
// it is done (rename(2) exchanging the two), so a failed or interrupted command leaves the folder as
// it was, never half written.
#pragma once

#include <winsim/machine.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

namespace kvsim {

class CMachineFolder {
public:
    // Makes a new machine folder, its machine first set up by `setUp` (language, account, role, ...);
    // false (with the reason) when the folder exists or cannot be made.
    static bool Create(const std::string& folder, winsim::OsVersion version,
                       const std::function<void(winsim::Machine&)>& setUp, std::string* error);

    // Copies the folder aside and loads the copy as the current simulated machine. False (with the
    // reason) for a missing or damaged folder.
    bool Open(const std::string& folder, std::string* error);

    // Writes the machine's state into the copy and puts the copy in place of the folder.
    bool Commit(std::string* error);

    // Throws the copy away; the folder stays as it was. Also done by the destructor.
    void Discard();

    ~CMachineFolder();

    winsim::Machine& Machine() { return *machine_; }

private:
    std::string folder_;
    std::string work_;  // the copy being worked on
    std::unique_ptr<winsim::Machine> machine_;
};

// Writes the state files of `machine` into `folder` (each through a temporary file and a rename).
bool SaveMachineState(winsim::Machine& machine, const std::string& folder, std::string* error);

// The account names machine.txt and kvsim create use: "system", "administrator", "user".
const char* AccountName(winsim::Machine::Account account);
bool ParseAccount(const std::string& name, winsim::Machine::Account* account);
// The service pack's text after "Service Pack " in the machine's CSD version ("6a"); "" for none.
std::string ServicePackText(const winsim::Machine& machine);
// Sets the CSD version to "Service Pack TEXT" (TEXT: a number with at most one letter after it, as
// 6a); "", "0" or "none" for none. False for any other text, or on Windows 95/98, which have no service packs.
bool SetServicePackText(winsim::Machine& machine, const std::string& text);
bool ValidServicePackText(const std::string& text);

// A whole file's bytes; false when it cannot be read.
bool ReadWholeText(const std::filesystem::path& path, std::string* text);

}  // namespace kvsim
