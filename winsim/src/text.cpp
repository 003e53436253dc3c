#include <winsim/text.h>

#include <cctype>

namespace winsim {

namespace {

char UpperChar(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

std::string_view Trim(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
    return text;
}

}  // namespace

std::string UpperAscii(std::string_view text) {
    std::string out(text);
    for (auto& c : out) c = UpperChar(c);
    return out;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (UpperChar(a[i]) != UpperChar(b[i])) return false;
    return true;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && EqualsNoCase(text.substr(text.size() - suffix.size()), suffix);
}

std::string TextError(int line, std::string_view what) {
    return "line " + std::to_string(line) + ": " + std::string(what);
}

std::optional<std::vector<TextSection>> ReadSectionText(std::string_view text, std::string* error) {
    std::vector<TextSection> sections;
    auto fail = [&](int line, std::string_view what) -> std::optional<std::vector<TextSection>> {
        if (error) *error = TextError(line, what);
        return std::nullopt;
    };
    int lineNumber = 0;
    while (!text.empty()) {
        ++lineNumber;
        const size_t end = text.find('\n');
        const std::string_view line = Trim(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        if (line[0] == '[') {
            if (line.back() != ']') return fail(lineNumber, "a section header must end with ']'");
            const std::string_view name = Trim(line.substr(1, line.size() - 2));
            if (name.empty()) return fail(lineNumber, "a section header needs a name");
            sections.push_back({std::string(name), lineNumber, {}});
            continue;
        }
        const size_t equals = line.find('=');
        if (equals == std::string_view::npos) return fail(lineNumber, "expected key=value");
        if (sections.empty()) return fail(lineNumber, "a key=value line before the first section");
        sections.back().entries.push_back(
            {std::string(Trim(line.substr(0, equals))), std::string(Trim(line.substr(equals + 1))), lineNumber});
    }
    return sections;
}

}  // namespace winsim
