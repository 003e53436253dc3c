// The registry probe: random operations under HKCU\Software\KvProbe (keys created, opened and deleted;
// values of every common type set with their terminator, without it and with sizes that do not fit the
// type; values read with no buffer, an exact one and a short one; key information; enumeration), each
// with what it returned and what it wrote back.
#include "tools/scenario/probe.h"
#include "tools/scenario/runner.h"

#include <algorithm>
#include <cstdio>

namespace scenario {

namespace {

const char kRoot[] = "Software\\KvProbe";
const char* const kKeys[] = {"", "A", "A\\B", "a\\b\\C", "Second", "Second\\Deep Name", "A\\Missing"};
const char* const kValueNames[] = {"", "v", "V", "value two", "x"};
const DWORD kTypes[] = {REG_SZ, REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, REG_BINARY, REG_NONE};

std::string HexBytes(const unsigned char* bytes, size_t size) {
    std::string text;
    for (size_t i = 0; i < size; ++i) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02x", bytes[i]);
        text += hex;
    }
    return text.empty() ? "-" : text;
}

std::string KeyName(const char* path) { return *path ? std::string("\\") + path : std::string(); }

// A value's data as set: the bytes handed over, and the size said (which may leave the terminator out,
// or cut into a DWORD). The byte after the said size is a NUL or not, at random.
struct Data {
    std::string bytes;
    DWORD size;
};

Data RandomData(ProbeRandom& random, DWORD type) {
    static const char kLetters[] = "abcXYZ 019";
    auto text = [&](unsigned longest) {
        std::string t;
        for (unsigned n = random.Below(longest + 1); n-- > 0;) t += kLetters[random.Below(sizeof kLetters - 1)];
        return t;
    };
    Data data;
    if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ) {
        if (type == REG_MULTI_SZ)
            for (unsigned items = random.Below(4); items-- > 0;) data.bytes += text(5) + '\0';
        else
            data.bytes = text(8);
        data.bytes += '\0';
        const DWORD whole = static_cast<DWORD>(data.bytes.size());
        const unsigned pick = random.Below(20);
        data.size = pick < 11   ? whole
                    : pick < 15 ? whole - 1
                    : pick < 17 ? (whole > 1 ? whole - 2 : 0)
                    : pick < 19 ? 0
                                : 1;
    } else if (type == REG_DWORD) {
        for (int i = 0; i < 4; ++i) data.bytes += static_cast<char>(random.Below(256));
        data.size = random.Chance(85) ? 4 : random.Below(7);
    } else {
        for (unsigned n = random.Below(11); n-- > 0;) data.bytes += static_cast<char>(random.Below(256));
        data.size = static_cast<DWORD>(data.bytes.size());
    }
    if (data.size > data.bytes.size()) data.bytes.resize(data.size);
    data.bytes.resize(data.size);
    data.bytes += random.Chance(50) ? '\0' : 'Q';
    data.bytes += "QQQQ";  // room for a reader that looks past the size said
    return data;
}

// Opens KEY below the probe's root; the error as a transcript word when it cannot.
HKEY OpenProbeKey(const char* path, REGSAM access, std::string* failure) {
    HKEY key = nullptr;
    const LONG opened = RegOpenKeyExA(HKEY_CURRENT_USER, (kRoot + KeyName(path)).c_str(), 0, access, &key);
    if (opened != ERROR_SUCCESS) *failure = "open " + std::to_string(opened);
    return opened == ERROR_SUCCESS ? key : nullptr;
}

std::string Query(HKEY key, const char* name) {
    DWORD type = 0xDEADBEEF, size = 0xDEADBEEF;
    LONG result = RegQueryValueExA(key, name, nullptr, &type, nullptr, &size);
    std::string text = "sized " + std::to_string(result) + " type " + std::to_string(type) + " size " +
                       (size == 0xDEADBEEF ? std::string("untouched") : std::to_string(size));
    if (result != ERROR_SUCCESS || size > 4096) return text;
    // Read with a byte of room to spare: a string stored without its terminator gets one there.
    const DWORD said = size;
    std::string buffer(said + 2, '\xCC');
    type = 0xDEADBEEF;
    size = said + 1;
    result = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size);
    text += ", read " + std::to_string(result) + " size " + std::to_string(size) + " bytes " +
            HexBytes(reinterpret_cast<const unsigned char*>(buffer.data()), buffer.size());
    if (said > 0) {
        size = said - 1;
        result = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size);
        text += ", short " + std::to_string(result) + " size " + std::to_string(size);
    }
    return text;
}

std::string Information(HKEY key) {
    DWORD subkeys = 0, longestSubkey = 0, values = 0, longestName = 0, longestData = 0;
    const LONG result = RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, &longestSubkey, nullptr, &values,
                                         &longestName, &longestData, nullptr, nullptr);
    return "info " + std::to_string(result) + " subkeys " + std::to_string(subkeys) + " longest " +
           std::to_string(longestSubkey) + " values " + std::to_string(values) + " longest name " +
           std::to_string(longestName) + " data " + std::to_string(longestData);
}

// The subkeys in the order enumerated; the values sorted by name (each with its data), and then the
// order they were enumerated in on a line of its own.
void Enumerate(HKEY key, const std::string& at, std::vector<std::string>* lines) {
    std::string subkeys;
    char name[256];
    for (DWORD i = 0;; ++i) {
        DWORD size = sizeof name;
        if (RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        subkeys += (i ? "," : "") + Quoted(std::string(name, size));
    }
    lines->push_back(at + " subkeys " + subkeys);
    std::vector<std::string> values;
    std::string order;
    for (DWORD i = 0;; ++i) {
        unsigned char data[256];
        DWORD nameSize = sizeof name, dataSize = sizeof data, type = 0;
        const LONG result = RegEnumValueA(key, i, name, &nameSize, nullptr, &type, data, &dataSize);
        if (result == ERROR_NO_MORE_ITEMS) break;
        if (result != ERROR_SUCCESS) {
            values.push_back("enumeration " + std::to_string(result));
            break;
        }
        const std::string shown = Quoted(std::string(name, nameSize));
        values.push_back(shown + " type " + std::to_string(type) + " size " + std::to_string(dataSize) + " " +
                         HexBytes(data, dataSize));
        order += (i ? "," : "") + shown;
    }
    std::sort(values.begin(), values.end());
    for (const auto& value : values) lines->push_back(at + " value " + value);
    lines->push_back(at + " value order " + order);
}

}  // namespace

void RunRegistryProbe(uint64_t seed, unsigned count, std::vector<std::string>* lines) {
    ProbeRandom random(seed);
    DeleteTree(HKEY_CURRENT_USER, kRoot);
    const char* lastPath = kKeys[0];
    const char* lastName = kValueNames[0];
    for (unsigned n = 0; n < count; ++n) {
        // Every choice is drawn whatever the outcome, so that one call's different result on another
        // machine does not change the calls after it. Half the time the key and value last set, so
        // that reads see what writes left.
        const bool again = random.Chance(50);
        const char* path = again ? lastPath : random.Pick(kKeys);
        const char* name = again ? lastName : random.Pick(kValueNames);
        const unsigned operation = random.Below(100);
        const DWORD type = random.Pick(kTypes);
        const Data data = RandomData(random, type);

        std::string line = "reg " + std::to_string(n) + " HKCU\\" + kRoot + KeyName(path);
        std::string failure;
        if (operation < 25) {
            HKEY key = nullptr;
            DWORD disposition = 0;
            const LONG result = RegCreateKeyExA(HKEY_CURRENT_USER, (kRoot + KeyName(path)).c_str(), 0, nullptr, 0,
                                                KEY_ALL_ACCESS, nullptr, &key, &disposition);
            line += " create " + std::to_string(result) + " disposition " + std::to_string(disposition);
            if (result == ERROR_SUCCESS) RegCloseKey(key);
        } else if (operation < 30) {
            line += *path ? " delete key " +
                                std::to_string(RegDeleteKeyA(HKEY_CURRENT_USER, (kRoot + KeyName(path)).c_str()))
                          : " delete key (the probe's root) not tried";
        } else if (HKEY key = OpenProbeKey(path, KEY_ALL_ACCESS, &failure); !key) {
            line += " " + failure;
        } else {
            if (operation < 52) {
                const LONG result =
                    RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(data.bytes.data()), data.size);
                line += " set " + Quoted(name) + " type " + std::to_string(type) + " size " +
                        std::to_string(data.size) + " then " + (data.bytes[data.size] ? "Q" : "NUL") + " " +
                        HexBytes(reinterpret_cast<const unsigned char*>(data.bytes.data()), data.size) + " -> " +
                        std::to_string(result);
            } else if (operation < 77) {
                line += " query " + Quoted(name) + " " + Query(key, name);
            } else if (operation < 85) {
                line += " delete value " + Quoted(name) + " " + std::to_string(RegDeleteValueA(key, name));
            } else if (operation < 92) {
                line += " " + Information(key);
            } else {
                Enumerate(key, line, lines);
                line.clear();
            }
            RegCloseKey(key);
        }
        if (operation >= 30 && operation < 52) {
            lastPath = path;
            lastName = name;
        }
        if (!line.empty()) lines->push_back(line);
    }
    DeleteTree(HKEY_CURRENT_USER, kRoot);
}

}  // namespace scenario
