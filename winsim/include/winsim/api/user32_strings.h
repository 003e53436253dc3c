// user32: character-set aware case conversion of ANSI text.
#pragma once

#include <winsim/types.h>

// Upper-cases `length` bytes in place in the machine's ANSI code page (1252) and returns `length`.
DWORD CharUpperBuffA(LPSTR text, DWORD length);
