#pragma once
// The control and menu identifiers of the real Pesora.exe, for the end-to-end tests of every
// subsystem that find its controls. The bench may know the whole program; the subsystems do
// not know the application shell above them.
#include "app/resource.h"
