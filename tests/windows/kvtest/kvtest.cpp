// kvtest.dll: stands in for the installed product's remote-test library, which a queue drain loads
// from the product's folder after a successful installation. Its one export leaves "remote test" on
// the installation tests' trail (mark.h).
#include "mark.h"

extern "C" __declspec(dllexport) void KVQuillexRemoteTest() { AppendMark("remote test"); }
