// Shared by ole32's object creation and the simulated COM servers.
#pragma once

#include <winsim/win32api.h>

#include <cstddef>

namespace winsim {

// Bookkeeping of live objects, for LiveComObjects().
void ComObjectCreated();
void ComObjectDestroyed();

// A new shell link object with one reference, as IUnknown.
IUnknown* CreateShellLinkObject();

}  // namespace winsim
