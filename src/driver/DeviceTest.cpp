#include "driver/DeviceTest.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "driver/DriverTexts.h"
#include "driver/Exports.h"
#include "driver/HostMemory.h"
#include "driver/Library.h"
#include "platform/System.h"

namespace korax::driver {

namespace {

constexpr std::uint8_t TextType = 2;
constexpr std::uint32_t ProbeInterval = 500;

// The probe tag: its address names no tag type, so the tag table the initialisation builds stays empty.
HostTagDef ProbeTag(const char* emptyText) {
    HostTagDef probe{};
    probe.TagId = 0;
    std::memcpy(probe.Name, texts::DeviceTestProbeTag.data(), texts::DeviceTestProbeTag.size());
    std::memcpy(probe.Address, texts::DeviceTestProbeTag.data(), texts::DeviceTestProbeTag.size());
    probe.DataType = TextType;
    probe.ScanInterval = ProbeInterval;
    probe.InitialType = static_cast<std::uint16_t>(VariantType::HostString);
    std::memcpy(probe.InitialValue, &emptyText, sizeof emptyText);
    return probe;
}

} // namespace

bool RunDeviceTest(const config::DevicePDB& hostBlock) {
    // The test block and probe list live for this run only, so two threads testing at once cannot meet.
    auto testBlock = std::make_unique<config::DevicePDB>();
    config::CopyPDB(&hostBlock, testBlock.get());
    static constexpr char empty[] = "";
    const HostTagDef probe = ProbeTag(empty);
    const HostTagDef* const probeList[] = {&probe};

    char* message = nullptr;
    const bool initialised = IniDriver(1, probeList, testBlock.get(), &message) != 0;
    // The message is never shown; the block it came in goes back to the shared memory manager.
    ReleaseHostBlock(message);
    if (!initialised) return false;

    const DriverObject* object = library::Current();
    if (object == nullptr) return false;
    if (object->TagCount() < 1) platform::ShowConfirmMessage(texts::DeviceTestNotSupported);
    return false;
}

} // namespace korax::driver
