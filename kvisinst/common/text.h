// Comparisons of the ASCII names the library deals in (registry value names, hardware IDs, module
// names, INF keywords) without regard to letter case. Only A-Z and a-z fold: other bytes of the ANSI
// code page compare as they are, whatever the locale.
#pragma once

inline char FoldAsciiCase(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

inline bool StartsWithNoCase(const char* text, const char* prefix) {
    for (; *prefix; ++text, ++prefix)
        if (FoldAsciiCase(*text) != FoldAsciiCase(*prefix)) return false;
    return true;
}

inline bool EqualsNoCase(const char* a, const char* b) {
    for (;; ++a, ++b) {
        if (FoldAsciiCase(*a) != FoldAsciiCase(*b)) return false;
        if (!*a) return true;
    }
}
