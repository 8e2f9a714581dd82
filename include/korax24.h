/*
 * korax24.h: the host interface of the KORAX24 board driver (korax24.dll).
 *
 * Everything a host needs to load the driver and talk to it: the eighteen entry points with their
 * calling convention, the records that cross the boundary, the result and data-type codes, and how to
 * bind the process-shared memory manager that every string the driver hands over comes from.
 *
 * Plain C (C99 and later) and C++; MinGW, clang and other Windows compilers. The driver itself is built
 * against this file, so it is the one list of the interface.
 *
 * Conventions of the boundary:
 *   - Every entry point uses the standard Windows calling convention (KORAX_API, __stdcall) and is
 *     exported under its undecorated name.
 *   - Booleans are one byte (KoraxBool): 0 false, 1 true.
 *   - Records are little-endian and packed: no field is aligned on its own. Doubles sit at offsets that
 *     are not multiples of 8; copy them with memcpy rather than through a double pointer.
 *   - An "out message" is a char** cell that receives a new zero-terminated GBK string, or nil when there
 *     is nothing to say. The string belongs to the host, which releases it through the shared memory
 *     manager (below), once. String tag values in records the driver fills follow the same rule.
 */
#ifndef KORAX24_H
#define KORAX24_H

#include <stddef.h>
#include <stdint.h>

/* ---- Calling conventions ------------------------------------------------------------------------- */

#if defined(_WIN32)
#define KORAX_API __stdcall
#else
#define KORAX_API
#endif

/* Natively (the Linux build of the driver) only the entry points are visible outside the library. */
#if !defined(_WIN32) && (defined(__GNUC__) || defined(__clang__))
#define KORAX_EXPORT __attribute__((visibility("default")))
#else
#define KORAX_EXPORT
#endif

/* ---- Codes ---------------------------------------------------------------------------------------- */

typedef uint8_t KoraxBool;
enum { KORAX_FALSE = 0, KORAX_TRUE = 1 };

/* DataType of every record. */
enum { KORAX_TYPE_REAL = 0, KORAX_TYPE_BOOLEAN = 1, KORAX_TYPE_STRING = 2 };

/* Access of a tag editor record. */
enum { KORAX_ACCESS_INPUT = 0, KORAX_ACCESS_OUTPUT = 1, KORAX_ACCESS_CONTROL = 2 };

enum {
    /* AddTags: every tag added; ReadTags: reads queued; WriteTags: every write made. */
    KORAX_RESULT_OK = 0,
    /* AddTags: a tag refused (see its result cell), a nil array; ReadTags: a nil array or count 0;
     * WriteTags: a write refused, a nil array, count 0; AddTags and WriteTags also without a driver
     * object on the thread (ReadTags then answers KORAX_RESULT_OK). */
    KORAX_RESULT_FAILED = 1
};

/* DLLEdDev */
enum { KORAX_WIZARD_ACCEPTED = 1, KORAX_WIZARD_NOT_ACCEPTED = 2 };

enum {
    KORAX_PDB_LENGTH = 19216,              /* GetPDBLen: bytes of a device parameter block */
    KORAX_TAG_TEMPLATE_COUNT = 14,         /* entries of GetTags and of GetTagAddrList */
    KORAX_SCAN_TIME_WITHOUT_DRIVER = 1000, /* DetectScanTime on a thread without a driver object */
    KORAX_EDITOR_TEXT_SIZE = 256           /* a short string: length byte + up to 255 characters */
};

/* Type codes of the OLE Automation variant that carries a tag's initial value (HostTagDef). Codes 0 and 1
 * mean no initial value; a code the driver does not decode starts the tag at its data type's default. */
enum {
    KORAX_VT_EMPTY = 0,
    KORAX_VT_NULL = 1,
    KORAX_VT_I2 = 2,
    KORAX_VT_I4 = 3,
    KORAX_VT_R4 = 4,
    KORAX_VT_R8 = 5,
    KORAX_VT_CY = 6,
    KORAX_VT_DATE = 7,
    KORAX_VT_BSTR = 8, /* wide string, converted to GBK */
    KORAX_VT_BOOL = 11,
    KORAX_VT_I1 = 16,
    KORAX_VT_UI1 = 17,
    KORAX_VT_UI2 = 18,
    KORAX_VT_UI4 = 19,
    KORAX_VT_I8 = 20,
    KORAX_VT_UI8 = 21,
    KORAX_VT_INT = 22,
    KORAX_VT_UINT = 23,
    KORAX_VT_HOST_STRING = 0x100, /* the host's own zero-terminated 8-bit string, a pointer at 128 */
    KORAX_VT_BYREF = 0x4000       /* flag: never decoded */
};

/* ---- Records -------------------------------------------------------------------------------------- */

#pragma pack(push, 1)

/* One tag the host registers (IniDriver, AddTags). Only the named fields are read. */
typedef struct HostTagDef {
    uint32_t TagId;          /* 0: the driver indexes a table by it; keep ids small and dense */
    char Name[32];           /* 4: ended by a zero byte or the end of the field */
    uint8_t Reserved1[4];    /* 36 */
    char Address[64];        /* 40: tag address text, same form */
    uint8_t DataType;        /* 104: KORAX_TYPE_* */
    uint8_t Reserved2[3];    /* 105 */
    uint32_t ScanInterval;   /* 108: least milliseconds between two reports */
    uint8_t Reserved3[8];    /* 112 */
    uint16_t InitialType;    /* 120: variant type code, KORAX_VT_* */
    uint8_t Reserved4[6];    /* 122 */
    uint8_t InitialValue[8]; /* 128: the variant's value (a pointer takes its first bytes) */
} HostTagDef;

/* One tag value: filled by OnDataRead, read by OnDataWrite and WriteTags. */
typedef struct TagValueRec {
    int32_t TagId;      /* 0 */
    double TimeStamp;   /* 4: local date-time, days since 1899-12-30; ignored on input */
    uint32_t Status;    /* 12: 0 from OnDataRead; ignored on input */
    uint8_t DataType;   /* 16: KORAX_TYPE_* */
    uint8_t Padding[3]; /* 17 */
    /* 20: real: a double; Boolean: a 32-bit word, written 0 or 1, read as true when non-zero; string: a
     * pointer to a zero-terminated 8-bit string in the first bytes (nil for empty). */
    uint8_t Value[8];
} TagValueRec;

/* One tag template of the host's tag editor (GetTags). The driver writes the length byte and the
 * characters of each short string; the rest of those fields keeps what the host had there. */
typedef struct TagTemplate {
    uint8_t Name[KORAX_EDITOR_TEXT_SIZE];        /* 0 */
    uint8_t Description[KORAX_EDITOR_TEXT_SIZE]; /* 256: GBK */
    uint8_t DataType;                            /* 512: KORAX_TYPE_* */
    uint8_t Access;                              /* 513: KORAX_ACCESS_* */
    uint8_t Field514;
    uint8_t Padding1;
    int32_t Field516;
    int32_t Field520;
    uint8_t Field524; /* 1 for the tags the driver serves itself (ENLOG, CommLink, EnCommLink) */
    uint8_t Padding2[3];
    int32_t Field528;
    int32_t Field532;
    uint8_t Field536;
    uint8_t Padding3[3];
    int32_t Field540;
    int32_t Field544;
    uint8_t RangeHigh[8]; /* 548: double, upper end of the value range */
    uint8_t RangeLow[8];  /* 556: double */
    int32_t Tail;         /* 564 */
} TagTemplate;

/* One entry of the tag address list (GetTagAddrList). */
typedef struct TagAddrEntry {
    uint8_t Name[KORAX_EDITOR_TEXT_SIZE];
    uint8_t Description[KORAX_EDITOR_TEXT_SIZE];
    uint8_t DataType; /* 512 */
    uint8_t Access;   /* 513 */
    uint8_t Padding1[2];
    uint8_t RangeHigh[8]; /* 516: double */
    uint8_t RangeLow[8];  /* 524: double */
    int32_t Tail;         /* 532 */
} TagAddrEntry;

#pragma pack(pop)

/* Layout checks at compile time. The records hold no pointer fields, so they hold on every target. */
#if defined(__cplusplus) && __cplusplus >= 201103L
#define KORAX_LAYOUT(name, condition) static_assert(condition, #name)
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
#define KORAX_LAYOUT(name, condition) _Static_assert(condition, #name)
#else
#define KORAX_LAYOUT(name, condition) typedef char korax_layout_##name[(condition) ? 1 : -1]
#endif

KORAX_LAYOUT(HostTagDef_TagId, offsetof(HostTagDef, TagId) == 0);
KORAX_LAYOUT(HostTagDef_Name, offsetof(HostTagDef, Name) == 4);
KORAX_LAYOUT(HostTagDef_Address, offsetof(HostTagDef, Address) == 40);
KORAX_LAYOUT(HostTagDef_DataType, offsetof(HostTagDef, DataType) == 104);
KORAX_LAYOUT(HostTagDef_ScanInterval, offsetof(HostTagDef, ScanInterval) == 108);
KORAX_LAYOUT(HostTagDef_InitialType, offsetof(HostTagDef, InitialType) == 120);
KORAX_LAYOUT(HostTagDef_InitialValue, offsetof(HostTagDef, InitialValue) == 128);
KORAX_LAYOUT(HostTagDef_size, sizeof(HostTagDef) == 136);
KORAX_LAYOUT(HostTagDef_pointer, sizeof(void*) <= sizeof(((HostTagDef*)0)->InitialValue));

KORAX_LAYOUT(TagValueRec_TagId, offsetof(TagValueRec, TagId) == 0);
KORAX_LAYOUT(TagValueRec_TimeStamp, offsetof(TagValueRec, TimeStamp) == 4);
KORAX_LAYOUT(TagValueRec_Status, offsetof(TagValueRec, Status) == 12);
KORAX_LAYOUT(TagValueRec_DataType, offsetof(TagValueRec, DataType) == 16);
KORAX_LAYOUT(TagValueRec_Value, offsetof(TagValueRec, Value) == 20);
KORAX_LAYOUT(TagValueRec_size, sizeof(TagValueRec) == 28);
KORAX_LAYOUT(TagValueRec_pointer, sizeof(char*) <= sizeof(((TagValueRec*)0)->Value));

KORAX_LAYOUT(TagTemplate_Description, offsetof(TagTemplate, Description) == 256);
KORAX_LAYOUT(TagTemplate_DataType, offsetof(TagTemplate, DataType) == 512);
KORAX_LAYOUT(TagTemplate_Access, offsetof(TagTemplate, Access) == 513);
KORAX_LAYOUT(TagTemplate_Field514, offsetof(TagTemplate, Field514) == 514);
KORAX_LAYOUT(TagTemplate_Field516, offsetof(TagTemplate, Field516) == 516);
KORAX_LAYOUT(TagTemplate_Field520, offsetof(TagTemplate, Field520) == 520);
KORAX_LAYOUT(TagTemplate_Field524, offsetof(TagTemplate, Field524) == 524);
KORAX_LAYOUT(TagTemplate_Field528, offsetof(TagTemplate, Field528) == 528);
KORAX_LAYOUT(TagTemplate_Field532, offsetof(TagTemplate, Field532) == 532);
KORAX_LAYOUT(TagTemplate_Field536, offsetof(TagTemplate, Field536) == 536);
KORAX_LAYOUT(TagTemplate_Field540, offsetof(TagTemplate, Field540) == 540);
KORAX_LAYOUT(TagTemplate_Field544, offsetof(TagTemplate, Field544) == 544);
KORAX_LAYOUT(TagTemplate_RangeHigh, offsetof(TagTemplate, RangeHigh) == 548);
KORAX_LAYOUT(TagTemplate_RangeLow, offsetof(TagTemplate, RangeLow) == 556);
KORAX_LAYOUT(TagTemplate_Tail, offsetof(TagTemplate, Tail) == 564);
KORAX_LAYOUT(TagTemplate_size, sizeof(TagTemplate) == 568);

KORAX_LAYOUT(TagAddrEntry_Description, offsetof(TagAddrEntry, Description) == 256);
KORAX_LAYOUT(TagAddrEntry_DataType, offsetof(TagAddrEntry, DataType) == 512);
KORAX_LAYOUT(TagAddrEntry_Access, offsetof(TagAddrEntry, Access) == 513);
KORAX_LAYOUT(TagAddrEntry_RangeHigh, offsetof(TagAddrEntry, RangeHigh) == 516);
KORAX_LAYOUT(TagAddrEntry_RangeLow, offsetof(TagAddrEntry, RangeLow) == 524);
KORAX_LAYOUT(TagAddrEntry_Tail, offsetof(TagAddrEntry, Tail) == 532);
KORAX_LAYOUT(TagAddrEntry_size, sizeof(TagAddrEntry) == 536);
#undef KORAX_LAYOUT

/* ---- Entry points --------------------------------------------------------------------------------- */

/*
 * X(Name, Result, (Parameters), StackBytes): every entry point, in the order of the driver's export
 * table. StackBytes is what its arguments take on the stack (the "@N" of its stdcall name). Expand it
 * to declare, bind or check the entries; a host that binds them by name can fill a KoraxHostEntries.
 *
 *   IniDriver       creates the thread's driver object from the block and the tags; the out message
 *                   says why it failed (or warns)
 *   IniDriverEx     keeps a Win32 event the driver signals on a serious link failure; always true
 *   FreeDriver      stops scanning, releases the tags and the port library; always true
 *   DetectScanTime  the period for OnDataRead in ms
 *   GetDeviceStatus hands over the pending message once; always true
 *   WriteLog        with a pending message: sets the logging state and hands the message over
 *   AddTags         registers more tags; results[i] = 0 added, 1 refused
 *   ReadTags        queues reads of the tags ahead of the polling
 *   WriteTags       writes values without a message
 *   OnDataRead      one scan step, then one record per tag due and changed; always true. The array
 *                   holds as many records as tags were registered.
 *   OnDataWrite     writes values; the result of the last write attempted
 *   GetTags         tag templates; a nil array: *count := 14; always 0
 *   GetTagAddrList  tag address list; a nil array: *count := 14
 *   TagEdAddr       checks and normalises an address; *address is replaced by a new string (the
 *                   host's own string that was there is not freed)
 *   DLLEdDev        the configuration wizard, modal; KORAX_WIZARD_*
 *   DLLTestDev      the device test run; false
 *   FullPDB         fills a block (KORAX_PDB_LENGTH bytes) with the factory defaults
 *   GetPDBLen       KORAX_PDB_LENGTH
 */
#define KORAX_HOST_EXPORTS(X)                                                                                \
    X(IniDriver, KoraxBool, (int32_t count, const HostTagDef* const* tags, void* block, char** message), 16) \
    X(IniDriverEx, KoraxBool, (void* eventHandle), 4)                                                        \
    X(FreeDriver, KoraxBool, (void), 0)                                                                      \
    X(DetectScanTime, uint16_t, (void), 0)                                                                   \
    X(GetDeviceStatus, KoraxBool, (char** message), 4)                                                       \
    X(WriteLog, void, (KoraxBool enable, char** message), 8)                                                 \
    X(AddTags, int32_t, (uint16_t count, const HostTagDef* const* tags, int32_t* results), 12)               \
    X(ReadTags, int32_t, (uint16_t count, const int32_t* tagIds, int32_t unused), 12)                        \
    X(WriteTags, int32_t, (uint16_t count, const TagValueRec* records, int32_t unused), 12)                  \
    X(OnDataRead, KoraxBool, (int32_t * count, TagValueRec * records, char** message), 12)                   \
    X(OnDataWrite, KoraxBool, (int32_t count, const TagValueRec* records, char** message), 12)               \
    X(GetTags, int32_t, (uint16_t * count, TagTemplate * templates), 8)                                      \
    X(GetTagAddrList, void, (int32_t unused, int32_t * count, TagAddrEntry * entries), 12)                   \
    X(TagEdAddr, KoraxBool, (void* block, char** address, KoraxBool skipCheck, char** message), 16)          \
    X(DLLEdDev, int32_t, (void* window, void* block), 8)                                                     \
    X(DLLTestDev, KoraxBool, (void* block, KoraxBool flag), 8)                                               \
    X(FullPDB, void, (void* block), 4)                                                                       \
    X(GetPDBLen, int32_t, (void), 0)

/* Pointers to every entry point, as a host that loads the library by name binds them. */
#define KORAX_ENTRY_MEMBER(Name, Result, Parameters, StackBytes) Result(KORAX_API* Name) Parameters;
typedef struct KoraxHostEntries {
    KORAX_HOST_EXPORTS(KORAX_ENTRY_MEMBER)
} KoraxHostEntries;
#undef KORAX_ENTRY_MEMBER

/* The prototypes, for the driver and for a host that links the library. A host that binds the entries by
 * name and uses the same names for its own variables defines KORAX24_NO_PROTOTYPES first. */
#if !defined(KORAX24_NO_PROTOTYPES)
#if defined(__cplusplus)
extern "C" {
#endif
#define KORAX_DECLARE_EXPORT(Name, Result, Parameters, StackBytes)                                           \
    KORAX_EXPORT Result KORAX_API Name Parameters;
KORAX_HOST_EXPORTS(KORAX_DECLARE_EXPORT)
#undef KORAX_DECLARE_EXPORT
#if defined(__cplusplus)
}
#endif
#endif

/* ---- Library names -------------------------------------------------------------------------------- */

#if defined(_WIN32)
#define KORAX_DRIVER_LIBRARY "korax24.dll"
#else
#define KORAX_DRIVER_LIBRARY "libkorax24.so" /* the native build */
#endif

/* ---- The shared memory manager -------------------------------------------------------------------- */

/*
 * Every string the driver hands over is a block of length + 1 bytes from the process-shared memory
 * manager borlndmm.dll, which the host loads before the driver. The host releases each one, once, with
 * the manager's SysFreeMem (0 on success). Its entries are exported under decorated names:
 *
 *   KORAX_MANAGER_GETMEM   size -> pointer
 *   KORAX_MANAGER_FREEMEM  pointer -> int32_t, 0 when released
 *
 * and use a register convention: first argument in EAX, second in EDX, result in EAX, nothing on the
 * stack; EBX, ESI, EDI and EBP are kept. GCC and clang on 32-bit x86 express it as regparm(3)
 * (KORAX_REGISTER below, with the KoraxSysGetMemProc and KoraxSysFreeMemProc pointer types).
 *
 * A compiler without that convention (KORAX_REGISTER is then not defined) calls the entry through a
 * small thunk of its own, for instance with 32-bit inline assembly of the Microsoft dialect:
 *
 *   static int32_t FreeHostString(void* freeMem, void* block) {
 *       int32_t result;
 *       __asm { mov eax, block
 *               call freeMem
 *               mov result, eax }
 *       return result;
 *   }
 *
 * The native build's stand-in exports plain names with the default convention.
 */
#if defined(_WIN32)
#define KORAX_MANAGER_LIBRARY "borlndmm.dll"
#define KORAX_MANAGER_GETMEM "@Borlndmm@SysGetMem$qqri"
#define KORAX_MANAGER_FREEMEM "@Borlndmm@SysFreeMem$qqrpv"
#else
#define KORAX_MANAGER_LIBRARY "libborlndmm.so"
#define KORAX_MANAGER_GETMEM "Borlndmm_SysGetMem"
#define KORAX_MANAGER_FREEMEM "Borlndmm_SysFreeMem"
#endif

#if defined(__i386__) && (defined(__GNUC__) || defined(__clang__))
#define KORAX_REGISTER __attribute__((regparm(3)))
#elif !defined(__i386__) && !defined(_M_IX86)
#define KORAX_REGISTER
#endif

#if defined(KORAX_REGISTER)
typedef void*(KORAX_REGISTER* KoraxSysGetMemProc)(int32_t size);
typedef int32_t(KORAX_REGISTER* KoraxSysFreeMemProc)(void* block);
#endif

#endif /* KORAX24_H */
