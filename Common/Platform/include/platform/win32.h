// Everything the Windows-named headers of this folder stand for: on non-Windows hosts, every one of
// them (windows.h, objbase.h, oleauto.h, ...) brings the whole portable layer, as windows.h does.
#pragma once

#include "api.h"
