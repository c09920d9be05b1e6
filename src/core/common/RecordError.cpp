#include "RecordError.h"

#include "omra/errorcode.h"

uint32_t vantor::RecordError(uint32_t operation, uint32_t code, int32_t extra) {
    return Spec_SetErrorCode(E_MODULE_ACTION, operation, code, extra);
}
