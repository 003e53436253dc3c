#include "chrome.h"

#include <cstdio>
#include <cstdlib>

namespace {

void AppendJsonString(std::string& out, std::string_view text) {
    out += '"';
    for (const char c : text) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", u);
            out += escaped;
        } else if (u >= 0x80) {
            // Trace text is in the writer's ANSI code page; as Latin-1 it is at least valid UTF-8.
            out += static_cast<char>(0xC0 | (u >> 6));
            out += static_cast<char>(0x80 | (u & 0x3F));
        } else {
            out += c;
        }
    }
    out += '"';
}

// A tick count as the trace prints it (signed decimal of an unsigned 32-bit count).
bool ParseTicks(std::string_view text, uint32_t* ticks) {
    if (text.empty()) return false;
    const std::string copy(text);
    char* end = nullptr;
    const long long value = std::strtoll(copy.c_str(), &end, 10);
    if (end == copy.c_str() || *end != '\0') return false;
    *ticks = static_cast<uint32_t>(value);
    return true;
}

struct ScopeLine {
    bool entry;
    std::string_view name;
    uint32_t thread = 0;
    uint32_t ticks = 0;
};

// ">>>Name()\t 5021400" or "<<<Name(0x1A4)\t 5021456\t56", after the indentation.
bool ParseScopeLine(std::string_view line, ScopeLine* out) {
    const size_t start = line.find_first_not_of(' ');
    if (start == std::string_view::npos) return false;
    line.remove_prefix(start);
    if (line.substr(0, 3) != ">>>" && line.substr(0, 3) != "<<<") return false;
    out->entry = line[0] == '>';
    line.remove_prefix(3);
    const size_t tab = line.find("\t ");
    if (tab == std::string_view::npos) return false;
    std::string_view namePart = line.substr(0, tab);
    std::string_view ticks = line.substr(tab + 2);
    if (!out->entry) ticks = ticks.substr(0, ticks.find('\t'));
    if (!ParseTicks(ticks, &out->ticks)) return false;
    const size_t open = namePart.rfind('(');
    if (open == std::string_view::npos || namePart.back() != ')') return false;
    out->name = namePart.substr(0, open);
    const std::string_view thread = namePart.substr(open + 1, namePart.size() - open - 2);
    if (thread.substr(0, 2) == "0x") out->thread = static_cast<uint32_t>(std::strtoul(std::string(thread.substr(2)).c_str(), nullptr, 16));
    return true;
}

}  // namespace

void CChromeTraceWriter::BeginProcess(std::string_view name) {
    ++process_;
    lastMicroseconds_ = 0;
    std::string body = "\"name\":\"process_name\",\"ph\":\"M\",\"pid\":" + std::to_string(process_) + ",\"args\":{\"name\":";
    AppendJsonString(body, name);
    body += '}';
    AddEvent(body);
}

void CChromeTraceWriter::AddLine(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    if (process_ == 0) BeginProcess("trace");
    ScopeLine scope;
    if (ParseScopeLine(line, &scope)) {
        lastMicroseconds_ = static_cast<uint64_t>(scope.ticks) * 1000;
        std::string body = "\"name\":";
        AppendJsonString(body, scope.name);
        body += ",\"cat\":\"kvisinst\",\"ph\":\"";
        body += scope.entry ? 'B' : 'E';
        body += "\",\"ts\":" + std::to_string(lastMicroseconds_) + ",\"pid\":" + std::to_string(process_) +
                ",\"tid\":" + std::to_string(scope.thread);
        AddEvent(body);
        return;
    }
    const size_t start = line.find_first_not_of(' ');
    if (start != std::string_view::npos && line.substr(start, 5) == "*ERR*") {
        std::string body = "\"name\":";
        AppendJsonString(body, line.substr(start));
        body += ",\"cat\":\"error\",\"ph\":\"i\",\"s\":\"p\",\"ts\":" + std::to_string(lastMicroseconds_) +
                ",\"pid\":" + std::to_string(process_) + ",\"tid\":0";
        AddEvent(body);
    }
}

void CChromeTraceWriter::AddEvent(const std::string& body) {
    json_ += events_ ? ",\n{" : "\n{";
    json_ += body;
    json_ += '}';
    ++events_;
}

std::string CChromeTraceWriter::Finish() const {
    return "{\"displayTimeUnit\":\"ms\",\"traceEvents\":[" + json_ + "\n]}\n";
}
