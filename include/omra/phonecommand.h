/*
 * PhoneCommand: commands to the handset over its diagnostic connection.
 * VantorCrystal calls only the five HT_ functions. A host, a test or the
 * station attaches a handset (simulated or scripted) that sees every call and
 * chooses each result; with none attached every command succeeds.
 */
#pragma once

#include <stdint.h>

#if defined(_WIN32)
#define PHONECOMMAND_CALL __cdecl
#if defined(PHONECOMMAND_BUILD)
#define PHONECOMMAND_API __declspec(dllexport)
#else
#define PHONECOMMAND_API __declspec(dllimport)
#endif
#else
#define PHONECOMMAND_CALL
#define PHONECOMMAND_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* AFC start block: power control level, channel, CDAC, CAFC. */
#pragma pack(push, 1)
typedef struct AFC_START_BLOCK {
    uint16_t pcl;
    uint16_t channel;
    uint16_t cdac;
    uint16_t cafc;
} AFC_START_BLOCK;
#pragma pack(pop)

PHONECOMMAND_API int32_t PHONECOMMAND_CALL HT_SetPhoneClassmark_MChip(int32_t classMark);
PHONECOMMAND_API int32_t PHONECOMMAND_CALL HT_AfcStart_MChip(int32_t on, void* startBlock);
PHONECOMMAND_API int32_t PHONECOMMAND_CALL HT_WriteData_Flash_AFC_CAFC(uint32_t cafc);
PHONECOMMAND_API int32_t PHONECOMMAND_CALL HT_WriteData_Flash_AFC_CDAC(uint32_t cdac);
PHONECOMMAND_API int32_t PHONECOMMAND_CALL HT_WriteData_Flash_AFC_slope_length(uint32_t length);

/* Which flash field a write addresses. */
typedef enum PHONE_FLASH_FIELD {
    PHONE_FLASH_CAFC = 0,
    PHONE_FLASH_CDAC = 1,
    PHONE_FLASH_SLOPE_LENGTH = 2
} PHONE_FLASH_FIELD;

/* A handset behind the library: each callback returns the command's result. */
typedef struct PHONE_HANDSET {
    void* context;
    int32_t (*SetClassMark)(void* context, int32_t classMark);
    int32_t (*AfcStart)(void* context, int32_t on, const AFC_START_BLOCK* block);
    int32_t (*WriteFlash)(void* context, PHONE_FLASH_FIELD field, uint16_t value);
} PHONE_HANDSET;

/* Attaches a handset (copied); null detaches. */
PHONECOMMAND_API void PHONECOMMAND_CALL PhoneCommand_Attach(const PHONE_HANDSET* handset);

#ifdef __cplusplus
}
#endif
