#include "tools/kvsim/machinefolder.h"

#include <winsim/devices.h>
#include <winsim/processes.h>
#include <winsim/registry.h>
#include <winsim/security.h>
#include <winsim/services.h>
#include <winsim/shortnames.h>

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

namespace kvsim {

namespace fs = std::filesystem;

namespace {

const char kMagic[] = "kvsim machine";

bool WriteFileAtomically(const fs::path& path, const std::string& text, std::string* error) {
    const fs::path temp = path.string() + ".new";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << text;
        out.flush();
        if (!out) {
            *error = "cannot write " + temp.string();
            return false;
        }
    }
    std::error_code ec;
    fs::rename(temp, path, ec);
    if (ec) {
        *error = "cannot replace " + path.string() + ": " + ec.message();
        return false;
    }
    return true;
}

// A fresh sibling folder name for `folder`'s working copy.
bool MakeSibling(const std::string& folder, std::string* sibling) {
    fs::path base = fs::absolute(fs::path(folder)).lexically_normal();
    if (!base.has_filename()) base = base.parent_path();
    std::string pattern = (base.parent_path() / ("." + base.filename().string() + ".kvsim-XXXXXX")).string();
    if (!mkdtemp(pattern.data())) return false;
    *sibling = pattern;
    return true;
}

// The registry of a new machine holds the standard keys; a saved one replaces them entirely.
void ClearRegistry(winsim::Registry& reg) {
    for (const char* hive : {"HKEY_LOCAL_MACHINE", "HKEY_USERS"})
        for (const auto& name : reg.SubkeyNames(hive)) reg.DeleteKey(std::string(hive) + "\\" + name);
}

const char* const kAccountNames[] = {"system", "administrator", "user"};

}  // namespace

const char* AccountName(winsim::Machine::Account account) { return kAccountNames[static_cast<int>(account)]; }

bool ParseAccount(const std::string& name, winsim::Machine::Account* account) {
    for (int i = 0; i < 3; ++i)
        if (name == kAccountNames[i]) {
            *account = static_cast<winsim::Machine::Account>(i);
            return true;
        }
    return false;
}

std::string ServicePackText(const winsim::Machine& machine) {
    const std::string& csd = machine.Record().csd;
    const std::string prefix = "Service Pack ";
    return winsim::IsNtFamily(machine.Version()) && csd.rfind(prefix, 0) == 0 ? csd.substr(prefix.size()) : "";
}

bool ValidServicePackText(const std::string& text) {
    if (text.empty() || text == "none") return true;
    size_t digits = 0;
    while (digits < text.size() && std::isdigit(static_cast<unsigned char>(text[digits]))) ++digits;
    return digits > 0 && digits <= 3 &&
           (digits == text.size() ||
            (digits + 1 == text.size() && std::islower(static_cast<unsigned char>(text.back()))));
}

bool SetServicePackText(winsim::Machine& machine, const std::string& text) {
    if (!ValidServicePackText(text) || !winsim::IsNtFamily(machine.Version())) return false;
    winsim::VersionRecord record = machine.Record();
    record.csd = text.empty() || text == "none" || text == "0" ? "" : "Service Pack " + text;
    machine.SetRecord(record);
    return true;
}

bool SaveMachineState(winsim::Machine& machine, const std::string& folder, std::string* error) {
    const fs::path dir(folder);
    char language[16];
    std::snprintf(language, sizeof language, "0x%04X", static_cast<unsigned>(machine.DefaultLanguage()));
    std::ostringstream header;
    header << kMagic << "\nversion=" << winsim::OsVersionName(machine.Version()) << "\nclock_ms=" << machine.NowMs()
           << "\nlanguage=" << language << "\naccount=" << AccountName(machine.CallerAccount())
           << "\nrole=" << winsim::ServerRoleName(machine.Role())
           << "\nserver_service=" << (machine.ServerServiceRunning() ? "running" : "stopped")
           << "\nie=" << (machine.InternetExplorerInstalled() ? 1 : 0) << "\n";
    if (winsim::IsNtFamily(machine.Version()))
        header << "service_pack=" << (ServicePackText(machine).empty() ? "none" : ServicePackText(machine)) << "\n";
    return WriteFileAtomically(dir / "registry.reg", machine.Reg().SaveRegText(), error) &&
           WriteFileAtomically(dir / "services.txt", machine.Services().SaveText(), error) &&
           WriteFileAtomically(dir / "devices.txt", machine.Devices().SaveText(), error) &&
           WriteFileAtomically(dir / "shortnames.txt", machine.ShortNames().SaveText(), error) &&
           WriteFileAtomically(dir / "programs.txt", machine.Processes().SaveText(), error) &&
           WriteFileAtomically(dir / "keysecurity.txt", machine.Security().SaveSecurityText(), error) &&
           WriteFileAtomically(dir / "machine.txt", header.str(), error);
}

bool CMachineFolder::Create(const std::string& folder, winsim::OsVersion version,
                            const std::function<void(winsim::Machine&)>& setUp, std::string* error) {
    std::error_code ec;
    if (fs::exists(folder, ec)) {
        *error = folder + " already exists";
        return false;
    }
    std::string work;
    if (!MakeSibling(folder, &work)) {
        *error = "cannot make a folder beside " + folder + ": " + std::strerror(errno);
        return false;
    }
    bool ok;
    {
        winsim::Machine machine(version, (fs::path(work) / "drives").string());
        winsim::Machine* previous = winsim::HasCurrent() ? &winsim::Current() : nullptr;
        winsim::SetCurrent(&machine);
        setUp(machine);
        ok = SaveMachineState(machine, work, error);
        winsim::SetCurrent(previous);
    }
    if (ok) {
        fs::rename(work, folder, ec);
        if (ec) {
            *error = "cannot create " + folder + ": " + ec.message();
            ok = false;
        }
    }
    if (!ok) fs::remove_all(work, ec);
    return ok;
}

bool CMachineFolder::Open(const std::string& folder, std::string* error) {
    std::error_code ec;
    std::string header;
    if (!fs::is_directory(folder, ec) || !ReadWholeText(fs::path(folder) / "machine.txt", &header)) {
        *error = folder + " is not a kvsim machine folder (no machine.txt; make one with kvsim create)";
        return false;
    }
    std::istringstream lines(header);
    std::string line, versionName;
    uint64_t clock = 0;
    unsigned long language = 0x409;  // folders made before the language was kept
    // Nor the rest: the machine's own defaults then.
    std::optional<winsim::Machine::Account> account;
    std::optional<winsim::Machine::ServerRole> role;
    std::optional<bool> serverRunning, ie;
    std::optional<std::string> servicePack;
    std::getline(lines, line);
    if (line != kMagic) {
        *error = folder + "/machine.txt does not start with \"" + kMagic + "\"";
        return false;
    }
    while (std::getline(lines, line)) {
        if (line.rfind("version=", 0) == 0)
            versionName = line.substr(8);
        else if (line.rfind("clock_ms=", 0) == 0)
            clock = std::strtoull(line.c_str() + 9, nullptr, 10);
        else if (line.rfind("language=", 0) == 0) {
            char* end = nullptr;
            language = std::strtoul(line.c_str() + 9, &end, 0);
            if (end == line.c_str() + 9 || *end || language == 0 || language > 0xFFFF) {
                *error = folder + "/machine.txt names no language ('" + line.substr(9) + "')";
                return false;
            }
        } else if (const size_t equals = line.find('='); equals != std::string::npos) {
            const std::string key = line.substr(0, equals), value = line.substr(equals + 1);
            bool ok = true;
            if (key == "account") {
                winsim::Machine::Account a = winsim::Machine::Account::Administrator;
                ok = ParseAccount(value, &a);
                account = a;
            } else if (key == "role") {
                role = winsim::ParseServerRole(value);
                ok = role.has_value();
            } else if (key == "server_service") {
                ok = value == "running" || value == "stopped";
                serverRunning = value == "running";
            } else if (key == "ie") {
                ok = value == "1" || value == "0";
                ie = value == "1";
            } else if (key == "service_pack") {
                servicePack = value;
            }
            if (!ok) {
                *error = folder + "/machine.txt: '" + line + "' is not a value kvsim knows";
                return false;
            }
        }
    }
    const auto version = winsim::ParseOsVersion(versionName);
    if (!version) {
        *error = folder + "/machine.txt names no known Windows version ('" + versionName + "')";
        return false;
    }
    std::string regText, servicesText;
    if (!ReadWholeText(fs::path(folder) / "registry.reg", &regText) ||
        !ReadWholeText(fs::path(folder) / "services.txt", &servicesText)) {
        *error = folder + " lacks registry.reg or services.txt";
        return false;
    }

    if (!MakeSibling(folder, &work_)) {
        *error = "cannot make a working copy beside " + folder + ": " + std::strerror(errno);
        return false;
    }
    folder_ = folder;
    fs::copy(folder, work_, fs::copy_options::recursive | fs::copy_options::copy_symlinks, ec);
    if (ec) {
        *error = "cannot copy " + folder + ": " + ec.message();
        Discard();
        return false;
    }
    machine_ = std::make_unique<winsim::Machine>(*version, (fs::path(work_) / "drives").string());
    winsim::SetCurrent(machine_.get());
    machine_->Advance(clock);
    machine_->SetDefaultLanguage(static_cast<WORD>(language));
    if (account) machine_->SetCallerAccount(*account);
    if (role) machine_->SetServerRole(*role);
    if (serverRunning) machine_->SetServerServiceRunning(*serverRunning);
    if (ie) machine_->SetInternetExplorerInstalled(*ie);
    if (servicePack && !SetServicePackText(*machine_, *servicePack)) {
        *error = folder + "/machine.txt: 'service_pack=" + *servicePack + "' is not a service pack of " +
                 winsim::OsVersionName(*version);
        Discard();
        return false;
    }
    ClearRegistry(machine_->Reg());
    std::string why;
    if (!machine_->Reg().LoadRegText(regText, &why)) {
        *error = folder + "/registry.reg is damaged: " + why;
        Discard();
        return false;
    }
    if (!machine_->Services().LoadText(servicesText, &why)) {
        *error = folder + "/services.txt is damaged: " + why;
        Discard();
        return false;
    }
    // Folders made before devices were kept have none.
    std::string devicesText;
    if (ReadWholeText(fs::path(folder) / "devices.txt", &devicesText) &&
        !machine_->Devices().LoadText(devicesText, &why)) {
        *error = folder + "/devices.txt is damaged: " + why;
        Discard();
        return false;
    }
    // Nor short names, before they were kept.
    std::string shortNamesText;
    if (ReadWholeText(fs::path(folder) / "shortnames.txt", &shortNamesText) &&
        !machine_->ShortNames().LoadText(shortNamesText, &why)) {
        *error = folder + "/shortnames.txt is damaged: " + why;
        Discard();
        return false;
    }
    // Nor programs, before programs were kept.
    std::string programsText;
    if (ReadWholeText(fs::path(folder) / "programs.txt", &programsText) &&
        !machine_->Processes().LoadText(programsText, &why)) {
        *error = folder + "/programs.txt is damaged: " + why;
        Discard();
        return false;
    }
    // Nor key security, before it was kept; read after the registry, whose keys it names.
    std::string securityText;
    if (ReadWholeText(fs::path(folder) / "keysecurity.txt", &securityText) &&
        !machine_->Security().LoadSecurityText(securityText, &why)) {
        *error = folder + "/keysecurity.txt is damaged: " + why;
        Discard();
        return false;
    }
    return true;
}

bool CMachineFolder::Commit(std::string* error) {
    if (!machine_ || !SaveMachineState(*machine_, work_, error)) return false;
    // One step: the copy takes the folder's name and the folder the copy's.
    if (renameat2(AT_FDCWD, work_.c_str(), AT_FDCWD, folder_.c_str(), RENAME_EXCHANGE) != 0) {
        // A file system without the exchange: two renames, with the old folder kept until the new
        // one is in place.
        const std::string old = work_ + ".old";
        if (rename(folder_.c_str(), old.c_str()) != 0 || rename(work_.c_str(), folder_.c_str()) != 0) {
            *error = "cannot put the updated machine in place of " + folder_ + ": " + std::strerror(errno);
            return false;
        }
        std::error_code ec;
        fs::remove_all(old, ec);
        work_.clear();
    }
    Discard();  // now the old contents
    return true;
}

void CMachineFolder::Discard() {
    if (machine_ && winsim::HasCurrent() && &winsim::Current() == machine_.get()) winsim::SetCurrent(nullptr);
    machine_.reset();
    if (!work_.empty()) {
        std::error_code ec;
        fs::remove_all(work_, ec);
        work_.clear();
    }
}

CMachineFolder::~CMachineFolder() { Discard(); }

bool ReadWholeText(const std::filesystem::path& path, std::string* text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream contents;
    contents << in.rdbuf();
    *text = contents.str();
    return true;
}

}  // namespace kvsim
