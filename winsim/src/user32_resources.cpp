// user32: LoadStringA (and the LoadStringW it is built on) over the string tables of modules'
// resources, as FindResource finds them.
#include <winsim/win32api.h>

#include <cstring>

namespace {

WORD ReadWord(const unsigned char* p) { return static_cast<WORD>(p[0] | (p[1] << 8)); }

// The string `id` of a module's string table in the language FindResource picks: a pointer into the
// block and its length in characters. The block holds 16 strings, each a length and its characters.
bool FindString(HINSTANCE instance, UINT id, const char16_t** text, int* length) {
    HRSRC block = FindResourceExA(instance, RT_STRING, MAKEINTRESOURCEA((id >> 4) + 1), 0);
    if (!block) return false;
    const unsigned char* p = static_cast<const unsigned char*>(LockResource(LoadResource(instance, block)));
    const unsigned char* end = p + SizeofResource(instance, block);
    for (UINT i = 0; i < (id & 15); ++i) {
        if (end - p < 2) return false;
        p += 2 + 2 * size_t(ReadWord(p));
    }
    if (end - p < 2) return false;
    const int count = ReadWord(p);
    if ((end - p - 2) / 2 < count || count == 0) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return false;
    }
    *text = reinterpret_cast<const char16_t*>(p + 2);
    *length = count;
    return true;
}

}  // namespace

int LoadStringW(HINSTANCE instance, UINT id, LPWSTR buffer, int size) {
    const char16_t* text = nullptr;
    int length = 0;
    if (!buffer) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (!FindString(instance, id, &text, &length)) return 0;
    // A zero size asks for a read-only pointer to the resource itself.
    if (size == 0) {
        std::memcpy(buffer, &text, sizeof(text));
        return length;
    }
    const int copied = length < size - 1 ? length : size - 1;
    std::memcpy(buffer, text, size_t(copied) * 2);
    buffer[copied] = 0;
    return copied;
}

int LoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, int size) {
    const char16_t* text = nullptr;
    int length = 0;
    if (!buffer || size <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (!FindString(instance, id, &text, &length)) {
        buffer[0] = '\0';
        return 0;
    }
    // Converted to the ANSI code page and cut to fit, always terminated.
    int written = WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<LPCWSTR>(text), length, buffer, size - 1,
                                      nullptr, nullptr);
    if (written == 0 && length > 0) {
        // Too long for the buffer: convert character by character until it is full.
        for (int i = 0; i < length && written < size - 1; ++i)
            written += WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<LPCWSTR>(text + i), 1, buffer + written,
                                           size - 1 - written, nullptr, nullptr);
    }
    buffer[written] = '\0';
    return written;
}
