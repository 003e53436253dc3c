// kernel32: resources of simulated modules, the entries of a module's compiled .res image found by
// type, name and language as FindResourceEx finds them.
#include <winsim/machine.h>
#include <winsim/win32api.h>

#include "loader_internal.h"

#include <cstring>

namespace winsim {

namespace {

DWORD ReadDword(const unsigned char* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (DWORD(p[3]) << 24); }
WORD ReadWord(const unsigned char* p) { return static_cast<WORD>(p[0] | (p[1] << 8)); }

char16_t UpperChar(char16_t c) { return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c; }

// A type or name field of a resource header: 0xFFFF and a number, or a NUL-terminated UTF-16 string.
bool ReadId(const unsigned char*& p, const unsigned char* end, ResourceId& id) {
    if (end - p < 2) return false;
    if (ReadWord(p) == 0xFFFF) {
        if (end - p < 4) return false;
        id.isNumber = true;
        id.number = ReadWord(p + 2);
        p += 4;
        return true;
    }
    id.isNumber = false;
    while (true) {
        if (end - p < 2) return false;
        char16_t c = ReadWord(p);
        p += 2;
        if (!c) return true;
        id.text += UpperChar(c);
    }
}

// The argument forms FindResource accepts: MAKEINTRESOURCE(n), "#n", or a name.
ResourceId IdFromArgument(LPCSTR arg) {
    ResourceId id;
    if (IS_INTRESOURCE(arg)) {
        id.number = LOWORD(reinterpret_cast<ULONG_PTR>(arg));
        return id;
    }
    if (arg[0] == '#') {
        id.number = static_cast<WORD>(std::strtoul(arg + 1, nullptr, 10));
        return id;
    }
    id.isNumber = false;
    for (const char* c = arg; *c; ++c) id.text += UpperChar(static_cast<unsigned char>(*c));
    return id;
}

bool SameId(const ResourceId& a, const ResourceId& b) {
    return a.isNumber == b.isNumber && (a.isNumber ? a.number == b.number : a.text == b.text);
}

WORD PrimaryLanguage(WORD lang) { return lang & 0x3FF; }

}  // namespace

std::vector<ResourceEntry> ParseResourceImage(const unsigned char* image, size_t size) {
    std::vector<ResourceEntry> entries;
    const unsigned char* p = image;
    const unsigned char* end = image ? image + size : image;
    while (p && end - p >= 8) {
        const DWORD dataSize = ReadDword(p);
        const DWORD headerSize = ReadDword(p + 4);
        if (headerSize < 8 || headerSize > static_cast<size_t>(end - p) ||
            dataSize > static_cast<size_t>(end - p) - headerSize)
            break;
        const unsigned char* field = p + 8;
        const unsigned char* headerEnd = p + headerSize;
        ResourceEntry entry;
        if (!ReadId(field, headerEnd, entry.type) || !ReadId(field, headerEnd, entry.name)) break;
        field = image + ((field - image + 3) & ~size_t(3));
        // DataVersion (4), MemoryFlags (2), LanguageId (2), Version, Characteristics.
        if (headerEnd - field >= 8) entry.language = ReadWord(field + 6);
        entry.data = headerEnd;
        entry.size = dataSize;
        // The first entry of every .res file is an empty marker of type 0.
        if (!(entry.type.isNumber && entry.type.number == 0)) entries.push_back(entry);
        const size_t next = (headerEnd + dataSize - image + 3) & ~size_t(3);
        if (next > size) break;
        p = image + next;
    }
    return entries;
}

}  // namespace winsim

using winsim::ResourceEntry;

HRSRC FindResourceExA(HMODULE module, LPCSTR type, LPCSTR name, WORD language) {
    winsim::Module* m = winsim::ModuleFromHandle(module);
    if (!m) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    const winsim::ResourceId typeId = winsim::IdFromArgument(type);
    const winsim::ResourceId nameId = winsim::IdFromArgument(name);
    bool typeSeen = false;
    std::vector<const ResourceEntry*> candidates;
    for (const auto& entry : m->resources) {
        if (!winsim::SameId(entry.type, typeId)) continue;
        typeSeen = true;
        if (winsim::SameId(entry.name, nameId)) candidates.push_back(&entry);
    }
    if (candidates.empty()) {
        SetLastError(typeSeen ? ERROR_RESOURCE_NAME_NOT_FOUND : ERROR_RESOURCE_TYPE_NOT_FOUND);
        return nullptr;
    }
    // The order Windows tries languages in: the one asked for, its primary language, then (for a
    // neutral request) the user's default, then neutral, then US English, then whatever exists.
    // Windows also consults the thread locale and the system default on the way; this machine has
    // one language setting for all of them.
    const WORD user = winsim::HasCurrent() ? winsim::Current().DefaultLanguage() : 0x409;
    std::vector<WORD> order;
    if (language != 0) {
        order = {language, winsim::PrimaryLanguage(language)};
    } else {
        order = {user, winsim::PrimaryLanguage(user), 0, 0x409, 0x9};
    }
    for (WORD wanted : order)
        for (const ResourceEntry* entry : candidates)
            if (entry->language == wanted) return reinterpret_cast<HRSRC>(const_cast<ResourceEntry*>(entry));
    if (language != 0) {
        SetLastError(ERROR_RESOURCE_LANG_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<HRSRC>(const_cast<ResourceEntry*>(candidates.front()));
}

HRSRC FindResourceA(HMODULE module, LPCSTR name, LPCSTR type) { return FindResourceExA(module, type, name, 0); }

HGLOBAL LoadResource(HMODULE, HRSRC resource) {
    if (!resource) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return const_cast<unsigned char*>(reinterpret_cast<ResourceEntry*>(resource)->data);
}

LPVOID LockResource(HGLOBAL data) { return data; }

BOOL FreeResource(HGLOBAL) { return FALSE; }

DWORD SizeofResource(HMODULE, HRSRC resource) {
    return resource ? reinterpret_cast<ResourceEntry*>(resource)->size : 0;
}
