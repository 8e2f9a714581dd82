// Sequences of export calls in any order, as a host (or a broken one) might make them: initialise, add,
// scan, write, read, edit, test and free, with nil cells and odd counts, the clock moved by the input and
// now and then another thread that initialises, scans and ends. Every string handed out is released
// through the shared memory manager, and at the end of each input, after FreeDriver, the thread's object
// and an unload, no block may be left live.
//
// Input, front to back: the tag pool (count byte, then per tag: identifier byte, form byte with its
// address bytes, data type byte, interval byte, initial value kind byte and value), then one operation
// byte after another, each followed by its arguments (see Run).
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "config/DevicePDB.h"
#include "driver/DriverTexts.h"
#include "driver/HostRecords.h"
#include "fuzz/HostSide.h"
#include "platform/Event.h"

namespace {

using namespace korax;
using driver::HostTagDef;
using driver::TagAddrEntry;
using driver::TagTemplate;
using driver::TagValueRec;
using fuzz::Require;

constexpr std::size_t MaxPool = 12;
constexpr std::size_t MaxOperations = 48;
constexpr std::size_t MaxWrites = 8;
constexpr std::size_t MaxEditorRecords = 20; // more than the 14 templates
constexpr std::uint32_t IdRange = 48;
constexpr std::uint32_t RefusedIdBit = 0x80000000u;
constexpr std::uint8_t TextType = 2;
constexpr std::uint16_t NoObjectScanTime = 1000;
constexpr std::size_t MaxDeviceTests = 2; // each one prints its notice
constexpr std::size_t MaxThreads = 2;

// The host's tag definitions and the texts their variants point to.
class TagPool {
public:
    explicit TagPool(fuzz::Reader& input) {
        const std::size_t count = input.Byte() % (MaxPool + 1);
        records_.resize(count);
        for (HostTagDef& record : records_) {
            std::memset(&record, 0, sizeof record);
            const std::uint8_t id = input.Byte();
            record.TagId = id % IdRange | ((id & 0x80) != 0 && id % 7 == 0 ? RefusedIdBit : 0);
            std::snprintf(record.Name, sizeof record.Name, "Tag%u", static_cast<unsigned>(record.TagId));
            const std::uint8_t form = input.Byte();
            if ((form & 0x80) != 0) {
                input.Bytes(record.Address, sizeof record.Address); // no terminator need be there
            } else {
                const std::string address = fuzz::MakeAddress(input);
                std::memcpy(record.Address, address.data(), std::min(address.size(), sizeof record.Address));
            }
            record.DataType = input.Byte() % 4;
            record.ScanInterval = input.Byte() * 4u;
            switch (input.Byte() % 4) {
            case 1:
                SetInitial(record, 5, input.Get<double>());
                break;
            case 2:
                SetInitial(record, 11, static_cast<std::int16_t>(input.Bool() ? -1 : 0));
                break;
            case 3: {
                const char* text =
                    texts_.emplace_back(std::make_unique<std::string>(input.Text(40)))->c_str();
                SetInitial(record, 0x100, text);
                break;
            }
            default:
                break;
            }
        }
        for (const HostTagDef& record : records_) pointers_.push_back(&record);
    }

    std::size_t Size() const { return records_.size(); }
    // A host's array is never nil, even when it is empty; from is at most Size().
    const HostTagDef* const* From(std::size_t from) const {
        return from < pointers_.size() ? pointers_.data() + from : &none_;
    }
    std::int32_t IdAt(std::size_t index) const {
        return records_.empty() ? static_cast<std::int32_t>(index)
                                : static_cast<std::int32_t>(records_[index % records_.size()].TagId);
    }

private:
    template <typename T>
    static void SetInitial(HostTagDef& record, std::uint16_t type, T value) {
        record.InitialType = type;
        std::memcpy(record.InitialValue, &value, sizeof value);
    }

    std::vector<HostTagDef> records_;
    std::vector<const HostTagDef*> pointers_;
    std::vector<std::unique_ptr<std::string>> texts_;
    static inline const HostTagDef* const none_ = nullptr;
};

// Drains an OnDataRead: every text value handed over is released.
void ReleaseReports(fuzz::HostSide& host, TagValueRec* records, std::int32_t count, std::size_t bound) {
    Require(count >= 0 && static_cast<std::size_t>(count) <= bound);
    for (std::int32_t i = 0; i < count; ++i) {
        if (records[i].DataType != TextType) continue;
        char* text = nullptr;
        std::memcpy(&text, records[i].Value, sizeof text);
        host.Release(text);
    }
}

class Session {
public:
    Session(fuzz::Reader& input, fuzz::HostSide& host) : input_(input), host_(host), pool_(input) {
        for (auto& block : blocks_) FullPDB(block.data());
        alarm_ = platform::Event::CreateAutoReset(false);
    }

    void Run() {
        for (std::size_t n = 0; n < MaxOperations && !input_.Empty(); ++n) {
            switch (input_.Byte() % 20) {
            case 0:
                Initialise();
                break;
            case 1:
                AddMore();
                break;
            case 2:
                Read();
                break;
            case 3:
                Write(false);
                break;
            case 4:
                Write(true);
                break;
            case 5:
                ReadOnDemand();
                break;
            case 6:
                EditAddress();
                break;
            case 7:
                Templates();
                break;
            case 8:
                AddressList();
                break;
            case 9:
                Status();
                break;
            case 10:
                Log();
                break;
            case 11:
                Require(FreeDriver() == 1);
                break;
            case 12:
                DetectScanTime();
                break;
            case 13:
                FullPDB(Block(input_.Byte()));
                break;
            case 14:
                DeviceTest();
                break;
            case 15:
                host_.Clock.Advance(input_.Byte() * 16u);
                break;
            case 16:
                host_.Clock.Advance(input_.Get<std::uint32_t>());
                break;
            case 17:
                Require(IniDriverEx(input_.Bool() ? alarm_.get() : nullptr) == 1);
                break;
            case 18:
                Poke();
                break;
            default:
                OtherThread();
                break;
            }
        }
        FreeDriver();
    }

private:
    // Block 0 and 1 are the host's; anything else is nil.
    void* Block(std::uint8_t choice) {
        const std::size_t index = choice % (blocks_.size() + 1);
        return index < blocks_.size() ? blocks_[index].data() : nullptr;
    }

    void Initialise() {
        const std::size_t from = input_.Byte() % (pool_.Size() + 1);
        const std::int32_t count = fuzz::HostCount(input_, pool_.Size() - from);
        const std::uint8_t choice = input_.Byte();
        const bool nilArray = (choice & 0x80) != 0;
        void* block = Block(choice & 0x7F);
        char* message = nullptr;
        IniDriver(count, nilArray ? nullptr : pool_.From(from), block, &message);
        host_.Release(message);
        // With both an array and a block a new object replaces the thread's one, even when its
        // initialisation fails; without them the old one stays.
        if (!nilArray && block != nullptr) bound_ = static_cast<std::size_t>(std::max(count, 0));
    }

    void AddMore() {
        const std::size_t from = input_.Byte() % (pool_.Size() + 1);
        const std::uint8_t countByte = input_.Byte();
        const auto count = static_cast<std::uint16_t>((countByte & 0x7F) % (pool_.Size() - from + 1));
        std::vector<std::int32_t> results(count, -1);
        const std::int32_t result =
            AddTags(count, pool_.From(from), (countByte & 0x80) != 0 ? nullptr : results.data());
        Require(result == 0 || result == 1);
        bound_ += count;
    }

    void Read() {
        const std::uint8_t variant = input_.Byte() % 4;
        const auto records = std::make_unique<TagValueRec[]>(bound_);
        std::int32_t count = -1;
        char* message = nullptr;
        OnDataRead(variant == 1 ? nullptr : &count, variant == 2 ? nullptr : records.get(),
                   variant == 3 ? nullptr : &message);
        host_.Release(message);
        if (variant == 1) return;
        ReleaseReports(host_, records.get(), count, variant == 2 ? 0 : bound_);
    }

    // Value records as a host writes them: identifiers of pool tags or none, any data type, texts the host
    // owns.
    void Write(bool throughWriteTags) {
        const std::size_t n = input_.Byte() % (MaxWrites + 1);
        std::vector<TagValueRec> records(n);
        std::vector<std::string> texts(n);
        for (std::size_t i = 0; i < n; ++i) {
            TagValueRec& record = records[i];
            std::memset(&record, 0, sizeof record);
            const std::uint8_t id = input_.Byte();
            record.TagId = (id & 0x80) != 0 ? static_cast<std::int32_t>(id % IdRange) - 4 : pool_.IdAt(id);
            record.DataType = input_.Byte() % 4;
            if (record.DataType == TextType) {
                texts[i] = input_.Text(40);
                const char* text = input_.Bool() ? nullptr : texts[i].c_str();
                std::memcpy(record.Value, &text, sizeof text);
            } else {
                input_.Bytes(record.Value, sizeof record.Value);
            }
        }
        const TagValueRec* array = records.empty() ? nullptr : records.data();
        if (throughWriteTags) {
            const std::int32_t result = WriteTags(static_cast<std::uint16_t>(n), array, 0);
            Require(result == 0 || result == 1);
            return;
        }
        const std::int32_t count =
            input_.Bool() ? -static_cast<std::int32_t>(input_.Byte()) : static_cast<std::int32_t>(n);
        char* message = nullptr;
        OnDataWrite(count, array, &message);
        host_.Release(message);
    }

    void ReadOnDemand() {
        std::vector<std::int32_t> ids(input_.Byte() % (MaxWrites + 1));
        for (std::int32_t& id : ids) id = pool_.IdAt(input_.Byte());
        const std::int32_t result =
            ReadTags(static_cast<std::uint16_t>(ids.size()), ids.empty() ? nullptr : ids.data(), 0);
        Require(result == 0 || result == 1);
    }

    // The editor hands its own string in and gets a new one back, which it then owns.
    void EditAddress() {
        const std::uint8_t choice = input_.Byte();
        std::string text = (choice & 0x40) != 0 ? input_.Text(255) : fuzz::MakeAddress(input_);
        char* address = (choice & 0x10) != 0 ? nullptr : text.data();
        char* message = nullptr;
        TagEdAddr(Block(choice), (choice & 0x20) != 0 ? nullptr : &address, (choice & 0x08) != 0 ? 1 : 0,
                  (choice & 0x80) != 0 ? nullptr : &message);
        host_.Release(message);
        if ((choice & 0x20) == 0) host_.Release(address);
    }

    void Templates() {
        const std::uint8_t choice = input_.Byte();
        std::uint16_t count = choice % (MaxEditorRecords + 1);
        const auto records = std::make_unique<TagTemplate[]>(count);
        if ((choice & 0x40) != 0) {
            GetTags(nullptr, records.get());
        } else if ((choice & 0x80) != 0) {
            GetTags(&count, nullptr);
            Require(count == driver::texts::TemplateRows.size());
        } else {
            GetTags(&count, records.get());
        }
    }

    void AddressList() {
        const std::uint8_t choice = input_.Byte();
        std::int32_t count = choice % (MaxEditorRecords + 1);
        if ((choice & 0x20) != 0) count = -count;
        const auto records = std::make_unique<TagAddrEntry[]>(static_cast<std::size_t>(std::max(count, 0)));
        if ((choice & 0x40) != 0) {
            GetTagAddrList(0, nullptr, records.get());
        } else if ((choice & 0x80) != 0) {
            GetTagAddrList(0, &count, nullptr);
            Require(count == static_cast<std::int32_t>(driver::texts::TemplateRows.size()));
        } else {
            GetTagAddrList(0, &count, records.get());
        }
    }

    void Status() {
        char* message = nullptr;
        Require(GetDeviceStatus(input_.Bool() ? nullptr : &message) == 1);
        host_.Release(message);
    }

    void Log() {
        const std::uint8_t choice = input_.Byte();
        char* message = nullptr;
        WriteLog(choice & 1, (choice & 2) != 0 ? nullptr : &message);
        host_.Release(message);
    }

    void DeviceTest() {
        const std::uint8_t choice = input_.Byte();
        if (deviceTests_ == MaxDeviceTests) return;
        ++deviceTests_;
        Require(DLLTestDev(Block(choice), choice >> 7) == 0);
        if (Block(choice) != nullptr) {
            Require(::DetectScanTime() == NoObjectScanTime); // the thread is left without an object
            bound_ = 0;
        }
    }

    // A byte of a host block changes, as when the host edits the device between initialisations.
    void Poke() {
        auto& block = blocks_[input_.Byte() % blocks_.size()];
        const std::size_t offset = input_.Get<std::uint16_t>() % block.size();
        block[offset] = input_.Byte();
    }

    // A host I/O thread of its own: initialises, scans and ends, leaving its object to the thread end.
    void OtherThread() {
        const std::uint8_t choice = input_.Byte();
        const std::uint8_t scans = input_.Byte() % 4;
        if (threadsRun_ == MaxThreads) return;
        ++threadsRun_;
        std::thread thread([this, choice, scans] {
            char* message = nullptr;
            const std::int32_t count = static_cast<std::int32_t>(pool_.Size());
            IniDriver(count, pool_.From(0), blocks_[choice % blocks_.size()].data(), &message);
            host_.Release(message);
            const auto records = std::make_unique<TagValueRec[]>(pool_.Size());
            for (std::uint8_t i = 0; i < scans; ++i) {
                std::int32_t reported = -1;
                OnDataRead(&reported, records.get(), &message);
                host_.Release(message);
                ReleaseReports(host_, records.get(), reported, pool_.Size());
            }
            if ((choice & 0x80) != 0) FreeDriver();
        });
        // Joined at once: the host blocks the thread reads must not change under it.
        thread.join();
    }

    fuzz::Reader& input_;
    fuzz::HostSide& host_;
    TagPool pool_;
    std::array<std::vector<std::uint8_t>, 2> blocks_{std::vector<std::uint8_t>(config::PdbLength),
                                                     std::vector<std::uint8_t>(config::PdbLength)};
    std::unique_ptr<platform::Event> alarm_;
    std::size_t bound_ = 0;
    std::size_t deviceTests_ = 0;
    std::size_t threadsRun_ = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::HostSide& host = fuzz::HostSide::Get();
    fuzz::Reader input(data, size);
    {
        Session session(input, host);
        session.Run();
        host.EndSession(); // the objects go before the alarm event they may signal
    }
    return 0;
}
