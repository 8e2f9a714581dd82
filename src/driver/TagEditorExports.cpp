// The entry points of the host's tag editor: tag templates, the address list and the address check.
// They need no driver object of the calling thread.
#include <memory>
#include <string>

#include "config/DevicePDB.h"
#include "driver/DriverTexts.h"
#include "driver/Exports.h"
#include "driver/HostMemory.h"
#include "driver/Library.h"

using korax::config::DevicePDB;
using korax::driver::DriverObject;
using korax::driver::guarded;
using korax::driver::HostFalse;
using korax::driver::SetOutMessage;
using korax::driver::ToHostBool;
namespace texts = korax::driver::texts;

extern "C" {

std::int32_t KORAX_API GetTags(std::uint16_t*, void*) {
    return 0;
}

void KORAX_API GetTagAddrList(std::int32_t, std::int32_t*, void*) {}

HostBool KORAX_API TagEdAddr(void* block, char** address, HostBool skipCheck, char** message) {
    return guarded(HostFalse, [&] {
        std::string text = address != nullptr && *address != nullptr ? std::string(*address) : std::string();
        std::unique_ptr<DriverObject> object;
        try {
            object = std::make_unique<DriverObject>(korax::platform::SystemClock(), false);
        } catch (...) {
        }
        bool result = false;
        std::string note;
        if (object == nullptr || block == nullptr) {
            note = texts::InitFailed;
        } else if (skipCheck != HostFalse) {
            result = true;
        } else {
            result = object->CheckTagAddress(static_cast<const DevicePDB*>(block), text);
            note = object->TakeErrEvent();
        }
        SetOutMessage(message, note);
        if (address != nullptr) *address = korax::driver::toHost(text);
        return ToHostBool(result);
    });
}

} // extern "C"
