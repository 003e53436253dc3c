// Registry values from their text form: kvsim set and the scenario files.
#include "tools/kvsim/regvalue.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>

namespace kvsim {

namespace {

const struct {
    const char* name;
    DWORD type;
} kValueTypes[] = {
    {"REG_SZ", REG_SZ},         {"REG_EXPAND_SZ", REG_EXPAND_SZ}, {"REG_DWORD", REG_DWORD},
    {"REG_BINARY", REG_BINARY}, {"REG_MULTI_SZ", REG_MULTI_SZ},
};

}  // namespace

bool IsTypeName(const std::string& text, DWORD* type) {
    for (const auto& t : kValueTypes)
        if (text == t.name) {
            *type = t.type;
            return true;
        }
    return false;
}

namespace {

// Hex bytes, two digits each, with or without commas or blanks between them: "01,ff", "01 ff", "01ff".
bool ParseHexBytes(const std::string& text, std::vector<BYTE>* bytes) {
    std::string digits;
    for (char c : text) {
        if (c == ',' || c == ' ') {
            if (digits.size() % 2) return false;  // a byte is two digits
            continue;
        }
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
        digits += c;
    }
    if (digits.size() % 2) return false;
    for (size_t i = 0; i < digits.size(); i += 2)
        bytes->push_back(static_cast<BYTE>(std::strtoul(digits.substr(i, 2).c_str(), nullptr, 16)));
    return true;
}

}  // namespace

bool EncodeValue(DWORD type, const std::vector<std::string>& data, std::vector<BYTE>* bytes, std::string* why) {
    if (type != REG_MULTI_SZ && data.size() != 1) {
        *why = "give one DATA argument (only REG_MULTI_SZ takes several, one string each)";
        return false;
    }
    switch (type) {
        case REG_SZ:
        case REG_EXPAND_SZ:
            bytes->assign(data[0].begin(), data[0].end());
            bytes->push_back(0);
            return true;
        case REG_DWORD: {
            char* end = nullptr;
            errno = 0;
            const unsigned long long value = std::strtoull(data[0].c_str(), &end, 0);
            if (data[0].empty() || *end || errno || value > 0xFFFFFFFFull || data[0][0] == '-') {
                *why = "'" + data[0] + "' is not a 32-bit number (decimal or 0x hex)";
                return false;
            }
            for (int i = 0; i < 4; ++i) bytes->push_back(static_cast<BYTE>(value >> (8 * i)));
            return true;
        }
        case REG_BINARY:
            if (!ParseHexBytes(data[0], bytes)) {
                *why = "'" + data[0] + "' is not hex bytes (01,02,ff or 0102ff)";
                return false;
            }
            return true;
        case REG_MULTI_SZ:
            // Each string with its NUL, and an empty one to end the list.
            for (const auto& text : data) {
                bytes->insert(bytes->end(), text.begin(), text.end());
                bytes->push_back(0);
            }
            bytes->push_back(0);
            return true;
    }
    return false;
}

}  // namespace kvsim
