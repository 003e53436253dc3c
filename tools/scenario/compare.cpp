// The comparison of two scenario dumps and the known-deviations file.
#include "tools/scenario/compare.h"

#include "tools/scenario/scenario.h"

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <unordered_map>
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

namespace {

using Lines = std::vector<std::string>;

// The lines that differ between a[a0, a1) and b[b0, b1), in order. Lines that come once in each range
// anchor the two (the longest run of them in the same order, found by patience sorting), and the
// stretches between anchors are compared the same way; a stretch with no such line is trimmed of its
// common ends and compared by a table when small, else reported whole. Probe transcripts run to
// hundreds of thousands of lines, almost all of them unique, which a table over the whole would not.
void DiffRange(const Lines& a, size_t a0, size_t a1, const Lines& b, size_t b0, size_t b1, std::vector<DiffLine>* out) {
    while (a0 < a1 && b0 < b1 && a[a0] == b[b0]) ++a0, ++b0;
    while (a1 > a0 && b1 > b0 && a[a1 - 1] == b[b1 - 1]) --a1, --b1;
    if (a0 == a1 || b0 == b1) {
        for (size_t i = a0; i < a1; ++i) out->push_back({'-', a[i]});
        for (size_t j = b0; j < b1; ++j) out->push_back({'+', b[j]});
        return;
    }
    // Lines that come exactly once on each side: counts, then the place in b of each.
    std::unordered_map<std::string_view, std::pair<int, size_t>> inA, inB;
    for (size_t i = a0; i < a1; ++i) {
        auto& seen = inA[a[i]];
        ++seen.first;
        seen.second = i;
    }
    for (size_t j = b0; j < b1; ++j) {
        auto& seen = inB[b[j]];
        ++seen.first;
        seen.second = j;
    }
    std::vector<std::pair<size_t, size_t>> pairs;  // (place in a, place in b), in a's order
    for (size_t i = a0; i < a1; ++i) {
        const auto there = inB.find(a[i]);
        if (inA[a[i]].first == 1 && there != inB.end() && there->second.first == 1)
            pairs.emplace_back(i, there->second.second);
    }
    if (!pairs.empty()) {
        // The longest run increasing in b: piles by patience sorting, each entry linked to the one
        // before it.
        std::vector<size_t> pileTops, before(pairs.size());
        for (size_t k = 0; k < pairs.size(); ++k) {
            const auto pile = std::lower_bound(pileTops.begin(), pileTops.end(), k, [&](size_t top, size_t item) {
                return pairs[top].second < pairs[item].second;
            });
            before[k] = pile == pileTops.begin() ? SIZE_MAX : *(pile - 1);
            if (pile == pileTops.end())
                pileTops.push_back(k);
            else
                *pile = k;
        }
        std::vector<size_t> anchors;
        for (size_t k = pileTops.back(); k != SIZE_MAX; k = before[k]) anchors.push_back(k);
        std::reverse(anchors.begin(), anchors.end());
        size_t i = a0, j = b0;
        for (size_t k : anchors) {
            DiffRange(a, i, pairs[k].first, b, j, pairs[k].second, out);
            i = pairs[k].first + 1;
            j = pairs[k].second + 1;
        }
        DiffRange(a, i, a1, b, j, b1, out);
        return;
    }
    const size_t n = a1 - a0, m = b1 - b0;
    if (n * m > 4000000) {
        for (size_t i = a0; i < a1; ++i) out->push_back({'-', a[i]});
        for (size_t j = b0; j < b1; ++j) out->push_back({'+', b[j]});
        return;
    }
    // Longest common subsequence by a table.
    std::vector<std::vector<unsigned>> common(n + 1, std::vector<unsigned>(m + 1, 0));
    for (size_t i = n; i-- > 0;)
        for (size_t j = m; j-- > 0;)
            common[i][j] = a[a0 + i] == b[b0 + j] ? common[i + 1][j + 1] + 1
                                                  : std::max(common[i + 1][j], common[i][j + 1]);
    size_t i = 0, j = 0;
    while (i < n || j < m) {
        if (i < n && j < m && a[a0 + i] == b[b0 + j]) {
            ++i;
            ++j;
        } else if (j >= m || (i < n && common[i + 1][j] >= common[i][j + 1])) {
            out->push_back({'-', a[a0 + i++]});
        } else {
            out->push_back({'+', b[b0 + j++]});
        }
    }
}

}  // namespace

std::vector<DiffLine> CompareDumps(const std::string& first, const std::string& second,
                                   const std::vector<Deviation>& deviations) {
    const auto a = SplitLines(first), b = SplitLines(second);
    const std::string name = DumpScenarioName(first);
    std::vector<DiffLine> diff;
    DiffRange(a, 0, a.size(), b, 0, b.size(), &diff);
    for (auto& line : diff)
        for (const auto& d : deviations)
            if ((d.scenario == "*" || d.scenario == name) && GlobMatches(d.pattern, line.text)) {
                line.excused = &d;
                break;
            }
    return diff;
}

}  // namespace scenario
