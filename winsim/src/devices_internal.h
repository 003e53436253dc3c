// Shared by the device tree (devices.cpp), SetupAPI's device information sets (setupapi_devices.cpp)
// and the simulated cfgmgr32.dll (cfgmgr32_devices.cpp).
#pragma once

#include <winsim/devices.h>
#include <winsim/loader.h>
#include <winsim/win32api.h>

#include <string>
#include <string_view>
#include <vector>

namespace winsim {

// The class GUID of a setup class name; GUID_NULL for a class the simulation does not know.
GUID ClassGuidOf(const std::string& className);

// "a,b,c" and back: hardware IDs as Windows 95/98 keep them and as devices.txt writes them.
std::string JoinList(const std::vector<std::string>& parts, char separator);
std::vector<std::string> SplitList(std::string_view text, char separator);

// The exports of the simulated cfgmgr32.dll.
extern const ExportEntry kConfigManagerExports[];

}  // namespace winsim
