// Creating, starting, stopping and deleting the service that a service section of the product's INF
// describes. The section's keys (all read by key, at most 259 characters each; a longer value counts
// as missing):
//
//   BinaryName          image path, used as given            (missing: nothing can be created)
//   ServiceName         the service's key name               (missing: derived from BinaryName)
//   ServiceDisplayName  display name                         (missing: the service name)
//   Dependencies        names separated by single blanks     (missing: none)
//   ServiceType         SERVICE_KERNEL_DRIVER, SERVICE_FILE_SYSTEM_DRIVER, SERVICE_WIN32_OWN_PROCESS,
//                       SERVICE_WIN32_SHARE_PROCESS          (anything else: SERVICE_KERNEL_DRIVER)
//   StartType           SERVICE_BOOT_START ... SERVICE_DISABLED (anything else: SERVICE_AUTO_START)
//   Interactive         YES (any case) lets a Win32 service use the desktop
//
// Keywords match exactly, letter case included. ControlService and tagSERVICE_CONTROL are declared
// with the other exports.
#pragma once

#include "kvisinst/exports.h"

// Every value of a service section fits in this many characters with its NUL.
constexpr int kServiceValueSize = 260;

// What ControlService reads from a service section; exposed so that the section's parsing can be
// checked without a service control manager.
struct CServiceSection {
    char name[kServiceValueSize];
    char displayName[kServiceValueSize];
    char imagePath[kServiceValueSize];
    bool hasImagePath;  // false: the section has no usable BinaryName, and creation fails
    // CreateServiceA's list: the Dependencies text with each blank made a NUL, and one more NUL after
    // it, so two blanks in a row end the list.
    char dependencies[kServiceValueSize + 1];
    DWORD type;       // with SERVICE_INTERACTIVE_PROCESS where it applies
    DWORD startType;
};

void ReadServiceSection(HINF inf, LPCSTR section, CServiceSection* out);

// The service name taken from an image path when a section has no ServiceName: the file name
// without its folder, quotes and extension ("%12%\qxusb.sys" gives "qxusb"). `name` holds
// kServiceValueSize characters; the result never contains '\' or '/'.
void ServiceNameFromImagePath(LPCSTR imagePath, LPSTR name);
