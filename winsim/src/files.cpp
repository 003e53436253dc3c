#include "files_internal.h"

#include <winsim/files.h>
#include <winsim/machine.h>
#include <winsim/shortnames.h>
#include <winsim/text.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>
#include <vector>

namespace winsim {

namespace fs = std::filesystem;

namespace {

std::vector<std::string> SplitComponents(std::string_view path) {
    std::vector<std::string> parts;
    std::string part;
    for (char c : path) {
        if (c == '\\' || c == '/') {
            if (!part.empty()) parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty()) parts.push_back(part);
    return parts;
}

}  // namespace

std::optional<std::string> FullWindowsPath(std::string_view path) {
    if (path.empty()) return std::nullopt;
    std::string combined;
    const bool hasDrive = path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':';
    if (hasDrive) {
        // "C:x" is relative to drive C's own current directory, which this machine does not keep.
        if (path.size() > 2 && path[2] != '\\' && path[2] != '/') return std::nullopt;
        combined = std::string(path);
    } else if (path[0] == '\\' || path[0] == '/') {
        if (path.size() > 1 && (path[1] == '\\' || path[1] == '/')) return std::nullopt;  // UNC
        combined = Current().CurrentDirectory().substr(0, 2) + std::string(path);
    } else {
        combined = Current().CurrentDirectory() + "\\" + std::string(path);
    }
    const char drive = static_cast<char>(std::toupper(static_cast<unsigned char>(combined[0])));
    std::vector<std::string> resolved;
    for (auto& part : SplitComponents(std::string_view(combined).substr(2))) {
        if (part == ".") continue;
        if (part == "..") {
            if (resolved.empty()) return std::nullopt;
            resolved.pop_back();
            continue;
        }
        resolved.push_back(part);
    }
    std::string result{drive, ':'};
    for (auto& part : resolved) result += "\\" + part;
    if (resolved.empty()) result += "\\";
    return result;
}

namespace {

// A component that may stand for a short name: only those send a missing name to the short names,
// which would otherwise give a whole folder its names for every file about to be created.
bool MayBeShortName(std::string_view name) {
    const size_t tilde = name.find('~');
    return tilde != std::string_view::npos && tilde + 1 < name.size() &&
           std::isdigit(static_cast<unsigned char>(name[tilde + 1])) && ShortNames::IsShortName(name);
}

}  // namespace

ResolvedPath ResolveOn(Machine& machine, std::string_view fullPath) {
    ResolvedPath result;
    fs::path host = fs::path(machine.RootFolder()) / std::string(1, fullPath[0]);
    result.longPath = std::string(fullPath.substr(0, 2));
    // A name too long for the host (or otherwise unusable there) names nothing that exists.
    std::error_code unusable;
    bool exists = fs::is_directory(host, unusable);
    const auto parts = SplitComponents(fullPath.substr(2));
    result.components = parts.size();
    for (const auto& part : parts) {
        std::string chosen = part;
        if (exists) {
            // Names are matched without regard to case; the first spelling found on disk wins.
            exists = false;
            std::error_code ec;
            for (auto& entry : fs::directory_iterator(host, ec)) {
                if (EqualsNoCase(entry.path().filename().string(), part)) {
                    chosen = entry.path().filename().string();
                    exists = true;
                    break;
                }
            }
            if (!exists && MayBeShortName(part)) {
                const std::string folder = result.longPath.size() == 2 ? result.longPath + "\\" : result.longPath;
                if (auto longName = machine.ShortNames().LongNameOf(folder, part)) {
                    chosen = *longName;
                    exists = true;
                }
            }
            if (exists) ++result.found;
        }
        host /= chosen;
        result.longPath += "\\" + chosen;
        if (exists) exists = fs::is_directory(host, unusable);
    }
    if (parts.empty()) result.longPath += "\\";
    result.host = host.string();
    return result;
}

std::optional<std::string> HostPath(std::string_view windowsPath) {
    auto full = FullWindowsPath(windowsPath);
    if (!full) return std::nullopt;
    return ResolveOn(Current(), *full).host;
}

std::optional<std::string> ReadWholeFile(std::string_view windowsPath) {
    auto host = HostPath(windowsPath);
    std::error_code unusable;
    if (!host || !fs::is_regular_file(*host, unusable)) return std::nullopt;
    std::ifstream in(*host, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream contents;
    contents << in.rdbuf();
    return contents.str();
}

bool WriteWholeFile(std::string_view windowsPath, std::string_view contents) {
    auto host = HostPath(windowsPath);
    if (!host) return false;
    std::error_code ec;
    fs::create_directories(fs::path(*host).parent_path(), ec);
    std::ofstream out(*host, std::ios::binary | std::ios::trunc);
    out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
    return static_cast<bool>(out);
}

}  // namespace winsim
