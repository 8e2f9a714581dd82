#include "driver/Exports.h"

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "config/DevicePDB.h"
#include "driver/DeviceTest.h"
#include "driver/DriverTexts.h"
#include "driver/HostMemory.h"
#include "driver/Library.h"
#include "platform/Event.h"
#ifdef _WIN32
#include "wizard/win32/Wizard.h"
#endif

using korax::config::DevicePDB;
using korax::driver::DriverObject;
using korax::driver::guarded;
using korax::driver::HostBool;
using korax::driver::HostFalse;
using korax::driver::HostTagDef;
using korax::driver::HostTrue;
using korax::driver::SetOutMessage;
using korax::driver::TagValueRec;
using korax::driver::ToHostBool;
namespace library = korax::driver::library;
namespace texts = korax::driver::texts;

namespace {

#if defined(__i386__)
// The "@N" of each stdcall name in the .def file is the bytes its arguments take on the stack; the list
// states it, and the parameters must agree.
template <typename Result, typename... Arguments>
constexpr int StackBytes(Result (*)(Arguments...)) {
    return (0 + ... + static_cast<int>((sizeof(Arguments) + 3) / 4 * 4));
}
#define KORAX_CHECK_STACK_BYTES(Name, Result, Parameters, Bytes)                                             \
    static_assert(StackBytes(static_cast<Result(*) Parameters>(nullptr)) == (Bytes), #Name);
KORAX_HOST_EXPORTS(KORAX_CHECK_STACK_BYTES)
#undef KORAX_CHECK_STACK_BYTES
#endif

constexpr std::uint16_t ScanTimeWithoutObject = 1000;
constexpr std::uint32_t InitWaitMs = 5000;
constexpr std::int32_t WizardNotAccepted = 2;

// The host's definitions read into driver form, with a nil entry kept as nil.
class DefinitionList {
public:
    DefinitionList(const HostTagDef* const* tags, std::size_t count) {
        definitions_.reserve(count);
        for (std::size_t i = 0; i < count; ++i) {
            if (tags[i] == nullptr) {
                definitions_.emplace_back();
            } else {
                definitions_.emplace_back(korax::driver::ReadTagDefinition(*tags[i]));
            }
        }
        pointers_.reserve(count);
        for (const auto& definition : definitions_) pointers_.push_back(definition ? &*definition : nullptr);
    }
    korax::framework::TagDefinitionList View() const { return pointers_; }

private:
    std::vector<std::optional<korax::framework::TagDefinition>> definitions_;
    std::vector<const korax::framework::TagDefinition*> pointers_;
};

// Fills the host's value records with the tags a change detection reports, counting them in the host's cell.
class RecordFiller : public korax::framework::TBaseDLLObject::ReportSink {
public:
    RecordFiller(TagValueRec* records, std::int32_t& count, double now)
        : records_(records), count_(count), now_(now) {}
    void Report(const korax::framework::TagItem& tag) override {
        korax::driver::WriteValueRecord(records_[count_], tag.TagId, now_, tag.ChangeFlag, tag.DataType,
                                        tag.Value);
        ++count_;
    }

private:
    TagValueRec* records_;
    std::int32_t& count_;
    double now_;
};

// Writes each record whose tag exists and has the record's data type; every attempted write's result
// goes to the caller. Other records are skipped: they count neither as success nor as failure.
template <typename Written>
void WriteRecords(DriverObject& object, std::span<const TagValueRec> records, Written&& written) {
    for (const TagValueRec& record : records) {
        const auto tagId = static_cast<std::uint32_t>(record.TagId);
        const korax::framework::TagItem* tag = object.FindTag(tagId);
        if (tag == nullptr || tag->DataType != record.DataType) continue;
        const korax::framework::Value value = korax::driver::ReadValueRecord(record);
        if (value.IsEmpty()) continue; // a data type the driver does not know
        written(object.WriteTag(tagId, value));
    }
}

// Gives the initialisation lock back however the initialisation ends.
class InitLockRelease {
public:
    explicit InitLockRelease(korax::platform::Event& event) : event_(event) {}
    ~InitLockRelease() { event_.Set(); }
    InitLockRelease(const InitLockRelease&) = delete;
    InitLockRelease& operator=(const InitLockRelease&) = delete;

private:
    korax::platform::Event& event_;
};

} // namespace

extern "C" {

HostBool KORAX_API IniDriver(std::int32_t count, const HostTagDef* const* tags, void* block, char** message) {
    return guarded(HostFalse, [&] {
        SetOutMessage(message, {});
        if (tags == nullptr) {
            SetOutMessage(message, texts::InvalidTagList);
            return HostFalse;
        }
        if (block == nullptr) {
            SetOutMessage(message, texts::InvalidParameters);
            return HostFalse;
        }
        korax::platform::Event* lock = library::InitEvent();
        if (lock == nullptr) {
            SetOutMessage(message, texts::NoInitEvent);
            return HostFalse;
        }
        if (!lock->Wait(InitWaitMs)) {
            SetOutMessage(message, texts::SharingConflict);
            return HostFalse;
        }
        const InitLockRelease release(*lock);
        DriverObject* object = library::CreateForThread();
        if (object == nullptr) return HostFalse;
        if (korax::boards::TraceFile* trace = library::OpenTrace()) object->TraceTo(*trace);
        const DefinitionList definitions(tags, count > 0 ? static_cast<std::size_t>(count) : 0);
        const bool result = object->Initialise(static_cast<const DevicePDB*>(block), definitions.View());
        SetOutMessage(message, object->TakeErrEvent());
        return ToHostBool(result);
    });
}

HostBool KORAX_API IniDriverEx(void* eventHandle) {
    return guarded(HostTrue, [&] {
        if (DriverObject* object = library::Current()) object->SetAlarmEvent(eventHandle);
        return HostTrue;
    });
}

HostBool KORAX_API FreeDriver() {
    return guarded(HostTrue, [] {
        if (DriverObject* object = library::Current()) object->CloseDriver();
        // A host that stops after FreeDriver finds the whole trace on disk.
        library::DrainTrace();
        return HostTrue;
    });
}

std::uint16_t KORAX_API DetectScanTime() {
    return guarded(ScanTimeWithoutObject, [] {
        const DriverObject* object = library::Current();
        return object == nullptr ? ScanTimeWithoutObject : static_cast<std::uint16_t>(object->ScanTime());
    });
}

HostBool KORAX_API GetDeviceStatus(char** message) {
    return guarded(HostTrue, [&] {
        DriverObject* object = library::Current();
        SetOutMessage(message, object == nullptr ? std::string(texts::InitFailed) : object->TakeErrEvent());
        return HostTrue;
    });
}

void KORAX_API WriteLog(HostBool enable, char** message) {
    guarded([&] {
        DriverObject* object = library::Current();
        if (object == nullptr) {
            SetOutMessage(message, texts::InitFailed);
            return;
        }
        if (object->sErrEvent().empty()) {
            SetOutMessage(message, {});
            return;
        }
        object->SetEnLog(enable != HostFalse);
        SetOutMessage(message, object->TakeErrEvent());
    });
}

std::int32_t KORAX_API AddTags(std::uint16_t count, const HostTagDef* const* tags, std::int32_t* results) {
    return guarded(std::int32_t{1}, [&] {
        DriverObject* object = library::Current();
        if (object == nullptr || tags == nullptr) return std::int32_t{1};
        const DefinitionList definitions(tags, count);
        std::vector<std::int32_t> cells(count, 1);
        const std::int32_t result = object->AddTagList(definitions.View(), cells);
        if (results != nullptr) std::copy(cells.begin(), cells.end(), results);
        return result;
    });
}

std::int32_t KORAX_API ReadTags(std::uint16_t count, const std::int32_t* tagIds, std::int32_t) {
    return guarded(std::int32_t{1}, [&] {
        if (tagIds == nullptr || count == 0) return std::int32_t{1};
        if (DriverObject* object = library::Current()) {
            for (std::uint16_t i = 0; i < count; ++i) object->ReadTag(static_cast<std::uint32_t>(tagIds[i]));
        }
        return std::int32_t{0};
    });
}

std::int32_t KORAX_API WriteTags(std::uint16_t count, const TagValueRec* records, std::int32_t) {
    return guarded(std::int32_t{1}, [&] {
        DriverObject* object = library::Current();
        if (object == nullptr || records == nullptr || count == 0) return std::int32_t{1};
        std::int32_t result = 0;
        WriteRecords(*object, std::span(records, count), [&](bool written) {
            if (!written) result = 1;
        });
        return result;
    });
}

HostBool KORAX_API OnDataRead(std::int32_t* count, TagValueRec* records, char** message) {
    return guarded(HostTrue, [&] {
        if (count != nullptr) *count = 0;
        DriverObject* object = library::Current();
        if (object == nullptr || records == nullptr || count == nullptr) {
            SetOutMessage(message, texts::InitFailed);
            return HostTrue;
        }
        object->ScanStep();
        const std::string note = object->TakeErrEvent();
        RecordFiller filler(records, *count, object->Clock().Now());
        object->CollectReports(filler);
        SetOutMessage(message, note);
        return HostTrue;
    });
}

HostBool KORAX_API OnDataWrite(std::int32_t count, const TagValueRec* records, char** message) {
    return guarded(HostFalse, [&] {
        DriverObject* object = library::Current();
        if (object == nullptr || records == nullptr || count <= 0) {
            SetOutMessage(message, texts::InitFailed);
            return HostFalse;
        }
        bool last = false;
        WriteRecords(*object, std::span(records, static_cast<std::size_t>(count)),
                     [&](bool written) { last = written; });
        SetOutMessage(message, object->TakeErrEvent());
        return ToHostBool(last);
    });
}

std::int32_t KORAX_API DLLEdDev(void* window, void* block) {
    return guarded(WizardNotAccepted, [&] {
#ifdef _WIN32
        // Without a block there is nothing to edit and no page opens.
        if (block == nullptr) return WizardNotAccepted;
        return korax::wizard::win32::EditDevice(window, static_cast<DevicePDB*>(block));
#else
        // The wizard's windows exist on Win32 only.
        static_cast<void>(window);
        static_cast<void>(block);
        return WizardNotAccepted;
#endif
    });
}

HostBool KORAX_API DLLTestDev(void* block, HostBool) {
    return guarded(HostFalse, [&] {
        if (block == nullptr) return HostFalse;
        const bool result = korax::driver::RunDeviceTest(*static_cast<const DevicePDB*>(block));
        // Whatever the outcome, the thread continues without a driver object.
        library::DestroyCurrent();
        return ToHostBool(result);
    });
}

void KORAX_API FullPDB(void* block) {
    guarded([&] {
        if (block != nullptr) korax::config::FillDefaultPDB(*static_cast<DevicePDB*>(block));
    });
}

std::int32_t KORAX_API GetPDBLen() {
    return guarded(korax::config::PdbLength, [] { return korax::config::PdbLength; });
}

} // extern "C"
