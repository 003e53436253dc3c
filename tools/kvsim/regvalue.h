// Registry values as kvsim's set and the scenario files give them: a type's name and its data as
// text, turned into the bytes the registry keeps. Compiles for Windows too (tools/scenario).
#pragma once

#include "kvisinst/common/win32.h"

#include <string>
#include <vector>

namespace kvsim {

// REG_SZ, REG_EXPAND_SZ, REG_DWORD, REG_BINARY or REG_MULTI_SZ; false for another word.
bool IsTypeName(const std::string& text, DWORD* type);

// The value's bytes as the registry keeps them: text with its NUL, a DWORD from decimal or 0x hex,
// hex bytes ("01,ff" or "01ff"), one string an item for REG_MULTI_SZ (the only type that takes more
// than one). False with the reason when the data does not fit.
bool EncodeValue(DWORD type, const std::vector<std::string>& data, std::vector<BYTE>* bytes, std::string* why);

}  // namespace kvsim
