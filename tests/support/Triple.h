// The error triple a host reads back from the ErrorCode library.
#pragma once

#include "omra/errorcode.h"

#include <cstdint>
#include <ostream>

namespace testing_support {

struct Triple {
    uint32_t module = 0, operation = 0, code = 0;
    int32_t extra = 0;
    bool operator==(const Triple& o) const {
        return module == o.module && operation == o.operation && code == o.code && extra == o.extra;
    }
    bool operator!=(const Triple& o) const { return !(*this == o); }
};

inline std::ostream& operator<<(std::ostream& os, const Triple& t) {
    return os << "(" << t.module << ", " << t.operation << ", " << t.code << ", " << t.extra << ")";
}

// The last triple of this library (module 14); all zero when there is none.
inline Triple LastTriple() {
    ERROR_TRIPLE t{};
    if (!ErrorCode_GetLast(E_ERR_ACTION, &t))
        return Triple{};
    return Triple{t.module, t.operation, t.code, t.extra};
}

// A triple of this library.
inline Triple ActionTriple(uint32_t operation, uint32_t code, int32_t extra = 0) {
    return Triple{14, operation, code, extra};
}

} // namespace testing_support
