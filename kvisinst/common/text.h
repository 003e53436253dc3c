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

// A text of at most Size - 1 characters in a buffer of its own, always NUL-terminated. An append that
// would not fit fails and leaves the text as it was: nothing is ever written past the buffer.
template <unsigned Size>
class CFixedText {
public:
    bool Append(const char* text, unsigned length) {
        if (length > Size - 1 - length_) return false;
        for (unsigned i = 0; i < length; ++i) text_[length_ + i] = text[i];
        length_ += length;
        text_[length_] = '\0';
        return true;
    }
    bool Append(const char* text) {
        unsigned length = 0;
        while (text[length]) ++length;
        return Append(text, length);
    }
    const char* c_str() const { return text_; }
    unsigned size() const { return length_; }

private:
    char text_[Size] = {};
    unsigned length_ = 0;
};
