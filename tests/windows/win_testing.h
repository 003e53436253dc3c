// What the Windows tests share: the folder of the test programs, the built library and its exports,
// registry keys and values.
#pragma once

#include "shared/proc.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

// The build's output folder, with its closing backslash: the library and the test binaries lie there.
inline std::string ProgramFolder() {
    char path[MAX_PATH] = {};
    const std::string program(path, GetModuleFileNameA(nullptr, path, MAX_PATH));
    return program.substr(0, program.find_last_of("\\/") + 1);
}

inline std::string SystemDirectory() {
    char path[MAX_PATH] = {};
    GetSystemDirectoryA(path, MAX_PATH);
    return path;
}

// KVISINST.DLL, loaded for the life of the object.
class CKvisinst {
public:
    CKvisinst() : module_(LoadLibraryA("KVISINST.DLL")) { EXPECT_NE(module_, nullptr) << "error " << GetLastError(); }
    ~CKvisinst() {
        if (module_) FreeLibrary(module_);
    }
    CKvisinst(const CKvisinst&) = delete;
    CKvisinst& operator=(const CKvisinst&) = delete;

    // The export of that name as the function type `T`; null (and a failure) when it is missing.
    template <typename T>
    T Export(const char* name) const {
        const T address = module_ ? ProcAs<T>(GetProcAddress(module_, name)) : nullptr;
        EXPECT_NE(address, nullptr) << name;
        return address;
    }

private:
    HMODULE module_;
};

inline bool KeyExists(HKEY root, const std::string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

// Creates the key with every missing level, and sets the string `value` in it when one is named.
inline void SetString(HKEY root, const std::string& path, const char* value = nullptr, const std::string& data = "") {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), ERROR_SUCCESS)
        << path;
    if (value)
        RegSetValueExA(key, value, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                       static_cast<DWORD>(data.size() + 1));
    RegCloseKey(key);
}

// A string value: REG_SZ as one string, REG_MULTI_SZ as its strings (the empty ones kept, the closing
// one not); none when the value is missing.
inline std::vector<std::string> ReadStrings(HKEY root, const std::string& path, const char* value) {
    std::vector<std::string> strings;
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return strings;
    DWORD size = 0, type = 0;
    if (RegQueryValueExA(key, value, nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
        std::string data(size, '\0');
        RegQueryValueExA(key, value, nullptr, &type, reinterpret_cast<BYTE*>(&data[0]), &size);
        data.resize(size);
        if (type == REG_SZ) strings.push_back(data.c_str());
        for (size_t at = 0; type == REG_MULTI_SZ && at + 1 < data.size(); at = data.find('\0', at) + 1)
            strings.push_back(data.c_str() + at);
    }
    RegCloseKey(key);
    return strings;
}
