/*
 * VantorCrystal action library: the binary interface for host authors.
 *
 * Records are packed. On 32-bit targets every offset and size is the one the
 * host family has always used (asserted below). On 64-bit targets the fields
 * keep their order and sizes, except the three address or handle fields,
 * which are pointer-sized.
 */
#pragma once

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#define OMRA_CALL __cdecl
#else
#define OMRA_CALL
#endif

#if defined(_WIN32)
#define OMRA_EXPORT
#elif defined(__GNUC__)
#define OMRA_EXPORT __attribute__((visibility("default")))
#else
#define OMRA_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Action ids offered by this library (only the low 16 bits of an id count). */
#define OMRA_ACTION_VT300 0x0101u
#define OMRA_ACTION_VT318 0x0201u
#define OMRA_ACTION_LN2040 0x0301u

/* Callback types of Omra_SetCallBack. */
#define OMRA_CALLBACK_RESULT 1u
#define OMRA_CALLBACK_LOG 2u

/* Driver types and kinds of Omra_SetDriver. */
#define OMRA_DRIVER_TYPE1 1u
#define OMRA_DRIVER_RFTESTER 2u
#define OMRA_DRIVER_KIND_OBJECT 1u
#define OMRA_DRIVER_KIND_TABLE 2u

/* Notification target kinds. */
#define OMRA_TARGET_NONE 0u
#define OMRA_TARGET_EVENT 1u
#define OMRA_TARGET_WINDOW 2u
#define OMRA_TARGET_THREAD 3u
#define OMRA_TARGET_FUNCTION 4u

/* Window and thread messages carrying a result item or a log line:
 * wParam = address of the record, lParam = address of the NOTIFY_TARGET. */
#define WM_ACTION_RESULT 0x5401u
#define WM_ACTION_LOG 0x5402u

/* Result item forms and kinds. */
#define OMRA_FORM_NUMERIC 0
#define OMRA_FORM_TEXT 1
#define OMRA_KIND_JUDGED 2
#define OMRA_KIND_CLOSING 3
#define OMRA_KIND_INFO 4

/* Error triples: module, operation and code recorded in the ErrorCode library. */
#define OMRA_ERROR_MODULE 14u

#define OMRA_OP_STARTUP 1u
#define OMRA_OP_CREATE_ACTION 3u
#define OMRA_OP_FREE_ACTION 4u
#define OMRA_OP_GET_ACTION_INFO 5u
#define OMRA_OP_SET_CALLBACK 6u
#define OMRA_OP_SET_DRIVER 7u
#define OMRA_OP_INIT_ACTION 8u
#define OMRA_OP_DO_ACTION 9u
#define OMRA_OP_SETUP 10u
#define OMRA_OP_LOAD_CONFIG 101u
#define OMRA_OP_FLASH_WRITE 103u
#define OMRA_OP_PFER 131u
#define OMRA_OP_CDAC_RANGE 137u
#define OMRA_OP_CAFC_RANGE 138u
#define OMRA_OP_AFC_CHECK 140u

#define OMRA_ERR_FLASH_OR_AFC 4u    /* a handset command failed */
#define OMRA_ERR_RFTESTER 5u        /* the RF tester recorded an error */
#define OMRA_ERR_NULL_POINTER 7u    /* a required pointer is null */
#define OMRA_ERR_NO_INFO_BLOCK 8u   /* the info block cannot be built */
#define OMRA_ERR_NOT_STARTED 9u     /* the library is not started */
#define OMRA_ERR_CHIP_TYPE 10u      /* invalid chip type */
#define OMRA_ERR_CALLBACK_TYPE 11u  /* callback type other than 1 or 2 */
#define OMRA_ERR_DRIVER_TYPE 12u    /* driver type other than 1 or 2 */
#define OMRA_ERR_FILE_OPEN 13u      /* a file cannot be opened */
#define OMRA_ERR_FILE_EMPTY 14u     /* a file is empty */
#define OMRA_ERR_NULL_HANDLE 17u    /* the action handle is null */
#define OMRA_ERR_NOT_LIVE 18u       /* the handle is not a live action */
#define OMRA_ERR_NO_ACTION 19u      /* id not offered, or no object made */
#define OMRA_ERR_NO_DESCRIPTION 20u /* the entry cannot be described */
#define OMRA_ERR_NO_DRIVER1 21u     /* no type-1 driver after SetDriver */
#define OMRA_ERR_NO_RFTESTER 22u    /* no RF tester after SetDriver, or none for a run */
#define OMRA_ERR_RUNNING 23u        /* InitAction or DoAction of an action while it runs */
#define OMRA_ERR_PFER_RANGE 28u     /* VT300: first frequency error beyond its limit */
#define OMRA_ERR_CDAC_RANGE 31u     /* calibrated CDAC outside its window */
#define OMRA_ERR_CAFC_RANGE 32u     /* calibrated CAFC outside its window */
#define OMRA_ERR_SLOPE 34u          /* CAFC slope zero or outside its limits */
#define OMRA_ERR_UNEXPECTED 99u     /* an exception other than CCFTException stopped the call */

#pragma pack(push, 1)

typedef struct ACTION_ENTRY {
    uint16_t id;
    char name[258];
} ACTION_ENTRY;

#define OMRA_MAX_ACTIONS 20

typedef struct LIBRARY_INFO {
    ACTION_ENTRY header;
    uint16_t count;
    ACTION_ENTRY entries[OMRA_MAX_ACTIONS];
    uint16_t zero;
    uint32_t word;
} LIBRARY_INFO;

typedef struct ACTION_INFO {
    int32_t first;
    ACTION_ENTRY entry;
    uint32_t words[4];
} ACTION_INFO;

#define OMRA_PATH_BYTES 520

typedef struct ACTION_PARAM {
    int32_t chipType;
    int32_t band;
    void* calibrationRecord;
    uint32_t unread;
    char configPath[OMRA_PATH_BYTES];
    uint32_t paramWord;
} ACTION_PARAM;

typedef struct NOTIFY_TARGET {
    uint32_t kind;
    uintptr_t target;
    uint32_t context1;
    uint32_t context2;
} NOTIFY_TARGET;

#define OMRA_ITEM_NAME_BYTES 200
#define OMRA_ITEM_TEXT_BYTES 100
#define OMRA_ITEM_UNIT_BYTES 20

typedef struct RESULT_ITEM {
    char name[OMRA_ITEM_NAME_BYTES];
    int32_t form;
    union {
        struct {
            double low;
            double value;
            double high;
        } num;
        char text[OMRA_ITEM_TEXT_BYTES];
    } u;
    char unit[OMRA_ITEM_UNIT_BYTES];
    int32_t kind;
    int32_t level;
    int32_t pass;
    uint32_t zero1;
    uint32_t zero2;
    uint32_t context1;
    uint32_t context2;
} RESULT_ITEM;

typedef struct LOG_LINE {
    const char* text;
    uint32_t length;
    int32_t level;
    uint32_t zero1;
    uint32_t zero2;
    uint32_t context1;
    uint32_t context2;
} LOG_LINE;

#pragma pack(pop)

/* Byte offsets of the host's calibration record that the AFC actions use. */
#define OMRA_CAL_RESULT_SLOPE_LENGTH 2222
#define OMRA_CAL_RESULT_CDAC 2224
#define OMRA_CAL_RESULT_CAFC 2226
#define OMRA_CAL_MEAS_CDAC 4136
#define OMRA_CAL_MEAS_CAFC 4138
#define OMRA_CAL_CHANNEL 4140
#define OMRA_CAL_HOST_WORD_A 4142
#define OMRA_CAL_HOST_WORD_B 4144
#define OMRA_CAL_MEAS_PCL 4150
#define OMRA_CAL_HOST_WORD_C 4152
#define OMRA_CAL_HOST_VALUE_D 4156
/* The least size of a calibration record that holds every field above. */
#define OMRA_CAL_RECORD_SIZE 4160

/* PFER result block (RF tester measurement type 2): 40 bytes, the frequency
 * error in Hz is the float at byte 36. */
#define OMRA_PFER_BLOCK_BYTES 40
#define OMRA_PFER_FE_OFFSET 36
#define OMRA_MEAS_PFER 2

/* A function target: takes the address of the record, returns 0 to report
 * that the record was not taken. */
typedef int(OMRA_CALL* OMRA_NOTIFY_FN)(void* record);

/* Function-table entries take pointer-sized words and return a 32-bit int. */
typedef int(OMRA_CALL* OMRA_FN0)(void);
typedef int(OMRA_CALL* OMRA_FN1)(intptr_t);
typedef int(OMRA_CALL* OMRA_FN2)(intptr_t, intptr_t);
typedef int(OMRA_CALL* OMRA_FN3)(intptr_t, intptr_t, intptr_t);

/* Function table of a type-1 driver (kind 2): 5 entries. */
typedef struct DRIVER1_TABLE {
    OMRA_FN2 op4;
    OMRA_FN2 op5;
    OMRA_FN2 op6;
    OMRA_FN3 op7;
    OMRA_FN2 op8;
} DRIVER1_TABLE;

/* Function table of an RF tester (kind 2): 18 entries, in table order. */
typedef struct RFTESTER_TABLE {
    OMRA_FN2 SetBand;            /* 0: operation 11 */
    OMRA_FN3 SetupMeasurement;   /* 1: operation 13 */
    OMRA_FN0 op5;                /* 2: operation 5 */
    OMRA_FN1 op14;               /* 3: operation 14 */
    OMRA_FN1 TriggerMeasurement; /* 4: operation 15 */
    OMRA_FN2 ReadMeasurement;    /* 5: operation 16 */
    OMRA_FN1 op17;               /* 6: operation 17 */
    OMRA_FN2 op24;               /* 7: operation 24 */
    OMRA_FN2 SetPowerLevel;      /* 8: operation 18 */
    OMRA_FN2 SetTrafficChannel;  /* 9: operation 19 */
    OMRA_FN2 op20;               /* 10: operation 20 */
    OMRA_FN3 op21;               /* 11: operation 21 */
    OMRA_FN1 op22;               /* 12: operation 22 */
    OMRA_FN1 SetChannel;         /* 13: operation 23 */
    OMRA_FN3 op25;               /* 14: operation 25 */
    OMRA_FN3 op29;               /* 15: operation 29 */
    OMRA_FN3 op30;               /* 16: operation 30 */
    OMRA_FN1 BeginAction;        /* 17: operation 6 */
} RFTESTER_TABLE;

#ifdef __cplusplus
} /* extern "C" */

/*
 * Virtual tables of the classes below are the ones Microsoft's compiler
 * (MSVC) gives them, as the production hosts are built with it: slot 0 is the
 * scalar deleting destructor, one slot taking a flags word (destroy the
 * object, and free it when bit 0 is set; it returns the object's address),
 * then the operations in their order. A host's `delete p` calls slot 0 with
 * flags 1, so the object is destroyed and freed by the module that made it.
 *
 * OMRA_DESTRUCTOR_FIRST(X) opens the class and OMRA_DESTRUCTOR_LAST(X) closes
 * it. Under MSVC (and clang in MSVC mode) the first is the plain
 * `virtual ~X()` and the last is empty. Under g++ and other compilers of the
 * Itanium C++ ABI, whose virtual destructor takes two slots, the first is an
 * ordinary virtual function of slot 0's shape that does what MSVC's does, and
 * the real destructor comes last, after every operation. Member functions use
 * the platform's member convention (thiscall on 32-bit Windows, under both
 * compilers).
 */
#if defined(_MSC_VER)
#define OMRA_DESTRUCTOR_FIRST(X)                                                                   \
    virtual ~X() {}
#define OMRA_DESTRUCTOR_LAST(X)
#else
#define OMRA_DESTRUCTOR_FIRST(X)                                                                   \
    virtual void* ScalarDeletingDestructor(unsigned int flags) {                                   \
        void* self = this;                                                                         \
        if (flags & 1u)                                                                            \
            delete this;                                                                           \
        else                                                                                       \
            this->~X();                                                                            \
        return self;                                                                               \
    }
#define OMRA_DESTRUCTOR_LAST(X)                                                                    \
    virtual ~X() {}
#endif

/* The action interface; the action handle points to it. The library owns
 * the action: a host's delete of the handle is ignored; Omra_FreeAction frees
 * it. */
class IAction {
public:
    OMRA_DESTRUCTOR_FIRST(IAction)
    virtual int SetCallBack(uint32_t type, NOTIFY_TARGET* target) = 0;
    virtual int SetDriver(uint32_t type, uint32_t kind, void* driver) = 0;
    virtual int InitAction(ACTION_PARAM* param) = 0;
    virtual int DoAction() = 0;
    virtual int SetProperty(uint32_t a, uint32_t b, uint32_t c) = 0;
    virtual int GetProperty(uint32_t a, uint32_t b, uint32_t c) = 0;
    OMRA_DESTRUCTOR_LAST(IAction)
};

/* Type-1 driver: stored by the action, never called. */
class IDriver1 {
public:
    OMRA_DESTRUCTOR_FIRST(IDriver1)
    virtual int Op1(intptr_t, intptr_t) = 0;
    virtual int Op2(intptr_t) = 0;
    virtual int Op3() = 0;
    virtual int Op4(intptr_t, intptr_t) = 0;
    virtual int Op5(intptr_t, intptr_t) = 0;
    virtual int Op6(intptr_t, intptr_t) = 0;
    virtual int Op7(intptr_t, intptr_t, intptr_t) = 0;
    virtual int Op8(intptr_t, intptr_t) = 0;
    virtual int Op9(intptr_t, intptr_t, intptr_t) = 0;
    virtual int Op10(intptr_t, intptr_t, intptr_t) = 0;
    OMRA_DESTRUCTOR_LAST(IDriver1)
};

/* The RF tester driver. The library calls BeginAction, SetBand,
 * SetupMeasurement, TriggerMeasurement, ReadMeasurement, SetPowerLevel,
 * SetTrafficChannel and SetChannel; the others belong to the host. The
 * comments give the operation numbers, which are the vtable slots. */
class IRfTester {
public:
    OMRA_DESTRUCTOR_FIRST(IRfTester)
    virtual int Op1(intptr_t, intptr_t) = 0;
    virtual int Op2(intptr_t, intptr_t) = 0;
    virtual void Op3() = 0;
    virtual void Op4() = 0;
    virtual int Op5() = 0;
    virtual int BeginAction(intptr_t arg) = 0; /* 6 */
    virtual int Op7(intptr_t, intptr_t, intptr_t) = 0;
    virtual int Op8(intptr_t, intptr_t) = 0;
    virtual int Op9(intptr_t, intptr_t, intptr_t) = 0;
    virtual int Op10(intptr_t) = 0;
    virtual int SetBand(intptr_t system, intptr_t band) = 0; /* 11 */
    virtual int Op12(intptr_t, intptr_t) = 0;
    virtual int SetupMeasurement(intptr_t type, intptr_t a, intptr_t b) = 0; /* 13 */
    virtual int Op14(intptr_t) = 0;
    virtual int TriggerMeasurement(intptr_t type) = 0;               /* 15 */
    virtual int ReadMeasurement(intptr_t type, intptr_t buffer) = 0; /* 16 */
    virtual int Op17(intptr_t) = 0;
    virtual int SetPowerLevel(intptr_t pcl, intptr_t a) = 0;         /* 18 */
    virtual int SetTrafficChannel(intptr_t channel, intptr_t a) = 0; /* 19 */
    virtual int Op20(intptr_t, intptr_t) = 0;
    virtual int Op21(intptr_t, intptr_t, intptr_t) = 0;
    virtual int Op22(intptr_t) = 0;
    virtual int SetChannel(intptr_t channel) = 0; /* 23 */
    virtual int Op24(intptr_t, intptr_t) = 0;
    virtual int Op25(intptr_t, intptr_t, intptr_t) = 0;
    virtual int Op26(intptr_t) = 0;
    virtual int Op27(intptr_t, intptr_t) = 0;
    virtual int Op28(intptr_t, intptr_t) = 0;
    virtual int Op29(intptr_t, intptr_t, intptr_t) = 0;
    virtual int Op30(intptr_t, intptr_t, intptr_t) = 0;
    virtual int Op31() = 0;
    virtual int Op32(intptr_t, intptr_t, intptr_t, intptr_t) = 0;
    OMRA_DESTRUCTOR_LAST(IRfTester)
};

/* The exception that ends a failed run. Thrown as a pointer; whoever catches
 * it deletes it, and the delete runs the library's own destructor and frees
 * the object on the library's heap. Its layout (the vtable, then the two
 * texts) reads the same under every compiler, and everything a catcher uses
 * is inline, so a host needs no symbol of the library to catch, read and
 * delete it.
 *
 * How it reaches the host (Omra_InitAction and Omra_DoAction):
 * - Windows, by default: as an MSVC C++ exception (code 0xE06D7363) raised by
 *   the library, so that `catch (CCFTException* e)`, `catch (void*)` and
 *   `catch (...)` match in a host built with MSVC. It is raised after every
 *   object of the library on the stack is gone, so the host's unwinding skips
 *   nothing of the library.
 * - Windows, a host built with g++ that exports OmraHost_GxxExceptions from
 *   its executable (see below): as a g++ exception.
 * - Linux: as a plain C++ exception.
 * No other exception leaves an export. One of another type inside the
 * library (an allocation failure, say) is recorded as (operation,
 * OMRA_ERR_UNEXPECTED); Omra_InitAction and Omra_DoAction then hand a
 * CCFTException naming it to the host, the other exports return the triple's
 * value (Omra_CreateAction a null handle, Omra_Cleanup 0). */
class CCFTException {
public:
    OMRA_DESTRUCTOR_FIRST(CCFTException)
    /* Formats the message; the full text adds the source file name (the part
     * of the path after its last '\\' or '/') and the line. */
    CCFTException(const char* sourcePath, int line, const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 4, 5)))
#endif
        ;
    const char* GetMessageText() const {
        return m_message;
    }
    /* "message\n\nFILE:\t<file>\nLINE:\t<line as %04d>\n" */
    const char* GetFullText() const {
        return m_fullText;
    }
    OMRA_DESTRUCTOR_LAST(CCFTException)

private:
    CCFTException(const CCFTException&);
    CCFTException& operator=(const CCFTException&);
    char m_message[1024];
    char m_fullText[1400];
};

extern "C" {
#endif /* __cplusplus */

/* A type, not a macro: "OMRA_HANDLE a, b;" declares two handles. */
#ifdef __cplusplus
typedef IAction* OMRA_HANDLE;
#else
typedef void* OMRA_HANDLE;
#endif

OMRA_EXPORT uint32_t OMRA_CALL Omra_Startup(LIBRARY_INFO* info);
OMRA_EXPORT uint32_t OMRA_CALL Omra_Cleanup(void);
OMRA_EXPORT OMRA_HANDLE OMRA_CALL Omra_CreateAction(uint32_t id, uint32_t unused);
OMRA_EXPORT uint32_t OMRA_CALL Omra_FreeAction(OMRA_HANDLE action);
OMRA_EXPORT uint32_t OMRA_CALL Omra_GetActionInfo(OMRA_HANDLE action, ACTION_INFO* info);
OMRA_EXPORT uint32_t OMRA_CALL Omra_SetCallBack(OMRA_HANDLE action, uint32_t type,
                                                NOTIFY_TARGET* target);
OMRA_EXPORT uint32_t OMRA_CALL Omra_SetDriver(OMRA_HANDLE action, uint32_t type, uint32_t kind,
                                              void* driver);
OMRA_EXPORT uint32_t OMRA_CALL Omra_InitAction(OMRA_HANDLE action, ACTION_PARAM* param);
OMRA_EXPORT uint32_t OMRA_CALL Omra_DoAction(OMRA_HANDLE action);
OMRA_EXPORT uint32_t OMRA_CALL Omra_Setup(uint32_t id, const char* path);
OMRA_EXPORT uint32_t OMRA_CALL Omra_SetProperty(OMRA_HANDLE action, uint32_t a, uint32_t b,
                                                uint32_t c);
OMRA_EXPORT uint32_t OMRA_CALL Omra_GetProperty(OMRA_HANDLE action, uint32_t a, uint32_t b,
                                                uint32_t c);

/* Pointer types for hosts that load the library dynamically. */
typedef uint32_t(OMRA_CALL* PFN_Omra_Startup)(LIBRARY_INFO*);
typedef uint32_t(OMRA_CALL* PFN_Omra_Cleanup)(void);
typedef OMRA_HANDLE(OMRA_CALL* PFN_Omra_CreateAction)(uint32_t, uint32_t);
typedef uint32_t(OMRA_CALL* PFN_Omra_FreeAction)(OMRA_HANDLE);
typedef uint32_t(OMRA_CALL* PFN_Omra_GetActionInfo)(OMRA_HANDLE, ACTION_INFO*);
typedef uint32_t(OMRA_CALL* PFN_Omra_SetCallBack)(OMRA_HANDLE, uint32_t, NOTIFY_TARGET*);
typedef uint32_t(OMRA_CALL* PFN_Omra_SetDriver)(OMRA_HANDLE, uint32_t, uint32_t, void*);
typedef uint32_t(OMRA_CALL* PFN_Omra_InitAction)(OMRA_HANDLE, ACTION_PARAM*);
typedef uint32_t(OMRA_CALL* PFN_Omra_DoAction)(OMRA_HANDLE);
typedef uint32_t(OMRA_CALL* PFN_Omra_Setup)(uint32_t, const char*);
typedef uint32_t(OMRA_CALL* PFN_Omra_SetProperty)(OMRA_HANDLE, uint32_t, uint32_t, uint32_t);
typedef uint32_t(OMRA_CALL* PFN_Omra_GetProperty)(OMRA_HANDLE, uint32_t, uint32_t, uint32_t);

/* A host that wants its own clock for the library's pauses (a simulator, a
 * test) exports this function from its executable; the library then calls it
 * instead of sleeping. */
typedef void(OMRA_CALL* PFN_OmraHost_Sleep)(uint32_t milliseconds);
#define OMRA_HOST_SLEEP_NAME "OmraHost_Sleep"

/* A host built with g++ on Windows that catches the library's exceptions as
 * g++ exceptions exports a function of this name from its executable (its
 * presence is what counts; the library does not call it). Without it the
 * library raises MSVC C++ exceptions, as production hosts need. */
typedef int(OMRA_CALL* PFN_OmraHost_GxxExceptions)(void);
#define OMRA_HOST_GXX_EXCEPTIONS_NAME "OmraHost_GxxExceptions"

#ifdef __cplusplus
} /* extern "C" */
#endif

/* Layout checks: the 32-bit records are the host family's. */
#ifdef __cplusplus
#define OMRA_STATIC_ASSERT(c, m) static_assert(c, m)
#else
#define OMRA_STATIC_ASSERT(c, m) _Static_assert(c, m)
#endif
OMRA_STATIC_ASSERT(sizeof(ACTION_ENTRY) == 260, "ACTION_ENTRY is 260 bytes");
OMRA_STATIC_ASSERT(sizeof(LIBRARY_INFO) == 5468, "LIBRARY_INFO is 5468 bytes");
OMRA_STATIC_ASSERT(offsetof(LIBRARY_INFO, count) == 260, "LIBRARY_INFO count at 260");
OMRA_STATIC_ASSERT(offsetof(LIBRARY_INFO, entries) == 262, "LIBRARY_INFO entries at 262");
OMRA_STATIC_ASSERT(offsetof(LIBRARY_INFO, zero) == 5462, "LIBRARY_INFO zero at 5462");
OMRA_STATIC_ASSERT(offsetof(LIBRARY_INFO, word) == 5464, "LIBRARY_INFO word at 5464");
OMRA_STATIC_ASSERT(sizeof(ACTION_INFO) == 280, "ACTION_INFO is 280 bytes");
OMRA_STATIC_ASSERT(offsetof(ACTION_INFO, entry) == 4, "ACTION_INFO entry at 4");
OMRA_STATIC_ASSERT(offsetof(ACTION_INFO, words) == 264, "ACTION_INFO words at 264");
OMRA_STATIC_ASSERT(sizeof(RESULT_ITEM) == 352, "RESULT_ITEM is 352 bytes");
OMRA_STATIC_ASSERT(offsetof(RESULT_ITEM, form) == 200, "RESULT_ITEM form at 200");
OMRA_STATIC_ASSERT(offsetof(RESULT_ITEM, u) == 204, "RESULT_ITEM values at 204");
OMRA_STATIC_ASSERT(offsetof(RESULT_ITEM, unit) == 304, "RESULT_ITEM unit at 304");
OMRA_STATIC_ASSERT(offsetof(RESULT_ITEM, kind) == 324, "RESULT_ITEM kind at 324");
OMRA_STATIC_ASSERT(offsetof(RESULT_ITEM, pass) == 332, "RESULT_ITEM pass at 332");
OMRA_STATIC_ASSERT(offsetof(RESULT_ITEM, context1) == 344, "RESULT_ITEM context at 344");
OMRA_STATIC_ASSERT(offsetof(ACTION_PARAM, chipType) == 0, "ACTION_PARAM chip type at 0");
OMRA_STATIC_ASSERT(offsetof(ACTION_PARAM, band) == 4, "ACTION_PARAM band at 4");
OMRA_STATIC_ASSERT(offsetof(ACTION_PARAM, calibrationRecord) == 8, "ACTION_PARAM record at 8");
#if UINTPTR_MAX == 0xFFFFFFFFu
OMRA_STATIC_ASSERT(sizeof(ACTION_PARAM) == 540, "ACTION_PARAM is 540 bytes");
OMRA_STATIC_ASSERT(offsetof(ACTION_PARAM, configPath) == 16, "ACTION_PARAM path at 16");
OMRA_STATIC_ASSERT(offsetof(ACTION_PARAM, paramWord) == 536, "ACTION_PARAM word at 536");
OMRA_STATIC_ASSERT(sizeof(NOTIFY_TARGET) == 16, "NOTIFY_TARGET is four words");
OMRA_STATIC_ASSERT(offsetof(NOTIFY_TARGET, context1) == 8, "NOTIFY_TARGET context at 8");
OMRA_STATIC_ASSERT(sizeof(LOG_LINE) == 28, "LOG_LINE is seven words");
OMRA_STATIC_ASSERT(offsetof(LOG_LINE, context1) == 20, "LOG_LINE context at 20");
#else
OMRA_STATIC_ASSERT(sizeof(ACTION_PARAM) == 544, "ACTION_PARAM is 544 bytes on 64-bit");
OMRA_STATIC_ASSERT(offsetof(ACTION_PARAM, unread) == 16, "ACTION_PARAM unread word at 16");
OMRA_STATIC_ASSERT(offsetof(ACTION_PARAM, configPath) == 20, "ACTION_PARAM path at 20");
OMRA_STATIC_ASSERT(offsetof(ACTION_PARAM, paramWord) == 540, "ACTION_PARAM word at 540");
OMRA_STATIC_ASSERT(sizeof(NOTIFY_TARGET) == 20, "NOTIFY_TARGET is 20 bytes on 64-bit");
OMRA_STATIC_ASSERT(offsetof(NOTIFY_TARGET, context1) == 12, "NOTIFY_TARGET context at 12");
OMRA_STATIC_ASSERT(sizeof(LOG_LINE) == 32, "LOG_LINE is 32 bytes on 64-bit");
OMRA_STATIC_ASSERT(offsetof(LOG_LINE, context1) == 24, "LOG_LINE context at 24");
#endif
