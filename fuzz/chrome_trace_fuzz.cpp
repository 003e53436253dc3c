// libFuzzer target: arbitrary text through kvtrace's Chrome trace-event export, the first line as the
// file's name and each further line as a decoded trace line. Whatever the lines hold, the document is
// valid JSON (strings escaped, UTF-8 throughout) with one element of "traceEvents" per event counted.
#include "check.h"
#include "tools/kvtrace/chrome.h"

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

using fuzzing::Check;

namespace {

// A strict reader of the JSON the writer makes: objects, arrays, strings, numbers and the words.
class CJsonReader {
public:
    explicit CJsonReader(std::string_view text) : text_(text) {}

    bool Document(size_t* events) {
        if (!Value(0, events)) return false;
        Blanks();
        return at_ == text_.size();
    }

private:
    void Blanks() {
        while (at_ < text_.size() && std::strchr(" \t\r\n", text_[at_]) && text_[at_]) ++at_;
    }
    bool Take(char c) {
        Blanks();
        if (at_ >= text_.size() || text_[at_] != c) return false;
        ++at_;
        return true;
    }
    bool Peek(char c) {
        Blanks();
        return at_ < text_.size() && text_[at_] == c;
    }
    bool String(std::string* out) {
        if (!Take('"')) return false;
        while (at_ < text_.size()) {
            const unsigned char c = static_cast<unsigned char>(text_[at_++]);
            if (c == '"') return true;
            if (c < 0x20) return false;
            if (c == '\\') {
                if (at_ >= text_.size()) return false;
                const char e = text_[at_++];
                if (e == 'u') {
                    for (int i = 0; i < 4; ++i)
                        if (at_ >= text_.size() || !std::isxdigit(static_cast<unsigned char>(text_[at_++])))
                            return false;
                } else if (!std::strchr("\"\\/bfnrt", e) || !e) {
                    return false;
                }
                continue;
            }
            const int follow = c < 0x80                 ? 0
                               : c >= 0xC2 && c <= 0xDF ? 1
                               : c >= 0xE0 && c <= 0xEF ? 2
                               : c >= 0xF0 && c <= 0xF4 ? 3
                                                        : -1;
            if (follow < 0) return false;
            for (int i = 0; i < follow; ++i)
                if (at_ >= text_.size() || (static_cast<unsigned char>(text_[at_++]) & 0xC0) != 0x80) return false;
            if (out) out->push_back(static_cast<char>(c));
        }
        return false;
    }
    bool Value(int depth, size_t* events) {
        if (depth > 8) return false;
        Blanks();
        if (at_ >= text_.size()) return false;
        const char c = text_[at_];
        if (c == '{') {
            ++at_;
            if (Take('}')) return true;
            do {
                std::string key;
                if (!String(&key) || !Take(':')) return false;
                const bool list = depth == 0 && key == "traceEvents";
                if (!Value(depth + 1, list ? events : nullptr)) return false;
            } while (Take(','));
            return Take('}');
        }
        if (c == '[') {
            ++at_;
            if (Take(']')) return true;
            do {
                if (!Value(depth + 1, nullptr)) return false;
                if (events) ++*events;
            } while (Take(','));
            return Take(']');
        }
        if (c == '"') return String(nullptr);
        if (c == '-' || std::isdigit(static_cast<unsigned char>(c))) {
            size_t digits = at_ + (c == '-');
            while (digits < text_.size() && std::isdigit(static_cast<unsigned char>(text_[digits]))) ++digits;
            if (digits == at_ + (c == '-')) return false;
            at_ = digits;
            return true;
        }
        for (const char* word : {"true", "false", "null"})
            if (text_.substr(at_, std::strlen(word)) == word) {
                at_ += std::strlen(word);
                return true;
            }
        return false;
    }

    std::string_view text_;
    size_t at_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    CChromeTraceWriter writer;
    const size_t first = text.find('\n');
    writer.BeginProcess(text.substr(0, first));
    text.remove_prefix(first == std::string_view::npos ? text.size() : first + 1);
    while (!text.empty()) {
        const size_t end = text.find('\n');
        writer.AddLine(text.substr(0, end == std::string_view::npos ? end : end + 1));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
    const std::string json = writer.Finish();
    size_t events = 0;
    Check(CJsonReader(json).Document(&events), "the document is not valid JSON");
    Check(events == writer.EventCount(), "the events counted are not the events written");
    return 0;
}
