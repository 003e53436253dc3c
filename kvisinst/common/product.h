// The product's own names and numbers, kept in one place: the library's code refers to these and
// never spells them out itself.
#pragma once

// The fingerprint reader's USB vendor ID, four hexadecimal digits as Windows writes them in hardware
// IDs ("USB\VID_xxxx&PID_yyyy") and in the names of device keys ("VID_xxxx&PID_yyyy").
#define KV_READER_USB_VENDOR_ID "2C8F"

// The installed product's registry key (under HKEY_LOCAL_MACHINE) and its installation directory.
constexpr char kProductKey[] = "SOFTWARE\\Korvane\\QuillexPro";
constexpr char kProductPathValue[] = "ProductPath";

// The product's Windows 95/98 support library, in the installation directory, and its export that
// rebuilds the product's driver database.
constexpr char kSupportLibraryName[] = "kvthk32.dll";
constexpr char kBuildDriverDataBaseName[] = "BuildDriverDataBase";

// The install and remove request queues under HKEY_LOCAL_MACHINE, and the subkey of each that keeps
// the records of the requests that failed in its last drain.
constexpr char kInstallQueueKey[] = "Software\\Korvane\\Install\\Add";
constexpr char kRemoveQueueKey[] = "Software\\Korvane\\Install\\Remove";
constexpr char kFailedRequestsKey[] = "Failed";

// The installation directory when "ProductPath" cannot be read, the installed product's remote-test
// library in it, and that library's export run after a queued installation.
constexpr char kDefaultProductPath[] = "C:\\Program files\\Korvane\\QuillexPro";
constexpr char kRemoteTestLibraryName[] = "kvtest.dll";
constexpr char kRemoteTestExportName[] = "KVQuillexRemoteTest";

// The edition this library installs, as CleanUp knows it.
constexpr char kThisEdition[] = "QUILLEXPRO103";
