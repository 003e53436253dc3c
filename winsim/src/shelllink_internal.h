// Shared by the link file format (shelllink.cpp) and the shell's link object (shell32_links.cpp).
#pragma once

#include <winsim/shelllink.h>
#include <winsim/win32api.h>

#include <sys/stat.h>

#include <cstdint>
#include <string>

namespace winsim {

// Longest strings the object accepts: MAX_PATH for paths, INFOTIPSIZE for the free texts. Longer
// input is refused rather than cut, so a link never points somewhere its creator did not name.
constexpr size_t kMaxPath = MAX_PATH - 1;
constexpr size_t kMaxText = 1023;

// A local target the LinkInfo structure can carry: "X:\\...".
bool IsLocalAbsolute(const std::string& path);
// Strings in the machine's ANSI code page and in UTF-16, as link files hold them.
std::u16string AnsiToUtf16(const std::string& text);
std::string Utf16ToAnsi(const std::u16string& wide);
// FILETIME of a host file's last change.
uint64_t FileTimeOf(const struct stat& st);

}  // namespace winsim
