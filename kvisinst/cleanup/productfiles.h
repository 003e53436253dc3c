// The product's file names, kept in one place (productfiles.cpp): the lists that CleanUp walks and the
// files it makes writable before an installation.
#pragma once

#include <cstddef>

// List texts for CDllList (listsyntax.h).
// A: 5 names walked in the system directory: four libraries (one marked '~') and "KVHOST.exe".
extern const char kCleanUpListA[];
// B: 31 names walked in the system directory: 28 libraries, 2 ActiveX controls, 1 type library.
extern const char kCleanUpListB[];
// C: 18 names walked in the "ProductPath" directory: 1 ActiveX control and 17 libraries marked '~'.
extern const char kCleanUpListC[];

// One place whose files are made writable: a base directory, a suffix appended to it ("" or
// "\\..."), and its names as NUL-terminated strings closed by an empty one.
struct CWritablePlace {
    enum Base { ProductPath, SystemDirectory, WindowsDirectory };
    Base base;
    const char* suffix;
    const char* names;
};
// In the order in which they are visited.
extern const CWritablePlace kWritablePlaces[];
extern const size_t kWritablePlaceCount;
