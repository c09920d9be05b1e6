// The setup window's handle owners are the platform layer's (win32::), seen
// here as fw:: names too.
#pragma once

#include "platform/win32/Handles.h"

namespace fw {
using namespace win32;
} // namespace fw
