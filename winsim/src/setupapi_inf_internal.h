// What SetupAPI's INF reading (setupapi_inf.cpp) shares with the installation of INF sections
// (setupapi_install*.cpp): the parsed file behind an HINF and the paths of the directory ids.
#pragma once

#include "inf_parser.h"

#include <memory>
#include <optional>
#include <string>

namespace winsim {

struct OpenInfView {
    std::shared_ptr<const InfDocument> document;  // every %strkey% and %dirid% substituted
    std::string path;                             // the Windows path it was read from
    std::string directory;                        // its folder (dirid 1)
};
// The INF an HINF of the current process names, or nothing.
std::optional<OpenInfView> FindOpenInf(const void* handle);

// The folder a directory id (10, 11, 12, 17, 18, 20, 24, 25, 30, 50, 54, and 1: the INF's folder)
// names on the current machine's version; nothing for an id winsim does not know.
std::optional<std::string> InfDirIdPath(long id, const std::string& infDirectory);

}  // namespace winsim
