// The comparison of two scenario dumps and the known-deviations file.
#include "tools/scenario/compare.h"

#include "tools/scenario/scenario.h"

#include <algorithm>
#include <sstream>

namespace scenario {

namespace {

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

std::string Trim(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

}  // namespace

bool GlobMatches(const std::string& pattern, const std::string& text) {
    // Iterative wildcard match: the last '*' seen is where a mismatch backs up to.
    size_t p = 0, t = 0, star = std::string::npos, mark = 0;
    while (t < text.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == text[t])) {
            ++p;
            ++t;
        } else if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            mark = t;
        } else if (star != std::string::npos) {
            p = star + 1;
            t = ++mark;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

bool ParseDeviations(const std::string& text, std::vector<Deviation>* out, std::string* error) {
    const auto lines = SplitLines(text);
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string line = Trim(lines[i]);
        if (line.empty() || line[0] == '#') continue;
        const size_t first = line.find(" | "),
                     second = first == std::string::npos ? first : line.find(" | ", first + 3);
        Deviation d;
        d.line = static_cast<int>(i + 1);
        if (second != std::string::npos) {
            d.scenario = Trim(line.substr(0, first));
            d.pattern = Trim(line.substr(first + 3, second - first - 3));
            d.reason = Trim(line.substr(second + 3));
        }
        if (d.scenario.empty() || d.pattern.empty() || d.reason.empty()) {
            *error = "line " + std::to_string(i + 1) + ": an entry is SCENARIO | PATTERN | REASON, none of them empty";
            return false;
        }
        out->push_back(d);
    }
    return true;
}

std::string DumpScenarioName(const std::string& dump) {
    const std::string first = dump.substr(0, dump.find('\n'));
    return first.rfind("scenario ", 0) == 0 ? first.substr(9) : "";
}

std::vector<DiffLine> CompareDumps(const std::string& first, const std::string& second,
                                   const std::vector<Deviation>& deviations) {
    const auto a = SplitLines(first), b = SplitLines(second);
    const std::string name = DumpScenarioName(first);
    std::vector<DiffLine> diff;
    // Longest common subsequence by dynamic programming: the dumps are hundreds of lines.
    const size_t n = a.size(), m = b.size();
    std::vector<std::vector<unsigned>> common(n + 1, std::vector<unsigned>(m + 1, 0));
    for (size_t i = n; i-- > 0;)
        for (size_t j = m; j-- > 0;)
            common[i][j] = a[i] == b[j] ? common[i + 1][j + 1] + 1 : std::max(common[i + 1][j], common[i][j + 1]);
    size_t i = 0, j = 0;
    while (i < n || j < m) {
        if (i < n && j < m && a[i] == b[j]) {
            ++i;
            ++j;
        } else if (j >= m || (i < n && common[i + 1][j] >= common[i][j + 1])) {
            diff.push_back({'-', a[i++]});
        } else {
            diff.push_back({'+', b[j++]});
        }
    }
    for (auto& line : diff)
        for (const auto& d : deviations)
            if ((d.scenario == "*" || d.scenario == name) && GlobMatches(d.pattern, line.text)) {
                line.excused = &d;
                break;
            }
    return diff;
}

}  // namespace scenario
