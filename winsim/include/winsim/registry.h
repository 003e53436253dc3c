// The simulated registry: hives, keys, typed values in the order Windows enumerates them, saved and
// loaded as .reg text. The Reg*A functions (win32api.h) work on the current machine's registry.
#pragma once

#include <winsim/types.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace winsim {

class Registry {
public:
    Registry();
    ~Registry();

    // .reg text: "Windows Registry Editor Version 5.00" is written; REGEDIT4 is read too.
    // Loading merges into what is there (as regedit does); errors name the line.
    bool LoadRegText(std::string_view text, std::string* error);
    std::string SaveRegText() const;

    // Value access for tests and tools. Paths are "HKEY_LOCAL_MACHINE\Software\..." (abbreviations
    // such as HKLM are accepted).
    bool KeyExists(std::string_view path) const;
    std::optional<std::string> StringValue(std::string_view keyPath, std::string_view valueName) const;

    struct Impl;
    Impl& impl() { return *impl_; }

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace winsim
