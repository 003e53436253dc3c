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

// The logon components of earlier editions, unregistered in the system directory and left in place
// ('-'): on the NT family the password filter and the message library, elsewhere the latter alone.
extern const char kLogonListNt[];
extern const char kLogonList9x[];
// The earlier editions' replacement logon dialog library, upper case as the Winlogon "GinaDll" value
// is compared with it.
extern const char kGinaLibraryName[];

// The private-space companion's three program files, two executables then its library, with a
// trailing blank; its authentication service library, removed from the companion's folder.
extern const char kPrivateSpaceList[];
extern const char kPrivateSpaceAuthLibrary[];

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
