#include "inf_parser.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace winsim {

char FoldInfChar(char c) {
    const auto u = static_cast<unsigned char>(c);
    if (u >= 'A' && u <= 'Z') return static_cast<char>(u + 0x20);
    // Code page 1252: the Latin-1 capitals (except the multiplication sign) and the four capitals it
    // places in 0x80..0x9F.
    if (u >= 0xC0 && u <= 0xDE && u != 0xD7) return static_cast<char>(u + 0x20);
    if (u == 0x8A || u == 0x8C || u == 0x8E) return static_cast<char>(u + 0x10);
    if (u == 0x9F) return static_cast<char>(0xFF);
    return c;
}

std::string FoldInfName(std::string_view text) {
    std::string folded(text);
    for (char& c : folded) c = FoldInfChar(c);
    return folded;
}

bool InfNamesEqual(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (FoldInfChar(a[i]) != FoldInfChar(b[i])) return false;
    return true;
}

int InfDocument::FindSection(std::string_view name) const {
    auto found = index_.find(FoldInfName(name));
    return found == index_.end() ? -1 : found->second;
}

int InfDocument::AddSection(std::string_view name) {
    auto [it, added] = index_.emplace(FoldInfName(name), static_cast<int>(sections.size()));
    if (added) sections.push_back(InfSection{std::string(name), {}});
    return it->second;
}

namespace {

// Blanks as SetupAPI trims them; a lone CR (one not ending a line) counts as one.
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

// Appends up to the field limit; SetupAPI cuts overlong fields silently.
void AppendLimited(std::string& field, std::string_view text) {
    if (field.size() >= kInfMaxField) return;
    field.append(text.substr(0, kInfMaxField - field.size()));
}

// Reads the text one physical line at a time; an entry may take several lines through '\'.
class CInfScanner {
public:
    explicit CInfScanner(std::string text) : text_(std::move(text)) {}

    InfDocument Run() {
        InfDocument document;
        while (pos_ < text_.size()) {
            SkipBlanks();
            if (AtLineEnd()) {
                NextLine();
                continue;
            }
            const char c = text_[pos_];
            if (c == ';') {
                NextLine();
            } else if (c == '[') {
                if (!ReadHeader(document)) return document;
            } else if (section_ < 0) {
                if (!document.strayLine) document.strayLine = line_;
                NextLine();
            } else {
                document.sections[section_].lines.push_back(ReadEntry());
            }
        }
        return document;
    }

private:
    bool AtLineEnd() const { return pos_ >= text_.size() || text_[pos_] == '\n'; }

    void SkipBlanks() {
        while (pos_ < text_.size() && IsBlank(text_[pos_])) ++pos_;
    }

    // Moves past the end of the current physical line.
    void NextLine() {
        const size_t end = text_.find('\n', pos_);
        if (end == std::string::npos) {
            pos_ = text_.size();
        } else {
            pos_ = end + 1;
            ++line_;
        }
    }

    // "[name]" with anything after the ']' ignored. The name is everything up to the first ']' on
    // the line, blanks, quotes and semicolons included, exactly as SetupAPI takes it.
    bool ReadHeader(InfDocument& document) {
        const size_t start = pos_ + 1;
        size_t end = start;
        while (end < text_.size() && text_[end] != '\n' && text_[end] != ']') ++end;
        if (end >= text_.size() || text_[end] != ']') {
            document.error = ERROR_BAD_SECTION_NAME_LINE;
            document.errorLine = line_;
            return false;
        }
        const std::string_view name(text_.data() + start, end - start);
        if (name.size() > kInfMaxSectionName) {
            document.error = ERROR_SECTION_NAME_TOO_LONG;
            document.errorLine = line_;
            return false;
        }
        section_ = document.AddSection(name);
        pos_ = end + 1;
        NextLine();
        return true;
    }

    // At a '\': when only blanks, further backslashes or a comment follow it on this line, the entry
    // continues on the next line and everything from the blanks before the '\' to the blanks that
    // start the next line drops out. Otherwise the run of backslashes and blanks is ordinary text,
    // blanks included, and is returned for the caller to take whole.
    std::optional<std::string_view> TakeBackslash() {
        size_t p = pos_;
        while (p < text_.size() && (text_[p] == '\\' || IsBlank(text_[p]))) ++p;
        if (p < text_.size() && text_[p] != '\n' && text_[p] != ';') {
            const std::string_view run(text_.data() + pos_, p - pos_);
            pos_ = p;
            return run;
        }
        while (p < text_.size() && text_[p] != '\n') ++p;  // a comment after the '\'
        if (p < text_.size()) {
            ++p;
            ++line_;
        }
        pos_ = p;
        return std::nullopt;
    }

    InfLine ReadEntry() {
        InfLine line;
        std::string field;
        std::string blanks;  // unquoted blanks that belong to the field only if more text follows
        bool keyPossible = true;  // no ',' and no key yet: an '=' now ends the key
        auto flushBlanks = [&] {
            AppendLimited(field, blanks);
            blanks.clear();
        };
        auto endField = [&](bool asKey) {
            if (asKey) {
                line.hasKey = true;
                line.key = std::move(field);
            } else {
                line.fields.push_back(std::move(field));
            }
            field.clear();
            blanks.clear();
            SkipBlanks();  // leading blanks of the next field
        };

        for (;;) {
            if (AtLineEnd()) {
                endField(false);
                NextLine();
                break;
            }
            const char c = text_[pos_];
            if (c == ';') {
                endField(false);
                NextLine();
                break;
            }
            if (c == ',') {
                ++pos_;
                keyPossible = false;
                endField(false);
            } else if (c == '=' && keyPossible) {
                ++pos_;
                keyPossible = false;
                endField(true);
            } else if (c == '"') {
                ++pos_;
                flushBlanks();
                ReadQuoted(field);
            } else if (c == '\\') {
                if (auto text = TakeBackslash()) {
                    flushBlanks();
                    AppendLimited(field, *text);
                } else {
                    blanks.clear();
                    SkipBlanks();
                }
            } else if (IsBlank(c)) {
                blanks.push_back(c);
                ++pos_;
            } else {
                flushBlanks();
                AppendLimited(field, std::string_view(&text_[pos_], 1));
                ++pos_;
            }
        }

        // One value and no '=': SetupAPI finds the line by that value as its key.
        if (!line.hasKey && line.fields.size() == 1) {
            line.hasKey = true;
            line.key = line.fields.front();
        }
        return line;
    }

    // After an opening quote: everything up to the closing quote is taken as it is, "" giving one
    // quote. A quote left open ends with the line.
    void ReadQuoted(std::string& field) {
        while (!AtLineEnd()) {
            const char c = text_[pos_];
            if (c == '"') {
                if (pos_ + 1 < text_.size() && text_[pos_ + 1] == '"') {
                    AppendLimited(field, "\"");
                    pos_ += 2;
                    continue;
                }
                ++pos_;
                return;
            }
            AppendLimited(field, std::string_view(&text_[pos_], 1));
            ++pos_;
        }
    }

    std::string text_;
    size_t pos_ = 0;
    UINT line_ = 1;
    int section_ = -1;
};

// Ctrl-Z ends the file, NUL reads as a blank, and a CR that ends a line goes so that CR LF and LF
// files read alike.
std::string Normalise(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\x1a') break;
        if (c == '\0') c = ' ';
        if (c == '\r' && (i + 1 == text.size() || text[i + 1] == '\n' || text[i + 1] == '\x1a')) continue;
        out.push_back(c);
    }
    return out;
}

void AppendCapped(std::string& out, std::string_view text) {
    if (out.size() >= kInfMaxString) return;
    out.append(text.substr(0, kInfMaxString - out.size()));
}

// A directory id is written as a plain decimal number, -1 included.
std::optional<long> ParseDirId(std::string_view name) {
    size_t i = name.size() > 1 && name[0] == '-' ? 1 : 0;
    if (i == name.size() || name.size() > 12) return std::nullopt;
    for (size_t j = i; j < name.size(); ++j)
        if (name[j] < '0' || name[j] > '9') return std::nullopt;
    const std::string digits(name);
    errno = 0;
    const long value = std::strtol(digits.c_str(), nullptr, 10);
    if (errno == ERANGE || value > INT_MAX || value < INT_MIN) return std::nullopt;
    return value;
}

}  // namespace

InfDocument ParseInf(std::string_view text) { return CInfScanner(Normalise(text)).Run(); }

CInfStrings::CInfStrings(const InfDocument& document) {
    const int index = document.FindSection("Strings");
    if (index < 0) return;
    for (const auto& line : document.sections[index].lines) {
        if (!line.hasKey) continue;
        // The first definition of a key wins.
        values_.emplace(FoldInfName(line.key), line.fields.front());
    }
}

const std::string* CInfStrings::Find(std::string_view key) const {
    auto found = values_.find(FoldInfName(key));
    return found == values_.end() ? nullptr : &found->second;
}

std::string ExpandInfString(std::string_view raw, const CInfStrings& strings, const InfDirIdLookup& dirIds) {
    std::string out;
    size_t pos = 0;
    while (pos < raw.size() && out.size() < kInfMaxString) {
        const size_t open = raw.find('%', pos);
        if (open == std::string_view::npos) {
            AppendCapped(out, raw.substr(pos));
            break;
        }
        AppendCapped(out, raw.substr(pos, open - pos));
        const size_t close = raw.find('%', open + 1);
        if (close == std::string_view::npos) {  // an unpaired '%' is text
            AppendCapped(out, raw.substr(open));
            break;
        }
        const std::string_view name = raw.substr(open + 1, close - open - 1);
        if (name.empty()) {
            AppendCapped(out, "%");
        } else if (const std::string* value = strings.Find(name)) {
            AppendCapped(out, *value);
        } else if (auto dirId = ParseDirId(name); dirId && dirIds) {
            if (auto path = dirIds(*dirId)) {
                if (!path->empty() && path->back() == '\\' && close + 1 < raw.size() && raw[close + 1] == '\\')
                    path->pop_back();
                AppendCapped(out, *path);
            } else {
                AppendCapped(out, raw.substr(open, close - open + 1));
            }
        } else {
            AppendCapped(out, raw.substr(open, close - open + 1));
        }
        pos = close + 1;
    }
    return out;
}

InfDocument ExpandInf(const InfDocument& raw, const InfDirIdLookup& dirIds) {
    const CInfStrings strings(raw);
    InfDocument expanded = raw;
    for (auto& section : expanded.sections) {
        for (auto& line : section.lines) {
            if (line.hasKey) line.key = ExpandInfString(line.key, strings, dirIds);
            for (auto& field : line.fields) field = ExpandInfString(field, strings, dirIds);
        }
    }
    return expanded;
}

}  // namespace winsim
