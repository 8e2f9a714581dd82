#pragma once
#include <cstdint>

#include "driver/EditorRecords.h"
#include "driver/HostRecords.h"
#include "driver/KoraxApi.h"

// The host's entry points. Records the host passes are declared in HostRecords.h; records this layer
// does not read yet travel as opaque pointers.
extern "C" {
using korax::driver::HostBool;
using korax::driver::HostTagDef;
using korax::driver::TagAddrEntry;
using korax::driver::TagTemplate;

KORAX_EXPORT HostBool KORAX_API IniDriver(std::int32_t count, const HostTagDef* const* tags, void* block,
                                          char** message);
KORAX_EXPORT HostBool KORAX_API IniDriverEx(void* eventHandle);
KORAX_EXPORT HostBool KORAX_API FreeDriver();
KORAX_EXPORT std::uint16_t KORAX_API DetectScanTime();
KORAX_EXPORT HostBool KORAX_API GetDeviceStatus(char** message);
KORAX_EXPORT void KORAX_API WriteLog(HostBool enable, char** message);
KORAX_EXPORT std::int32_t KORAX_API AddTags(std::uint16_t count, const HostTagDef* const* tags,
                                            std::int32_t* results);
KORAX_EXPORT std::int32_t KORAX_API ReadTags(std::uint16_t count, const std::int32_t* tagIds,
                                             std::int32_t unused);
KORAX_EXPORT std::int32_t KORAX_API WriteTags(std::uint16_t count, const korax::driver::TagValueRec* records,
                                              std::int32_t unused);
KORAX_EXPORT HostBool KORAX_API OnDataRead(std::int32_t* count, korax::driver::TagValueRec* records,
                                           char** message);
KORAX_EXPORT HostBool KORAX_API OnDataWrite(std::int32_t count, const korax::driver::TagValueRec* records,
                                            char** message);
KORAX_EXPORT std::int32_t KORAX_API GetTags(std::uint16_t* count, TagTemplate* templates);
KORAX_EXPORT void KORAX_API GetTagAddrList(std::int32_t unused, std::int32_t* count, TagAddrEntry* entries);
KORAX_EXPORT HostBool KORAX_API TagEdAddr(void* block, char** address, HostBool skipCheck, char** message);
KORAX_EXPORT std::int32_t KORAX_API DLLEdDev(void* window, void* block);
KORAX_EXPORT HostBool KORAX_API DLLTestDev(void* block, HostBool flag);
KORAX_EXPORT void KORAX_API FullPDB(void* block);
KORAX_EXPORT std::int32_t KORAX_API GetPDBLen();
}
