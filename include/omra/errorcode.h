/*
 * ErrorCode: the host family's store of the last error of every component.
 * VantorCrystal calls only Spec_SetErrorCode, Spec_ClearErrorCode and
 * Spec_GetError; ErrorCode_GetLast is for hosts, drivers and tests.
 */
#pragma once

#include <stdint.h>

#if defined(_WIN32)
#define ERRORCODE_CALL __cdecl
#if defined(ERRORCODE_BUILD)
#define ERRORCODE_API __declspec(dllexport)
#else
#define ERRORCODE_API __declspec(dllimport)
#endif
#else
#define ERRORCODE_CALL
#define ERRORCODE_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Modules that record errors. The action libraries use 14; an RF tester
 * driver records its errors under its own module, which maps to type 1. */
typedef enum E_MODULE_TYPE {
    E_MODULE_HOST = 1,
    E_MODULE_RFTESTER = 2,
    E_MODULE_PHONE = 3,
    E_MODULE_ACTION = 14
} E_MODULE_TYPE;

/* Error types: 0 means every type (clearing) or the latest of any (reading). */
typedef enum E_ERR_TYPE {
    E_ERR_ANY = 0,
    E_ERR_RFTESTER = 1,
    E_ERR_ACTION = 2,
    E_ERR_OTHER = 3
} E_ERR_TYPE;

#define ERRORCODE_TYPES 4

typedef struct ERROR_TRIPLE {
    uint32_t module;
    uint32_t operation;
    uint32_t code;
    int32_t extra;
} ERROR_TRIPLE;

/* Records a triple under the type of its module and returns a non-zero value
 * that encodes it: module << 24 | (operation & 0xFFF) << 12 | (code & 0xFFF). */
ERRORCODE_API uint32_t ERRORCODE_CALL Spec_SetErrorCode(E_MODULE_TYPE module, uint32_t operation,
                                                        uint32_t code, int32_t extra);
/* Type 0 clears every type. */
ERRORCODE_API void ERRORCODE_CALL Spec_ClearErrorCode(E_ERR_TYPE type);
/* The encoded value of the last triple of the type (0: none since the last
 * clear); type 0 gives the latest of any type. */
ERRORCODE_API uint32_t ERRORCODE_CALL Spec_GetError(E_ERR_TYPE type);
/* Copies the last triple of the type; returns 0 when there is none. */
ERRORCODE_API int32_t ERRORCODE_CALL ErrorCode_GetLast(E_ERR_TYPE type, ERROR_TRIPLE* triple);
/* How many triples have been recorded since the library was loaded. */
ERRORCODE_API uint32_t ERRORCODE_CALL ErrorCode_SetCount(void);

#ifdef __cplusplus
}
#endif
