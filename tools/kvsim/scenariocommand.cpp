// kvsim scenario and compare: a scenario file run on a fresh simulated machine, and two dumps compared
// with Wine's known deviations excused.
#include "tools/kvsim/changes.h"
#include "tools/kvsim/commands.h"
#include "tools/kvsim/exporttable.h"
#include "tools/kvsim/machinefolder.h"
#include "tools/scenario/compare.h"
#include "tools/scenario/runner.h"

#include <winsim/loader.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace kvsim {

namespace {

namespace fs = std::filesystem;

// Options --NAME VALUE (or --NAME=VALUE) among the positional arguments.
bool SplitOptions(const std::vector<std::string>& args, const std::vector<std::string>& names,
                  std::vector<std::string>* positional, std::vector<std::string>* values, const char* command) {
    values->assign(names.size(), "");
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i].rfind("--", 0) != 0) {
            positional->push_back(args[i]);
            continue;
        }
        const size_t equals = args[i].find('=');
        const std::string name = args[i].substr(0, equals);
        size_t which = 0;
        while (which < names.size() && names[which] != name) ++which;
        if (which == names.size()) {
            std::fprintf(stderr, "kvsim %s: unknown option '%s'\n", command, args[i].c_str());
            return false;
        }
        if (equals != std::string::npos) {
            (*values)[which] = args[i].substr(equals + 1);
        } else if (i + 1 < args.size()) {
            (*values)[which] = args[++i];
        } else {
            std::fprintf(stderr, "kvsim %s: %s needs a value\n", command, name.c_str());
            return false;
        }
    }
    return true;
}

// A machine folder of its own, removed with the object.
class CTemporaryFolder {
public:
    CTemporaryFolder() {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/kvsim-scenario.XXXXXX";
        if (mkdtemp(pattern.data())) path_ = pattern;
    }
    ~CTemporaryFolder() {
        std::error_code ec;
        if (!path_.empty()) fs::remove_all(path_, ec);
    }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

}  // namespace

int RunScenarioCommand(const std::vector<std::string>& args) {
    std::vector<std::string> positional, values;
    if (!SplitOptions(args, {"--version", "--out"}, &positional, &values, "scenario")) return kExitUsage;
    if (positional.size() != 1 || values[0].empty()) {
        std::fprintf(
            stderr, "kvsim scenario: give a scenario file and a version (scenario FILE --version 2000 [--out DUMP])\n");
        return kExitUsage;
    }
    const auto version = VersionArgument("scenario", values[0]);
    if (!version) return kExitUsage;
    scenario::Scenario scenario;
    std::string error;
    if (!scenario::LoadScenario(positional[0], &scenario, &error)) {
        std::fprintf(stderr, "kvsim scenario: %s\n", error.c_str());
        return kExitBadInput;
    }
    CTemporaryFolder temporary;
    const std::string folder = temporary.Path() + "/machine";
    CMachineFolder machine;
    if (temporary.Path().empty() ||
        !CMachineFolder::Create(
            folder, *version, [](winsim::Machine&) {}, &error) ||
        !machine.Open(folder, &error)) {
        std::fprintf(stderr, "kvsim scenario: cannot make a machine: %s\n", error.c_str());
        return kExitBadInput;
    }
    SimulateSupportLibraries(machine.Machine());
    winsim::MapLibrary("KVISINST.DLL", LibraryPath());
    std::string dump;
    const bool ran = scenario::RunScenario(scenario, &dump, &error);
    machine.Discard();
    if (!ran) {
        std::fprintf(stderr, "kvsim scenario: %s: %s\n", positional[0].c_str(), error.c_str());
        return error.find("cannot be loaded") != std::string::npos ? kExitNoLibrary : kExitBadInput;
    }
    if (values[1].empty()) {
        std::fputs(dump.c_str(), stdout);
        return kExitOk;
    }
    std::ofstream out(values[1], std::ios::binary);
    if (!(out << dump) || !out.flush()) {
        std::fprintf(stderr, "kvsim scenario: cannot write %s\n", values[1].c_str());
        return kExitBadInput;
    }
    return kExitOk;
}

int RunCompare(const std::vector<std::string>& args) {
    std::vector<std::string> positional, values;
    if (!SplitOptions(args, {"--deviations"}, &positional, &values, "compare")) return kExitUsage;
    if (positional.size() != 2) {
        std::fprintf(stderr, "kvsim compare: give two dumps (compare WINSIM_DUMP WINE_DUMP [--deviations FILE])\n");
        return kExitUsage;
    }
    std::string first, second, listed, error;
    for (const auto& [file, text] : {std::make_pair(positional[0], &first), std::make_pair(positional[1], &second),
                                     std::make_pair(values[0], &listed)})
        if (!file.empty() && !ReadWholeText(file, text)) {
            std::fprintf(stderr, "kvsim compare: cannot read %s\n", file.c_str());
            return kExitBadInput;
        }
    std::vector<scenario::Deviation> deviations;
    if (!scenario::ParseDeviations(listed, &deviations, &error)) {
        std::fprintf(stderr, "kvsim compare: %s: %s\n", values[0].c_str(), error.c_str());
        return kExitBadInput;
    }
    const std::string name = scenario::DumpScenarioName(first);
    if (name != scenario::DumpScenarioName(second)) {
        std::fprintf(stderr, "kvsim compare: the dumps are of different scenarios ('%s', '%s')\n", name.c_str(),
                     scenario::DumpScenarioName(second).c_str());
        return kExitFailed;
    }
    const auto diff = scenario::CompareDumps(first, second, deviations);
    size_t unlisted = 0;
    for (const auto& line : diff) unlisted += line.excused ? 0 : 1;
    std::printf("scenario %s: %zu line(s) differ, %zu of them known Wine deviations\n", name.c_str(), diff.size(),
                diff.size() - unlisted);
    if (!diff.empty()) std::printf("  - %s\n  + %s\n", positional[0].c_str(), positional[1].c_str());
    // Every line no deviation excuses, in full; the excused ones counted by the entry that excuses them,
    // with the first as an example (a probe's transcript may have thousands).
    std::vector<std::pair<const scenario::Deviation*, std::vector<const scenario::DiffLine*>>> known;
    for (const auto& line : diff) {
        if (!line.excused) {
            std::printf("%c %s\n    NOT LISTED\n", line.side, line.text.c_str());
            continue;
        }
        auto entry = std::find_if(known.begin(), known.end(), [&](const auto& k) { return k.first == line.excused; });
        if (entry == known.end()) entry = known.insert(known.end(), {line.excused, {}});
        entry->second.push_back(&line);
    }
    for (const auto& [deviation, lines] : known) {
        std::printf("%c %s\n", lines[0]->side, lines[0]->text.c_str());
        if (lines.size() > 1) std::printf("    and %zu more line(s) the same entry excuses\n", lines.size() - 1);
        std::printf("    known (deviations line %d): %s\n", deviation->line, deviation->reason.c_str());
    }
    return unlisted ? kExitFailed : kExitOk;
}

}  // namespace kvsim
