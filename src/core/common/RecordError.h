// The one way this library records a failure.
#pragma once

#include <cstdint>

namespace vantor {

// Records a triple of this library (module 14) and returns its value.
uint32_t RecordError(uint32_t operation, uint32_t code, int32_t extra);

} // namespace vantor
