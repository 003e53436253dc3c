// The scenario file's reader: sections, words, and the check of every line before anything runs.
#include "tools/scenario/scenario.h"

#include "tools/kvsim/exporttable.h"
#include "tools/kvsim/regvalue.h"
#include "tools/scenario/probe.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>

namespace scenario {

namespace {

bool EqualNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// The registry roots a key may start with.
bool HasRoot(const std::string& key) {
    static const char* const roots[] = {"HKLM", "HKEY_LOCAL_MACHINE", "HKCU", "HKEY_CURRENT_USER",
                                        "HKCR", "HKEY_CLASSES_ROOT",  "HKU",  "HKEY_USERS"};
    const std::string root = key.substr(0, key.find('\\'));
    for (const char* r : roots)
        if (EqualNoCase(root, r)) return true;
    return false;
}

bool IsWord(const std::string& text, std::initializer_list<const char*> words) {
    for (const char* w : words)
        if (text == w) return true;
    return false;
}

// Checks one [state] line; "" when it is right, else the reason.
std::string CheckState(const Step& s) {
    const size_t n = s.args.size();
    if (s.verb == "reg") {
        if (n < 4) return "reg KEY NAME TYPE DATA... (NAME @ for the default value)";
        if (!HasRoot(s.args[0])) return "'" + s.args[0] + "' does not start with HKLM, HKCU, HKCR or HKU";
        DWORD type = 0;
        if (!kvsim::IsTypeName(s.args[2], &type))
            return "'" + s.args[2] + "' is not REG_SZ, REG_EXPAND_SZ, REG_DWORD, REG_BINARY or REG_MULTI_SZ";
        std::vector<BYTE> bytes;
        std::string why;
        if (!kvsim::EncodeValue(type, std::vector<std::string>(s.args.begin() + 3, s.args.end()), &bytes, &why))
            return why;
        return "";
    }
    if (s.verb == "key") return n == 1 && HasRoot(s.args[0]) ? "" : "key KEY (starting with HKLM, HKCU, HKCR or HKU)";
    if (s.verb == "file") return n == 1 || n == 2 ? "" : "file PATH [TEXT]";
    if (s.verb == "copy") return n == 2 ? "" : "copy SOURCE PATH (SOURCE relative to the scenario's folder)";
    if (s.verb == "folder") return n == 1 ? "" : "folder PATH";
    if (s.verb == "hold") return n == 1 ? "" : "hold PATH (kept open, shared for reading only, while the calls run)";
    if (s.verb == "stand-in")
        return n == 2 ? "" : "stand-in PROGRAM PATH (PROGRAM beside the runner, copied when PATH is missing)";
    if (s.verb == "service") {
        if (n != 4) return "service NAME BINARY TYPE START";
        if (!IsWord(s.args[2], {"kernel", "filesystem", "own", "shared"}))
            return "'" + s.args[2] + "' is not a service type: kernel, filesystem, own or shared";
        if (!IsWord(s.args[3], {"boot", "system", "auto", "demand", "disabled"}))
            return "'" + s.args[3] + "' is not a start type: boot, system, auto, demand or disabled";
        return "";
    }
    if (s.verb == "delete") {
        const std::string what = n ? s.args[0] : "";
        if (what == "pending-renames" && n == 1) return "";
        if ((what == "key" || what == "file" || what == "folder" || what == "service") && n == 2)
            return what == "key" && !HasRoot(s.args[1])
                       ? "'" + s.args[1] + "' does not start with HKLM, HKCU, HKCR or HKU"
                       : "";
        if (what == "value" && n == 3) return HasRoot(s.args[1]) ? "" : "'" + s.args[1] + "' is not a registry key";
        return "delete key KEY | value KEY NAME | file PATH | folder PATH | service NAME | pending-renames";
    }
    return "'" + s.verb + "' is not a state line: reg, key, file, copy, folder, hold, stand-in, service or delete";
}

std::string CheckCall(const Step& s) {
    if (s.verb == "probe") {
        auto decimal = [](const std::string& w) {
            return !w.empty() && w.size() <= 9 && w.find_first_not_of("0123456789") == std::string::npos;
        };
        return s.args.size() == 3 && IsProbeArea(s.args[0]) && decimal(s.args[1]) && decimal(s.args[2])
                   ? ""
                   : "probe inf|registry|files|services SEED COUNT (each a decimal number of at most nine digits)";
    }
    const kvsim::ExportInfo* info = kvsim::FindExport(s.verb);
    if (!info) return "KVISINST.DLL has no export '" + s.verb + "'";
    if (s.args.size() != info->args.size())
        return std::string(info->name) + " takes " + std::to_string(info->args.size()) +
               " argument(s): " + info->argNames;
    for (size_t i = 0; i < s.args.size(); ++i) {
        kvsim::ArgValue value;
        std::string why;
        if (!kvsim::ParseArg(info->args[i], s.args[i], &value, &why))
            return std::string(info->name) + ", argument " + std::to_string(i + 1) + ": " + why;
    }
    return "";
}

std::string CheckCapture(const Step& s) {
    const size_t n = s.args.size();
    if (s.verb == "registry")
        return (n == 1 || n == 2) && HasRoot(s.args[0])
                   ? ""
                   : "registry KEY [VALUE] (KEY starting with HKLM, HKCU, HKCR or HKU)";
    if (s.verb == "folder") return n == 1 || n == 2 ? "" : "folder PATH [PATTERN]";
    if (s.verb == "service") return n == 1 ? "" : "service NAME";
    if (s.verb == "file") return n == 1 ? "" : "file PATH";
    if (s.verb == "pending-renames") return n == 0 ? "" : "pending-renames takes nothing";
    return "'" + s.verb + "' is not a capture line: registry, folder, file, service or pending-renames";
}

}  // namespace

bool SplitWords(const std::string& line, std::vector<std::string>* words, std::string* error) {
    words->clear();
    size_t i = 0;
    while (true) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
        if (i >= line.size()) return true;
        std::string word;
        if (line[i] == '"') {
            for (++i;; ++i) {
                if (i >= line.size()) {
                    *error = "a quoted word is not closed";
                    return false;
                }
                if (line[i] == '"') {
                    if (i + 1 < line.size() && line[i + 1] == '"') {
                        word += '"';
                        ++i;
                        continue;
                    }
                    ++i;
                    break;
                }
                word += line[i];
            }
            if (i < line.size() && line[i] != ' ' && line[i] != '\t') {
                *error = "a quoted word runs into the next";
                return false;
            }
        } else {
            while (i < line.size() && line[i] != ' ' && line[i] != '\t') word += line[i++];
        }
        words->push_back(word);
    }
}

bool ParseScenario(const std::string& text, Scenario* out, std::string* error) {
    std::istringstream in(text);
    std::string line;
    std::vector<Step>* section = nullptr;
    bool seen[3] = {};
    for (int number = 1; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        auto fail = [&](const std::string& why) {
            *error = "line " + std::to_string(number) + ": " + why;
            return false;
        };
        size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line[first] == '#' || line[first] == ';') continue;
        if (line[first] == '[') {
            const size_t close = line.find(']', first);
            const std::string name = close == std::string::npos ? "" : line.substr(first + 1, close - first - 1);
            if (close == std::string::npos || line.find_first_not_of(" \t", close + 1) != std::string::npos)
                return fail("a section line is [NAME] alone");
            static const char* const names[] = {"state", "calls", "capture"};
            std::vector<Step>* sections[] = {&out->state, &out->calls, &out->capture};
            section = nullptr;
            for (int i = 0; i < 3; ++i)
                if (name == names[i]) {
                    if (seen[i]) return fail("[" + name + "] comes twice");
                    seen[i] = true;
                    section = sections[i];
                }
            if (!section) return fail("unknown section [" + name + "]: [state], [calls] or [capture]");
            continue;
        }
        if (!section) return fail("a line before the first section ([state], [calls] or [capture])");
        std::vector<std::string> words;
        std::string why;
        if (!SplitWords(line, &words, &why)) return fail(why);
        Step step{number, words[0], std::vector<std::string>(words.begin() + 1, words.end())};
        why = section == &out->state ? CheckState(step) : section == &out->calls ? CheckCall(step) : CheckCapture(step);
        if (!why.empty()) return fail(why);
        section->push_back(std::move(step));
    }
    if (out->capture.empty()) {
        *error = "nothing to capture: the file has no [capture] lines";
        return false;
    }
    return true;
}

bool LoadScenario(const std::string& file, Scenario* out, std::string* error) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        *error = file + ": cannot read the file";
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    const size_t slash = file.find_last_of("/\\");
    out->folder = slash == std::string::npos ? "" : file.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? file : file.substr(slash + 1);
    if (name.size() > 4 && EqualNoCase(name.substr(name.size() - 4), ".scn")) name.resize(name.size() - 4);
    out->name = name;
    if (!ParseScenario(text.str(), out, error)) {
        *error = file + ": " + *error;
        return false;
    }
    return true;
}

std::string PathTokens::Expand(const std::string& text) const {
    std::string result = text;
    for (const auto& [token, folder] : folders)
        for (size_t at = result.find(token); at != std::string::npos; at = result.find(token, at + folder.size()))
            result.replace(at, token.size(), folder);
    return result;
}

std::string PathTokens::Tokenize(const std::string& text) const {
    // Longest folders first, so that %SYSTEM% wins over the %WINDIR% it lies in.
    std::vector<std::pair<std::string, std::string>> order = folders;
    std::stable_sort(order.begin(), order.end(),
                     [](const auto& a, const auto& b) { return a.second.size() > b.second.size(); });
    std::string upper = text;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    std::string result;
    for (size_t i = 0; i < text.size();) {
        bool replaced = false;
        for (const auto& [token, folder] : order) {
            if (folder.empty() || i + folder.size() > text.size()) continue;
            std::string f = folder;
            for (char& c : f) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            if (upper.compare(i, f.size(), f) != 0) continue;
            result += token;
            i += f.size();
            replaced = true;
            break;
        }
        if (!replaced) result += text[i++];
    }
    return result;
}

}  // namespace scenario
