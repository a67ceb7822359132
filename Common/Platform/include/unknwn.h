// Windows SDK header name, served by the portable layer on non-Windows hosts.
#pragma once

#include "platform/win32.h"
