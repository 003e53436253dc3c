// FormatMessageA: the system's texts, a module's message table, inserts and buffers.
#include <winsim/loader.h>
#include <winsim/machine.h>
#include <winsim/win32api.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using winsim::OsVersion;

std::string SystemText(DWORD code, DWORD flags = 0) {
    char* text = nullptr;
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | flags, nullptr, code, 0,
                                   reinterpret_cast<LPSTR>(&text), 0, nullptr);
    std::string result = n ? std::string(text, n) : "<none>";
    if (text) LocalFree(text);
    return result;
}

TEST(FormatMessage, SystemTextsOfWin32CodesAndHResults) {
    winsim::ScopedMachine machine(OsVersion::Win2000);
    const std::pair<DWORD, const char*> kRows[] = {
        {5, "Access is denied.\r\n"},
        {0x80070057, "The parameter is incorrect.\r\n"},
        {0x80004005, "Unspecified error\r\n"},
        {1060, "The specified service does not exist as an installed service.\r\n"},
        {0x80041234, "<none>"},
        {0x80080005, "<none>"},  // not facility Win32: no Win32 text for it
    };
    for (const auto& [code, text] : kRows) EXPECT_EQ(text, SystemText(code)) << std::hex << code;
    SetLastError(0);
    SystemText(0x80041234);
    EXPECT_EQ(static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND), GetLastError());
}

// A compiled resource image holding one RT_MESSAGETABLE (id 1) with messages 100 ("Step %1 of %2.%n",
// ANSI) and 101 ("Done%0", UTF-16).
std::vector<unsigned char> MessageTableImage() {
    std::vector<unsigned char> table;
    auto dword = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i) table.push_back(static_cast<unsigned char>(v >> (8 * i)));
    };
    auto word = [&](uint16_t v) { table.insert(table.end(), {static_cast<unsigned char>(v), uint8_t(v >> 8)}); };
    for (uint32_t v : {1u, 100u, 101u, 16u}) dword(v);  // one block of ids 100..101, entries at 16
    const std::string ansi = "Step %1 of %2.%n";
    word(static_cast<uint16_t>(4 + ansi.size() + 4));  // padded to a multiple of 4 with zeros
    word(0);
    table.insert(table.end(), ansi.begin(), ansi.end());
    dword(0);
    const std::u16string wide = u"Done%0";
    word(static_cast<uint16_t>(4 + wide.size() * 2 + 4));
    word(1);
    for (char16_t c : wide) word(c);
    dword(0);

    std::vector<unsigned char> image(32, 0);  // the empty entry every .res file starts with
    image[4] = 32;
    auto put = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i) image.push_back(static_cast<unsigned char>(v >> (8 * i)));
    };
    // Data size, header size, type 11, name 1, data version, memory flags with language 0x409, version,
    // characteristics.
    for (uint32_t v : {static_cast<uint32_t>(table.size()), 32u, 0x000BFFFFu, 0x0001FFFFu, 0u, 0x04090030u, 0u, 0u})
        put(v);
    image.insert(image.end(), table.begin(), table.end());
    return image;
}

TEST(FormatMessage, ModuleMessageTablesWithInsertsAndEscapes) {
    winsim::ScopedMachine machine(OsVersion::Win2000);
    static const std::vector<unsigned char> image = MessageTableImage();
    winsim::ModuleImage module;
    module.fileName = "C:\\Program Files\\Korvane\\kvmsg.dll";
    module.resources = image.data();
    module.resourcesSize = image.size();
    HMODULE handle = winsim::RegisterModule(module);

    char buffer[64];
    const DWORD_PTR inserts[] = {reinterpret_cast<DWORD_PTR>("2"), reinterpret_cast<DWORD_PTR>("5")};
    EXPECT_EQ(14u, FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, handle, 100, 0, buffer,
                                  sizeof buffer, reinterpret_cast<va_list*>(const_cast<DWORD_PTR*>(inserts))));
    EXPECT_STREQ("Step 2 of 5.\r\n", buffer);
    // Inserts with nothing to insert: the call fails.
    SetLastError(0);
    EXPECT_EQ(0u, FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE, handle, 100, 0, buffer, sizeof buffer, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_EQ(4u, FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE, handle, 101, 0, buffer, sizeof buffer, nullptr));
    EXPECT_STREQ("Done", buffer);
    // Not in the table: the system is searched when asked to as well.
    EXPECT_EQ(0u, FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE, handle, 5, 0, buffer, sizeof buffer, nullptr));
    EXPECT_EQ(19u, FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM, handle, 5, 0, buffer,
                                  sizeof buffer, nullptr));
    winsim::UnregisterModule(handle);
}

}  // namespace
