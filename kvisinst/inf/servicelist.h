// The product's lists of service sections: "InstallDevices" (create and start, in order) and the
// optional "UnInstallDevices" (stop and delete, in order; "InstallDevices" serves when it is
// missing), each in its platform form. Every line of a list is the name of a service section (see
// service.h). Services exist on the NT family only: on Windows 95/98 the walks visit the lines and
// touch nothing.
//
// A walk never stops at a failing service; the result is that of the last action of the last line
// acted on (S_OK or E_FAIL), S_OK when nothing ran or the list is missing. A line whose text does
// not fit 259 characters names no section and is passed over.
#pragma once

#include "kvisinst/exports.h"

// InstallDrivers, StopServices and the three Setup* wrappers are declared with the other exports.
