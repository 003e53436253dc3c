// kvsim's commands: each takes its own arguments and returns the program's exit status.
#pragma once

#include <winsim/machine.h>

#include <optional>
#include <string>
#include <vector>

namespace kvsim {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;         // the library call reported a failure
constexpr int kExitUsage = 2;          // wrong command line
constexpr int kExitBadInput = 3;       // a file or machine folder that is missing or damaged
constexpr int kExitUnknownExport = 4;  // the library has no export of that name
constexpr int kExitNoLibrary = 5;      // the built library cannot be loaded

struct Command {
    const char* name;
    const char* usage;
    const char* summary;
    int (*run)(const std::vector<std::string>& args);
};

const std::vector<Command>& Commands();

// "Windows NT 4", "Windows 2000", ...
const char* VersionTitle(winsim::OsVersion version);
// The version a command's argument names; otherwise "kvsim COMMAND: 'WORD' is not a version ..." on
// standard error and nothing.
std::optional<winsim::OsVersion> VersionArgument(const char* command, const std::string& word);
// A message-box button's id (IDOK ...) from its word (ok, cancel, ...); 0 for a word that names none.
int ParseAnswer(const std::string& word);

int RunSections(const std::vector<std::string>& args);
int RunCreate(const std::vector<std::string>& args);
int RunPut(const std::vector<std::string>& args);
int RunShow(const std::vector<std::string>& args);
int RunCall(const std::vector<std::string>& args);
int RunDevice(const std::vector<std::string>& args);
int RunImports(const std::vector<std::string>& args);
int RunReboot(const std::vector<std::string>& args);
int RunImport(const std::vector<std::string>& args);
int RunSet(const std::vector<std::string>& args);
int RunRundll32(const std::vector<std::string>& args);
int RunStart(const std::vector<std::string>& args);
int RunSecurity(const std::vector<std::string>& args);
int RunVersion(const std::vector<std::string>& args);
int RunScenarioCommand(const std::vector<std::string>& args);
int RunCompare(const std::vector<std::string>& args);

}  // namespace kvsim
