// Tag types, address parsing and tag validation of the driver object.
#include "framework/DLLBase.h"

namespace korax::framework {

bool TBaseDLLObject::CheckDataType(std::uint8_t, std::uint8_t) {
    return true;
}

std::int32_t TBaseDLLObject::ParseSlot(std::string_view, std::string_view, std::uint8_t) {
    return -1;
}

std::int32_t TBaseDLLObject::ParseChannel(std::string_view, std::string_view, std::uint8_t) {
    return -1;
}

std::int32_t TBaseDLLObject::ParseBit(std::string_view, std::string_view, std::uint8_t) {
    return -1;
}

std::string TBaseDLLObject::AddressKeyword(std::string_view, std::string_view) {
    return {};
}

void TBaseDLLObject::ValidateTag(TagPtr&) {}

bool TBaseDLLObject::CheckTagAddress(const config::DevicePDB*, std::string&) {
    return false;
}

std::int32_t TBaseDLLObject::FindTagType(std::string_view) const {
    return -1;
}

std::int32_t TBaseDLLObject::ParseStation(std::string_view, std::string_view) {
    return -1;
}

} // namespace korax::framework
