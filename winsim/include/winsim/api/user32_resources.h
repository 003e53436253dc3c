// user32: string resources.
#pragma once

#include <winsim/types.h>

int LoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, int size);
int LoadStringW(HINSTANCE instance, UINT id, LPWSTR buffer, int size);
