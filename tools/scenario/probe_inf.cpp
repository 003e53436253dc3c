// The INF reading probe: random INF files (quotes, doubled quotes, %strkey% and %%, comments, line
// continuations, keyless lines, section names in other letter cases and with blanks), each opened and
// read back through every reading call: line counts, each line's fields, its text and the sizes asked
// for, and the lines found by key.
#include "tools/scenario/probe.h"
#include "tools/scenario/runner.h"

namespace scenario {

namespace {

const char kFolder[] = "C:\\KvProbe";
const char kInfPath[] = "C:\\KvProbe\\probe.inf";

const char* const kSectionNames[] = {"Alpha", "alpha", "Beta Two", "GAMMA", "Strings"};
// What the reading calls are asked for: the names written, other letter cases, one never written.
const char* const kAskedSections[] = {"Alpha", "ALPHA", "Beta Two", "beta two", "Gamma", "Strings", "Missing"};
const char* const kKeys[] = {"key", "Key", "k 2", "\"quoted key\"", "%s1%", "name"};
const char* const kAskedKeys[] = {"key", "KEY", "k 2", "quoted key", "name", "nothing"};
const char* const kStringKeys[] = {"s1", "S2", "name", "empty"};
const char* const kStringValues[] = {"plain", "\"quoted, text\"", "\"say \"\"hi\"\"\"", "\"\"", "a%%b", "two words"};
const char* const kPieces[] = {
    "abc", "x y", "\"a,b\"", "\"say \"\"hi\"\"\"", "%s1%", "%S2%", "%name%", "%nope%", "%%", "", "\"\"", "1", "a;b"};

std::string Blanks(ProbeRandom& random) { return random.Chance(30) ? (random.Chance(50) ? " " : " \t ") : ""; }

// One field: one to three pieces, now and then run on to the next line inside it.
std::string Field(ProbeRandom& random) {
    std::string field;
    for (unsigned pieces = 1 + random.Below(3); pieces-- > 0;) {
        std::string piece = random.Pick(kPieces);
        if (random.Chance(6) && piece.size() > 2)
            piece.insert(1 + random.Below(static_cast<unsigned>(piece.size()) - 1), "\\\n");
        field += piece;
    }
    return field;
}

std::string Line(ProbeRandom& random) {
    if (random.Chance(8)) return random.Chance(50) ? "" : "; a comment, with = and \"quotes\"";
    std::string line = Blanks(random);
    if (random.Chance(70)) line += std::string(random.Pick(kKeys)) + Blanks(random) + "=" + Blanks(random);
    for (unsigned fields = 1 + random.Below(4), i = 0; i < fields; ++i) {
        if (i) line += Blanks(random) + (random.Chance(10) ? ",\\\n" : ",") + Blanks(random);
        line += Field(random);
    }
    if (random.Chance(20)) line += Blanks(random) + "; note, = \"x\"";
    return line;
}

std::string RandomInf(ProbeRandom& random) {
    std::string text = "[Version]\nSignature=\"$Chicago$\"\n";
    for (unsigned sections = 2 + random.Below(3); sections-- > 0;) {
        const std::string name = random.Pick(kSectionNames);
        text +=
            "\n[" + (random.Chance(20) ? " " + name + " " : name) + "]" + (random.Chance(10) ? " ; header" : "") + "\n";
        if (name == "Strings") {
            for (unsigned n = 1 + random.Below(4); n-- > 0;)
                text += std::string(random.Pick(kStringKeys)) + Blanks(random) + "=" + Blanks(random) +
                        random.Pick(kStringValues) + "\n";
            continue;
        }
        for (unsigned n = random.Below(6); n-- > 0;) text += Line(random) + "\n";
    }
    return text;
}

// A field or a line's text: asked for its size first, then read into a buffer of that size, then into
// one a character short.
template <typename Read>
std::string ReadText(Read read) {
    DWORD size = 0;
    SetLastError(0);
    if (!read(nullptr, 0, &size)) return "error " + Hex32(GetLastError());
    std::string buffer(size + 1, '\x7F');
    DWORD again = 0;
    SetLastError(0);
    if (!read(buffer.data(), size, &again))
        return "size " + std::to_string(size) + ", read error " + Hex32(GetLastError());
    std::string shown = Quoted(buffer.substr(0, buffer.find('\0'))) + " size " + std::to_string(size);
    if (again != size) shown += " then " + std::to_string(again);
    if (size > 1) {
        SetLastError(0);
        const BOOL small = read(buffer.data(), size - 1, &again);
        shown += small ? " short buffer accepted" : " short " + Hex32(GetLastError());
    }
    return shown;
}

void ReadInf(HINF inf, const std::string& prefix, std::vector<std::string>* lines) {
    for (const char* section : kAskedSections) {
        const std::string at = prefix + " [" + section + "]";
        SetLastError(0);
        const LONG count = SetupGetLineCountA(inf, section);
        lines->push_back(at + " lines " + std::to_string(count) + (count < 0 ? " error " + Hex32(GetLastError()) : ""));
        INFCONTEXT context{};
        BOOL found = SetupFindFirstLineA(inf, section, nullptr, &context);
        for (unsigned index = 0; found; ++index, found = SetupFindNextLine(&context, &context)) {
            const std::string line = at + " line " + std::to_string(index);
            const DWORD fields = SetupGetFieldCount(&context);
            lines->push_back(line + " fields " + std::to_string(fields));
            for (DWORD field = 0; field <= fields + 1; ++field)
                lines->push_back(line + " field " + std::to_string(field) + " " +
                                 ReadText([&](PSTR buffer, DWORD size, PDWORD needed) {
                                     return SetupGetStringFieldA(&context, field, buffer, size, needed);
                                 }));
            lines->push_back(line + " text " + ReadText([&](PSTR buffer, DWORD size, PDWORD needed) {
                                 return SetupGetLineTextA(&context, nullptr, nullptr, nullptr, buffer, size, needed);
                             }));
        }
        for (const char* key : kAskedKeys) {
            SetLastError(0);
            if (!SetupFindFirstLineA(inf, section, key, &context)) {
                if (GetLastError() != ERROR_LINE_NOT_FOUND)
                    lines->push_back(at + " key " + Quoted(key) + " error " + Hex32(GetLastError()));
                continue;
            }
            std::string found = at + " key " + Quoted(key) + " at " + std::to_string(context.Line);
            while (SetupFindNextMatchLineA(&context, key, &context)) found += "," + std::to_string(context.Line);
            lines->push_back(found + " text " + ReadText([&](PSTR buffer, DWORD size, PDWORD needed) {
                                 return SetupGetLineTextA(nullptr, inf, section, key, buffer, size, needed);
                             }));
        }
    }
}

}  // namespace

void RunInfProbe(uint64_t seed, unsigned count, std::vector<std::string>* lines) {
    ProbeRandom random(seed);
    CreateDirectoryA(kFolder, nullptr);
    for (unsigned n = 0; n < count; ++n) {
        const std::string prefix = "inf " + std::to_string(n);
        if (!WriteFileBytes(kInfPath, RandomInf(random))) {
            lines->push_back(prefix + " cannot be written: error " + Hex32(GetLastError()));
            break;
        }
        UINT errorLine = 0;
        SetLastError(0);
        const HINF inf = SetupOpenInfFileA(kInfPath, nullptr, INF_STYLE_WIN4, &errorLine);
        if (inf == INVALID_HANDLE_VALUE) {
            lines->push_back(prefix + " open error " + Hex32(GetLastError()) + " line " + std::to_string(errorLine));
            continue;
        }
        ReadInf(inf, prefix, lines);
        SetupCloseInfFile(inf);
    }
    DeleteFolderTree(kFolder);
}

}  // namespace scenario
