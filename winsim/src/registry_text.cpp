// The registry as .reg text, the form regedit exports and imports.
//
// Writing follows regedit's "Windows Registry Editor Version 5.00" export: a header line, then for
// every key, depth first and in enumeration order, a "[HKEY_...\path]" line, its values and a blank
// line. Values: "name"="text" (\\ and \" escaped) for a REG_SZ that is one NUL-terminated string,
// dword:0000000a for a four-byte REG_DWORD, hex: for REG_BINARY and hex(N): for everything else,
// lists wrapped with a trailing backslash so that no line passes 80 columns. As in 5.00 exports,
// string types written as hex (hex(1), hex(2), hex(7)) carry UTF-16LE bytes. Only the two stored
// hives are written (the other predefined keys are views of them); a hive root appears only when it
// has values of its own, and volatile keys, which would not outlive a restart, are left out.
//
// Encoding. Registry strings are ANSI (code page 1252). The text is UTF-8 with "\n" line ends,
// which the host's tools read well, where regedit would write UTF-16 and CR LF. Reading accepts
// CR LF, a UTF-8 byte order mark, UTF-16LE text with its byte order mark, and any byte that is not
// part of valid UTF-8 as a code page 1252 character - which is how a REGEDIT4 file exported on
// Windows 95 arrives. Characters code page 1252 lacks become '?'.
//
// Reading takes both headers: after "REGEDIT4" hex(2) and hex(7) data are ANSI bytes, after
// "Windows Registry Editor Version 5.00" UTF-16LE. Besides the forms written it understands
// "[-KEY]" (removes the key and everything below it), "name"=- (removes a value), ';' comment
// lines, blank lines and hex lists continued on the next line. Value names (and only those, as
// they have no hex form) may also contain \n and \r, which is how names with line breaks are
// written. Strings otherwise keep a backslash that escapes nothing, as regedit does.
#include "registry_internal.h"

#include <winsim/text.h>

#include <cstdio>
#include <cstring>

namespace winsim {

namespace {

void AppendUtf8(std::string* out, char32_t c) {
    if (c < 0x80) {
        *out += static_cast<char>(c);
    } else if (c < 0x800) {
        *out += static_cast<char>(0xC0 | (c >> 6));
        *out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        *out += static_cast<char>(0xE0 | (c >> 12));
        *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        *out += static_cast<char>(0xF0 | (c >> 18));
        *out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::string AnsiToUtf8(std::string_view ansi) {
    std::string out;
    for (char c : ansi) AppendUtf8(&out, AnsiToUnicode(static_cast<unsigned char>(c)));
    return out;
}

// One UTF-8 sequence at `text[*pos]`, advancing past it; false (without advancing) when the bytes
// there are not valid UTF-8.
bool DecodeUtf8(std::string_view text, size_t* pos, char32_t* c) {
    unsigned char lead = static_cast<unsigned char>(text[*pos]);
    size_t length;
    char32_t value;
    if (lead < 0x80) {
        *c = lead;
        ++*pos;
        return true;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07;
    } else {
        return false;
    }
    if (*pos + length > text.size()) return false;
    for (size_t i = 1; i < length; ++i) {
        unsigned char next = static_cast<unsigned char>(text[*pos + i]);
        if ((next & 0xC0) != 0x80) return false;
        value = (value << 6) | (next & 0x3F);
    }
    // Overlong forms, surrogates and values past Unicode are not UTF-8.
    if ((length == 3 && value < 0x800) || (length == 4 && (value < 0x10000 || value > 0x10FFFF)) ||
        (value >= 0xD800 && value <= 0xDFFF)) {
        return false;
    }
    *c = value;
    *pos += length;
    return true;
}

std::string Utf8ToAnsi(std::string_view text) {
    std::string out;
    size_t pos = 0;
    while (pos < text.size()) {
        char32_t c;
        if (DecodeUtf8(text, &pos, &c)) {
            out += static_cast<char>(UnicodeToAnsi(c));
        } else {
            out += text[pos++];  // a code page 1252 byte
        }
    }
    return out;
}

std::vector<BYTE> AnsiToUtf16Bytes(const std::vector<BYTE>& ansi) {
    std::vector<BYTE> out;
    out.reserve(ansi.size() * 2);
    for (BYTE b : ansi) {
        char16_t c = AnsiToUnicode(b);
        out.push_back(static_cast<BYTE>(c & 0xFF));
        out.push_back(static_cast<BYTE>(c >> 8));
    }
    return out;
}

// UTF-16 code units to ANSI; a surrogate pair is one character and becomes one '?'.
std::string Utf16ToAnsi(const std::vector<char16_t>& units) {
    std::string out;
    for (size_t i = 0; i < units.size(); ++i) {
        char16_t c = units[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            ++i;
            out += '?';
        } else {
            out += static_cast<char>(UnicodeToAnsi(c));
        }
    }
    return out;
}

std::string Utf16TextToUtf8(std::string_view bytes) {
    std::string out;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        char32_t c = static_cast<unsigned char>(bytes[i]) | (static_cast<unsigned char>(bytes[i + 1]) << 8);
        if (c >= 0xD800 && c <= 0xDBFF && i + 3 < bytes.size()) {
            char32_t low = static_cast<unsigned char>(bytes[i + 2]) | (static_cast<unsigned char>(bytes[i + 3]) << 8);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            }
        }
        if (c >= 0xD800 && c <= 0xDFFF) c = '?';  // an unpaired surrogate
        AppendUtf8(&out, c);
    }
    return out;
}

bool IsStringType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimLeft(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    return s;
}

std::string_view TrimRight(std::string_view s) {
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// 1 to 8 hex digits, nothing else.
bool ParseHexNumber(std::string_view s, DWORD* value) {
    if (s.empty() || s.size() > 8) return false;
    DWORD result = 0;
    for (char c : s) {
        int digit = HexDigit(c);
        if (digit < 0) return false;
        result = (result << 4) | static_cast<DWORD>(digit);
    }
    *value = result;
    return true;
}

// ---- writing -----------------------------------------------------------------------------------

constexpr const char* kHeader5 = "Windows Registry Editor Version 5.00";
constexpr const char* kHeader4 = "REGEDIT4";
constexpr size_t kLineWidth = 80;

std::string EscapeName(std::string_view text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '\\': out += "\\\\"; break;
            case '"': out += "\\\""; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            default: out += c;
        }
    }
    return out;
}

std::string EscapeString(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out;
}

// A REG_SZ that the quoted form shows exactly: one string, its NUL, no line break.
bool IsPlainString(const std::vector<BYTE>& data) {
    if (data.empty() || data.back() != 0) return false;
    for (size_t i = 0; i + 1 < data.size(); ++i) {
        if (data[i] == 0 || data[i] == '\n' || data[i] == '\r') return false;
    }
    return true;
}

void AppendHexList(std::string* out, const std::string& prefix, const std::vector<BYTE>& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    *out += prefix;
    size_t column = prefix.size();
    for (size_t i = 0; i < bytes.size(); ++i) {
        bool last = i + 1 == bytes.size();
        size_t width = last ? 2 : 3;
        // Wrap so that a line with its continuation backslash stays within the width, but never
        // leave the first line of a long-named value without a byte.
        if (i > 0 && column + width + (last ? 0 : 1) > kLineWidth) {
            *out += "\\\n  ";
            column = 2;
        }
        *out += kDigits[bytes[i] >> 4];
        *out += kDigits[bytes[i] & 0xF];
        if (!last) *out += ',';
        column += width;
    }
    *out += '\n';
}

void AppendValue(std::string* out, const RegValue& value) {
    std::string prefix = value.name.empty() ? "@=" : "\"" + EscapeName(AnsiToUtf8(value.name)) + "\"=";
    if (value.type == REG_SZ && IsPlainString(value.data)) {
        std::string_view text(reinterpret_cast<const char*>(value.data.data()), value.data.size() - 1);
        *out += prefix + "\"" + EscapeString(AnsiToUtf8(text)) + "\"\n";
        return;
    }
    if (value.type == REG_DWORD && value.data.size() == 4) {
        DWORD number;
        std::memcpy(&number, value.data.data(), 4);
        char text[16];
        std::snprintf(text, sizeof(text), "dword:%08x", static_cast<unsigned>(number));
        *out += prefix + text + "\n";
        return;
    }
    std::string kind = "hex:";
    if (value.type != REG_BINARY) {
        char text[24];
        std::snprintf(text, sizeof(text), "hex(%x):", static_cast<unsigned>(value.type));
        kind = text;
    }
    AppendHexList(out, prefix + kind, IsStringType(value.type) ? AnsiToUtf16Bytes(value.data) : value.data);
}

void AppendKey(std::string* out, const RegKey& key, const std::string& path) {
    if (key.isVolatile) return;
    if (key.parent || !key.values.empty()) {
        *out += "[" + AnsiToUtf8(path) + "]\n";
        for (const auto& value : key.values) AppendValue(out, value);
        *out += "\n";
    }
    for (const auto& child : key.children) AppendKey(out, *child, path + "\\" + child->name);
}

bool SameValue(const RegValue& a, const RegValue& b) { return a.type == b.type && a.data == b.data; }

void AppendKeyDiff(std::string* out, const RegKey* from, const RegKey& to, const std::string& path) {
    if (to.isVolatile) return;
    if (from && from->isVolatile) from = nullptr;
    std::string lines;
    if (from) {
        for (const auto& old : from->values) {
            if (!to.Value(old.name)) {
                lines += old.name.empty() ? "@=-\n" : "\"" + EscapeName(AnsiToUtf8(old.name)) + "\"=-\n";
            }
        }
    }
    for (const auto& value : to.values) {
        const RegValue* old = from ? from->Value(value.name) : nullptr;
        if (!old || !SameValue(*old, value)) AppendValue(&lines, value);
    }
    if (!lines.empty() || (!from && to.parent)) *out += "[" + AnsiToUtf8(path) + "]\n" + lines + "\n";
    if (from) {
        for (const auto& old : from->children) {
            if (!old->isVolatile && !to.Child(old->name)) *out += "[-" + AnsiToUtf8(path + "\\" + old->name) + "]\n\n";
        }
    }
    for (const auto& child : to.children) {
        AppendKeyDiff(out, from ? from->Child(child->name) : nullptr, *child, path + "\\" + child->name);
    }
}

// ---- reading -----------------------------------------------------------------------------------

class CRegTextReader {
public:
    CRegTextReader(Registry::Impl& reg, std::string_view text) : reg_(reg) {
        size_t start = 0;
        while (start <= text.size()) {
            size_t end = text.find('\n', start);
            if (end == std::string_view::npos) end = text.size();
            std::string_view line = text.substr(start, end - start);
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            lines_.push_back(line);
            start = end + 1;
        }
    }

    bool Read(std::string* error) {
        for (index_ = 0; index_ < lines_.size(); ++index_) {
            std::string_view line = TrimLeft(lines_[index_]);
            if (line.find('\0') != std::string_view::npos) return Fail("NUL character in the text", error);
            if (line.empty()) continue;
            if (!headerSeen_) {
                line = TrimRight(line);
                if (line == kHeader5) {
                    unicode_ = true;
                } else if (line == kHeader4) {
                    unicode_ = false;
                } else {
                    return Fail("expected \"Windows Registry Editor Version 5.00\" or \"REGEDIT4\"", error);
                }
                headerSeen_ = true;
                continue;
            }
            if (line[0] == ';') continue;
            bool ok;
            if (line[0] == '[') {
                ok = ReadKeyLine(line);
            } else if (line[0] == '"' || line[0] == '@') {
                ok = ReadValueLine(line);
            } else {
                ok = Problem("unrecognised line");
            }
            if (!ok) return Fail(problem_, error);
        }
        if (!headerSeen_) {
            index_ = 0;
            return Fail("expected \"Windows Registry Editor Version 5.00\" or \"REGEDIT4\"", error);
        }
        return true;
    }

private:
    bool Problem(std::string text) {
        problem_ = std::move(text);
        return false;
    }

    bool Fail(const std::string& text, std::string* error) {
        if (error) *error = "line " + std::to_string(index_ + 1) + ": " + text;
        return false;
    }

    bool ReadKeyLine(std::string_view line) {
        line = TrimRight(line);
        size_t close = line.rfind(']');
        if (close == std::string_view::npos) return Problem("key line without ']'");
        std::string_view inner = line.substr(1, close - 1);
        bool remove = !inner.empty() && inner[0] == '-';
        if (remove) inner.remove_prefix(1);
        std::vector<std::string> parts = SplitKeyPath(Utf8ToAnsi(inner));
        RegRoot root;
        if (parts.empty() || !Registry::Impl::ParseRoot(parts[0], &root)) return Problem("unknown root key");
        parts.erase(parts.begin());
        for (const auto& part : parts) {
            if (part.size() > kMaxKeyNameLength) return Problem("key name longer than 255 characters");
        }
        current_ = nullptr;
        keySeen_ = true;
        if (remove) {
            std::vector<std::string> components = reg_.AliasPath(root);
            components.insert(components.end(), parts.begin(), parts.end());
            RegKey* key = reg_.FindBelow(reg_.HiveOf(root).get(), components);
            // A hive root cannot go; regedit reports nothing for a key that is not there.
            if (key && key->parent) reg_.RemoveTree(key);
            return true;
        }
        current_ = reg_.CreateBelow(reg_.RootKey(root), parts, false, nullptr);
        return true;
    }

    // A quoted string starting at line[*pos] == '"'; leaves *pos after the closing quote.
    bool ReadQuoted(std::string_view line, size_t* pos, bool isName, std::string* text) {
        ++*pos;
        while (*pos < line.size()) {
            char c = line[(*pos)++];
            if (c == '"') return true;
            if (c == '\\' && *pos < line.size()) {
                char next = line[(*pos)++];
                if (next == '\\' || next == '"') {
                    *text += next;
                } else if (isName && next == 'n') {
                    *text += '\n';
                } else if (isName && next == 'r') {
                    *text += '\r';
                } else {
                    *text += '\\';
                    *text += next;
                }
                continue;
            }
            *text += c;
        }
        return false;
    }

    bool ReadValueLine(std::string_view line) {
        if (!keySeen_) return Problem("value line before any key");
        size_t pos = 0;
        std::string name;
        if (line[0] == '@') {
            pos = 1;
        } else {
            std::string raw;
            if (!ReadQuoted(line, &pos, true, &raw)) return Problem("unterminated value name");
            name = Utf8ToAnsi(raw);
        }
        while (pos < line.size() && IsBlank(line[pos])) ++pos;
        if (pos >= line.size() || line[pos] != '=') return Problem("expected '=' after the value name");
        std::string_view data = TrimLeft(line.substr(pos + 1));

        if (!data.empty() && data[0] == '"') {
            size_t end = 0;
            std::string raw;
            if (!ReadQuoted(data, &end, false, &raw)) return Problem("unterminated string");
            if (!TrimRight(data.substr(end)).empty()) return Problem("unexpected text after the string");
            std::string ansi = Utf8ToAnsi(raw);
            std::vector<BYTE> bytes(ansi.begin(), ansi.end());
            bytes.push_back(0);
            return Store(name, REG_SZ, std::move(bytes));
        }
        data = TrimRight(data);
        if (data == "-") {
            if (current_) reg_.DeleteValue(current_, name);
            return true;
        }
        if (StartsWithNoCase(data, "dword:")) {
            DWORD number;
            if (!ParseHexNumber(data.substr(6), &number)) return Problem("dword data needs 1 to 8 hex digits");
            std::vector<BYTE> bytes(4);
            std::memcpy(bytes.data(), &number, 4);
            return Store(name, REG_DWORD, std::move(bytes));
        }
        if (StartsWithNoCase(data, "hex")) return ReadHexValue(name, data.substr(3));
        return Problem("unrecognised value data");
    }

    // `rest` follows "hex": either ":" or "(N):", then the byte list.
    bool ReadHexValue(const std::string& name, std::string_view rest) {
        DWORD type = REG_BINARY;
        if (!rest.empty() && rest[0] == '(') {
            size_t close = rest.find(')');
            if (close == std::string_view::npos || !ParseHexNumber(rest.substr(1, close - 1), &type)) {
                return Problem("bad type in hex(...)");
            }
            rest.remove_prefix(close + 1);
        }
        if (rest.empty() || rest[0] != ':') return Problem("expected ':' after hex");
        rest.remove_prefix(1);
        // Gather the list across continuation lines.
        std::string list;
        std::string_view piece = TrimRight(rest);
        while (!piece.empty() && piece.back() == '\\') {
            piece.remove_suffix(1);
            list += piece;
            if (index_ + 1 >= lines_.size()) return Problem("hex list continued past the end of the text");
            ++index_;
            piece = TrimRight(TrimLeft(lines_[index_]));
        }
        list += piece;

        std::vector<BYTE> bytes;
        std::string_view items = list;
        while (!TrimLeft(items).empty()) {
            size_t comma = items.find(',');
            std::string_view item = TrimRight(TrimLeft(items.substr(0, comma)));
            if (item.empty() && comma == std::string_view::npos) break;  // a trailing comma
            DWORD byte;
            if (item.size() > 2 || !ParseHexNumber(item, &byte)) {
                return Problem("bad hex byte '" + std::string(item) + "'");
            }
            bytes.push_back(static_cast<BYTE>(byte));
            if (comma == std::string_view::npos) break;
            items.remove_prefix(comma + 1);
        }
        if (IsStringType(type) && unicode_) {
            if (bytes.size() % 2) return Problem("UTF-16 string data with an odd number of bytes");
            std::vector<char16_t> units(bytes.size() / 2);
            for (size_t i = 0; i < units.size(); ++i) {
                units[i] = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
            }
            std::string ansi = Utf16ToAnsi(units);
            bytes.assign(ansi.begin(), ansi.end());
        }
        return Store(name, type, std::move(bytes));
    }

    // Values under a "[-KEY]" line have no key to go to and are passed over, as regedit does.
    bool Store(const std::string& name, DWORD type, std::vector<BYTE> data) {
        if (current_) reg_.SetValue(current_, name, type, std::move(data));
        return true;
    }

    Registry::Impl& reg_;
    std::vector<std::string_view> lines_;
    size_t index_ = 0;
    bool headerSeen_ = false;
    bool unicode_ = true;
    bool keySeen_ = false;
    RegKey* current_ = nullptr;
    std::string problem_;
};

}  // namespace

bool Registry::LoadRegText(std::string_view text, std::string* error) {
    std::string converted;
    if (text.size() >= 2 && text.substr(0, 2) == "\xFF\xFE") {
        converted = Utf16TextToUtf8(text.substr(2));
        text = converted;
    } else if (text.size() >= 3 && text.substr(0, 3) == "\xEF\xBB\xBF") {
        text.remove_prefix(3);
    }
    std::lock_guard<std::recursive_mutex> guard(impl_->lock);
    CRegTextReader reader(*impl_, text);
    return reader.Read(error);
}

std::string Registry::SaveRegText() const {
    std::lock_guard<std::recursive_mutex> guard(impl_->lock);
    std::string out = std::string(kHeader5) + "\n\n";
    AppendKey(&out, *impl_->machine, impl_->machine->name);
    AppendKey(&out, *impl_->users, impl_->users->name);
    return out;
}

std::string Registry::DiffRegText(const Registry& from, const Registry& to) {
    std::scoped_lock guard(from.impl_->lock, to.impl_->lock);
    std::string body;
    AppendKeyDiff(&body, from.impl_->machine.get(), *to.impl_->machine, to.impl_->machine->name);
    AppendKeyDiff(&body, from.impl_->users.get(), *to.impl_->users, to.impl_->users->name);
    if (body.empty()) return body;
    return std::string(kHeader5) + "\n\n" + body;
}

}  // namespace winsim
