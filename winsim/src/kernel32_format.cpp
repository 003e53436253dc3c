// FormatMessageA over the system's message texts and the message tables of simulated modules, and
// the local memory that FORMAT_MESSAGE_ALLOCATE_BUFFER hands out.
#include <winsim/win32api.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

struct SystemText {
    DWORD code;
    const char* text;
};

// Win32 codes that this project's code and the simulated machine produce, with the system's text
// (English, United States).
const SystemText kWin32Texts[] = {
    {0, "The operation completed successfully."},
    {1, "Incorrect function."},
    {2, "The system cannot find the file specified."},
    {3, "The system cannot find the path specified."},
    {4, "The system cannot open the file."},
    {5, "Access is denied."},
    {6, "The handle is invalid."},
    {8, "Not enough storage is available to process this command."},
    {11, "An attempt was made to load a program with an incorrect format."},
    {13, "The data is invalid."},
    {14, "Not enough storage is available to complete this operation."},
    {18, "There are no more files."},
    {19, "The media is write protected."},
    {21, "The device is not ready."},
    {32, "The process cannot access the file because it is being used by another process."},
    {33, "The process cannot access the file because another process has locked a portion of the file."},
    {38, "Reached the end of the file."},
    {50, "The request is not supported."},
    {80, "The file exists."},
    {87, "The parameter is incorrect."},
    {112, "There is not enough space on the disk."},
    {120, "This function is not supported on this system."},
    {122, "The data area passed to a system call is too small."},
    {123, "The filename, directory name, or volume label syntax is incorrect."},
    {126, "The specified module could not be found."},
    {127, "The specified procedure could not be found."},
    {131, "An attempt was made to move the file pointer before the beginning of the file."},
    {145, "The directory is not empty."},
    {161, "The specified path is invalid."},
    {183, "Cannot create a file when that file already exists."},
    {206, "The filename or extension is too long."},
    {234, "More data is available."},
    {258, "The wait operation timed out."},
    {259, "No more data is available."},
    {267, "The directory name is invalid."},
    {288, "Attempt to release mutex not owned by caller."},
    {998, "Invalid access to memory location."},
    {1008, "An attempt was made to reference a token that does not exist."},
    {1009, "The configuration registry database is corrupt."},
    {1010, "The configuration registry key is invalid."},
    {1011, "The configuration registry key could not be opened."},
    {1012, "The configuration registry key could not be read."},
    {1013, "The configuration registry key could not be written."},
    {1015, "The registry is corrupted. The structure of one of the files containing registry data is corrupted, or "
           "the system's memory image of the file is corrupted, or the file could not be recovered because the "
           "alternate copy or log was absent or corrupted."},
    {1018, "Illegal operation attempted on a registry key that has been marked for deletion."},
    {1021, "Cannot create a stable subkey under a volatile parent key."},
    {1051, "A stop control has been sent to a service that other running services are dependent on."},
    {1052, "The requested control is not valid for this service."},
    {1053, "The service did not respond to the start or control request in a timely fashion."},
    {1055, "The service database is locked."},
    {1056, "An instance of the service is already running."},
    {1057, "The account name is invalid or does not exist, or the password is invalid for the account name "
           "specified."},
    {1058, "The service cannot be started, either because it is disabled or because it has no enabled devices "
           "associated with it."},
    {1059, "Circular service dependency was specified."},
    {1060, "The specified service does not exist as an installed service."},
    {1061, "The service cannot accept control messages at this time."},
    {1062, "The service has not been started."},
    {1068, "The dependency service or group failed to start."},
    {1069, "The service did not start due to a logon failure."},
    {1072, "The specified service has been marked for deletion."},
    {1073, "The specified service already exists."},
    {1113, "No mapping for the Unicode character exists in the target multi-byte code page."},
    {1154, "One of the library files needed to run this application is damaged."},
    {1168, "Element not found."},
    {1300, "Not all privileges referenced are assigned to the caller."},
    {1307, "This security ID may not be assigned as the owner of this object."},
    {1332, "No mapping between account names and security IDs was done."},
    {1336, "The access control list (ACL) structure is invalid."},
    {1337, "The security ID structure is invalid."},
    {1338, "The security descriptor structure is invalid."},
    {1344, "No more memory is available for security information updates."},
    {1346, "Either a required impersonation level was not provided, or the provided impersonation level is "
           "invalid."},
    {1347, "Cannot open an anonymous level security token."},
    {1812, "The specified image file did not contain a resource section."},
    {1813, "The specified resource type cannot be found in the image file."},
    {1814, "The specified resource name cannot be found in the image file."},
    {1815, "The specified resource language ID cannot be found in the image file."},
};

// COM results whose text is not that of a Win32 code.
const SystemText kComTexts[] = {
    {0x8000FFFF, "Catastrophic failure"},
    {0x80004001, "Not implemented"},
    {0x80004002, "No such interface supported"},
    {0x80004003, "Invalid pointer"},
    {0x80004004, "Operation aborted"},
    {0x80004005, "Unspecified error"},
    {0x80040150, "Could not read key from registry"},
    {0x80040154, "Class not registered"},
    {0x800401F0, "CoInitialize has not been called."},
};

const char* FindText(const SystemText* table, size_t count, DWORD code) {
    for (size_t i = 0; i < count; ++i)
        if (table[i].code == code) return table[i].text;
    return nullptr;
}

// The system's text of a code, with the line end its message table gives every text.
bool SystemMessage(DWORD code, std::string* text) {
    const char* found = FindText(kComTexts, sizeof kComTexts / sizeof *kComTexts, code);
    // An HRESULT of facility Win32 reads as its Win32 code.
    if (!found && (code & 0xFFFF0000) == 0x80070000) code &= 0xFFFF;
    if (!found) found = FindText(kWin32Texts, sizeof kWin32Texts / sizeof *kWin32Texts, code);
    if (!found) return false;
    *text = std::string(found) + "\r\n";
    return true;
}

uint32_t ReadDword(const unsigned char* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24); }

// A message from a module's RT_MESSAGETABLE resource: a count of blocks, each block an id range and
// the offset of its entries; each entry a 16-bit length (of the whole entry), 16-bit flags (1 for
// UTF-16 text) and the text.
bool ModuleMessage(HMODULE module, DWORD code, std::string* text, DWORD* error) {
    HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(1), RT_MESSAGETABLE);
    if (!resource) {
        *error = ERROR_RESOURCE_TYPE_NOT_FOUND;
        return false;
    }
    const auto* data = static_cast<const unsigned char*>(LockResource(LoadResource(module, resource)));
    const DWORD size = SizeofResource(module, resource);
    *error = ERROR_MR_MID_NOT_FOUND;
    if (!data || size < 4) return false;
    const uint32_t blocks = ReadDword(data);
    for (uint32_t b = 0; b < blocks && 4 + (b + 1) * 12 <= size; ++b) {
        const unsigned char* block = data + 4 + b * 12;
        const uint32_t low = ReadDword(block), high = ReadDword(block + 4);
        uint32_t offset = ReadDword(block + 8);
        if (code < low || code > high) continue;
        for (uint32_t id = low; offset + 4 <= size; ++id) {
            const unsigned length = data[offset] | (data[offset + 1] << 8);
            const unsigned flags = data[offset + 2] | (data[offset + 3] << 8);
            if (length < 4 || offset + length > size) return false;
            if (id == code) {
                const unsigned char* p = data + offset + 4;
                const unsigned count = length - 4;
                text->clear();
                if (flags & 1) {
                    for (unsigned i = 0; i + 1 < count && (p[i] | p[i + 1]); i += 2) {
                        const char16_t unit = static_cast<char16_t>(p[i] | (p[i + 1] << 8));
                        char c = '?';
                        WideCharToMultiByte(CP_ACP, 0, &unit, 1, &c, 1, nullptr, nullptr);
                        *text += c;
                    }
                } else {
                    for (unsigned i = 0; i < count && p[i]; ++i) *text += static_cast<char>(p[i]);
                }
                return true;
            }
            offset += length;
        }
    }
    return false;
}

// Applies the escapes of a message text: %0 ends it without a line end, %n is a line end, %r %t %b
// are CR, tab and space, %% %. %! stand for themselves, %1 to %99 are inserts.
bool ExpandMessage(const std::string& source, DWORD flags, va_list* arguments, std::string* out, DWORD* error) {
    out->clear();
    for (size_t i = 0; i < source.size(); ++i) {
        const char c = source[i];
        if (c != '%' || i + 1 >= source.size()) {
            *out += c;
            continue;
        }
        const char next = source[++i];
        if (next == '0') return true;
        if (next >= '1' && next <= '9') {
            size_t end = i + 1;
            if (end < source.size() && source[end] >= '0' && source[end] <= '9') ++end;
            const int number = std::atoi(source.substr(i, end - i).c_str());
            i = end - 1;
            if (flags & FORMAT_MESSAGE_IGNORE_INSERTS) {
                *out += "%" + std::to_string(number);
                continue;
            }
            if (!arguments) {
                *error = ERROR_INVALID_PARAMETER;
                return false;
            }
            // Every insert is taken as a string, the form without an explicit !format!.
            const char* insert = nullptr;
            if (flags & FORMAT_MESSAGE_ARGUMENT_ARRAY) {
                insert = reinterpret_cast<const char*>(reinterpret_cast<const DWORD_PTR*>(arguments)[number - 1]);
            } else {
                va_list copy;
                va_copy(copy, *arguments);
                for (int n = 1; n <= number; ++n) insert = va_arg(copy, const char*);
                va_end(copy);
            }
            *out += insert ? insert : "(null)";
            continue;
        }
        switch (next) {
            case 'n':
                *out += "\r\n";
                break;
            case 'r':
                *out += '\r';
                break;
            case 't':
                *out += '\t';
                break;
            case 'b':
                *out += ' ';
                break;
            default:
                *out += next;
                break;
        }
    }
    return true;
}

}  // namespace

HLOCAL LocalAlloc(UINT flags, SIZE_T bytes) {
    void* memory = (flags & LMEM_ZEROINIT) ? std::calloc(bytes ? bytes : 1, 1) : std::malloc(bytes ? bytes : 1);
    if (!memory) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return memory;
}

HLOCAL LocalFree(HLOCAL memory) {
    std::free(memory);
    return nullptr;
}

DWORD FormatMessageA(DWORD flags, LPCVOID source, DWORD messageId, DWORD, LPSTR buffer, DWORD size,
                     va_list* arguments) {
    std::string raw;
    DWORD error = ERROR_MR_MID_NOT_FOUND;
    bool found = false;
    if (flags & FORMAT_MESSAGE_FROM_STRING) {
        if (source) {
            raw = static_cast<const char*>(source);
            found = true;
        } else {
            error = ERROR_INVALID_PARAMETER;
        }
    } else {
        if (flags & FORMAT_MESSAGE_FROM_HMODULE)
            found = ModuleMessage(static_cast<HMODULE>(const_cast<void*>(source)), messageId, &raw, &error);
        if (!found && (flags & FORMAT_MESSAGE_FROM_SYSTEM)) {
            found = SystemMessage(messageId, &raw);
            if (!found) error = ERROR_MR_MID_NOT_FOUND;
        }
    }
    std::string text;
    if (!found || !ExpandMessage(raw, flags, arguments, &text, &error)) {
        SetLastError(error);
        return 0;
    }
    if (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
        const size_t bytes = std::max<size_t>(text.size() + 1, size);
        char* memory = static_cast<char*>(LocalAlloc(LMEM_FIXED, bytes));
        if (!memory) return 0;
        std::memcpy(memory, text.c_str(), text.size() + 1);
        *reinterpret_cast<LPSTR*>(buffer) = memory;
    } else {
        if (!buffer || text.size() + 1 > size) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return 0;
        }
        std::memcpy(buffer, text.c_str(), text.size() + 1);
    }
    return static_cast<DWORD>(text.size());
}
