#pragma once
// What a host does to load the built driver library: the library is found by name, its entry points by
// their undecorated names and called through stdcall pointers; the shared memory manager is loaded once
// like a host's own copy, and every string the driver hands back is released through it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "config/DevicePDB.h"
#include "driver/HostAbi.h"
#include "platform/DynamicLibrary.h"

namespace korax::hosttest {

using korax::driver::HostTagDef;
using korax::driver::TagAddrEntry;
using korax::driver::TagTemplate;
using korax::driver::TagValueRec;
using korax::platform::DynamicLibrary;
using Bool = std::uint8_t;

inline constexpr const char* DriverName = korax::driver::DriverLibraryName.data();
#if defined(_WIN32)
inline constexpr const char* ProbeName = "korax24_probe.dll";
#else
inline constexpr const char* ProbeName = "libkorax24_probe.so";
#endif

inline constexpr std::size_t PdbLength = 19216;

// The shared memory manager, loaded once for the whole run like a host's own copy.
struct Manager {
    DynamicLibrary Library = DynamicLibrary::Load(korax::driver::ManagerLibrary);
    korax::driver::ManagerGetMem GetMem = nullptr;
    korax::driver::ManagerFreeMem FreeMem = nullptr;
    std::int32_t(KORAX_API* LiveBlocks)() = nullptr;
    std::int32_t(KORAX_API* BadFrees)() = nullptr;

    Manager() {
        GetMem = reinterpret_cast<decltype(GetMem)>(Library.Symbol(korax::driver::ManagerGetMemEntry));
        FreeMem = reinterpret_cast<decltype(FreeMem)>(Library.Symbol(korax::driver::ManagerFreeMemEntry));
        LiveBlocks = reinterpret_cast<decltype(LiveBlocks)>(Library.Symbol("ShimLiveBlocks"));
        BadFrees = reinterpret_cast<decltype(BadFrees)>(Library.Symbol("ShimBadFrees"));
    }
    static Manager& Get() {
        static Manager manager;
        return manager;
    }
};

// The driver's entry points as a host binds them.
struct Driver {
    DynamicLibrary Library;
    KORAX_HOST_EXPORTS(KORAX_HOST_ENTRY_POINTER)
    std::int32_t(KORAX_API* LiveObjects)() = nullptr; // the diagnostic twin only

    explicit Driver(const char* name) : Library(DynamicLibrary::Load(name)) {
        korax::driver::BindHostExports(
            *this, [this](const char* entry) { return Library.Symbol(entry); },
            [](const char* entry) { ADD_FAILURE() << "entry " << entry << " missing"; });
        LiveObjects = reinterpret_cast<decltype(LiveObjects)>(Library.Symbol("KoraxLiveObjects"));
    }
};

// Takes a string the driver handed over: nullopt for nil; a block is released and must be accepted.
inline std::optional<std::string> Take(char*& text) {
    if (text == nullptr) return std::nullopt;
    std::string copy(text);
    EXPECT_EQ(Manager::Get().FreeMem(text), 0) << "not a live block of the shared memory manager";
    text = nullptr;
    return copy;
}

// Tag definitions the way a host lays them out.
struct TagSet {
    std::vector<HostTagDef> Records;
    std::vector<const HostTagDef*> Pointers;

    explicit TagSet(std::initializer_list<std::pair<std::uint32_t, const char*>> tags) {
        Records.resize(tags.size());
        std::size_t i = 0;
        for (const auto& [id, address] : tags) {
            HostTagDef& record = Records[i++];
            std::memset(&record, 0, sizeof record);
            record.TagId = id;
            std::snprintf(record.Name, sizeof record.Name, "Tag%u", id);
            // A full-length address has no terminating zero, as hosts may send it.
            std::memcpy(record.Address, address, std::min(std::strlen(address), sizeof record.Address));
            record.ScanInterval = 500;
        }
        for (const HostTagDef& record : Records) Pointers.push_back(&record);
    }
    // The definition of a tag of the set, to give it more than the defaults above.
    HostTagDef& Tag(std::uint32_t id) {
        const auto it = std::find_if(Records.begin(), Records.end(),
                                     [id](const HostTagDef& record) { return record.TagId == id; });
        if (it == Records.end()) throw std::invalid_argument("no tag " + std::to_string(id) + " in the set");
        return *it;
    }
    TagSet& Typed(std::uint32_t id, std::uint8_t dataType, std::uint32_t scanInterval) {
        Tag(id).DataType = dataType;
        Tag(id).ScanInterval = scanInterval;
        return *this;
    }
    // Initial values as a host passes them: a variant double, a variant Boolean (all bits set for true).
    TagSet& Initial(std::uint32_t id, double real) { return InitialBytes(id, 5, real); }
    TagSet& Initial(std::uint32_t id, bool truth) {
        return InitialBytes(id, 11, static_cast<std::int16_t>(truth ? -1 : 0));
    }
    template <typename T>
    TagSet& InitialBytes(std::uint32_t id, std::uint16_t variantType, T bytes) {
        static_assert(sizeof bytes <= sizeof(HostTagDef::InitialValue));
        Tag(id).InitialType = variantType;
        std::memcpy(Tag(id).InitialValue, &bytes, sizeof bytes);
        return *this;
    }

    // A host's empty list is still an array, never nil.
    const HostTagDef* const* Array() const { return Pointers.empty() ? &NoDefinition : Pointers.data(); }
    static inline const HostTagDef* const NoDefinition = nullptr;
    std::int32_t Count() const { return static_cast<std::int32_t>(Pointers.size()); }
};

struct Block {
    std::vector<std::uint8_t> Bytes = std::vector<std::uint8_t>(PdbLength);
    explicit Block(Driver& driver) { driver.FullPDB(Bytes.data()); }
    void* Data() { return Bytes.data(); }

    // The block as the driver reads it; a host block may sit at any address, so no alignment is assumed.
    config::DevicePDB& Pdb() { return *reinterpret_cast<config::DevicePDB*>(Bytes.data()); }
    // Every slot unused, as a wizard leaves a block whose boards were all removed.
    Block& WithoutBoards() {
        for (config::BoardEntry& entry : Pdb().Boards) entry.DevType = config::NoBoard;
        return *this;
    }
    // A board of a model (code 0..6) in a slot, numbered like its slot so the slot is its station.
    Block& WithBoard(std::int32_t slot, std::uint8_t model, std::uint32_t base) {
        config::BoardEntry& entry = Pdb().Boards[slot];
        entry.BoardNo = slot;
        entry.DevType = model;
        entry.BaseAddress = base;
        return *this;
    }
};

class HostTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Manager::Get().Library.Loaded());
        liveBefore = Manager::Get().LiveBlocks();
        badBefore = Manager::Get().BadFrees();
        driver.emplace(DriverName);
        ASSERT_TRUE(driver->Library.Loaded());
    }
    void TearDown() override {
        driver.reset(); // unload: every object the library still owns goes with it
        if (!Manager::Get().Library.Loaded()) return;
        EXPECT_EQ(Manager::Get().LiveBlocks(), liveBefore) << "a string handed to the host was not released";
        EXPECT_EQ(Manager::Get().BadFrees(), badBefore) << "a string was released twice or never handed out";
    }

    // IniDriver on the calling thread with the given tags; returns the result, the message in *note.
    bool Initialise(const TagSet& tags, std::optional<std::string>* note = nullptr) {
        Block block(*driver);
        char* message = nullptr;
        const bool result = driver->IniDriver(tags.Count(), tags.Array(), block.Data(), &message) != 0;
        const auto text = Take(message);
        if (note != nullptr) *note = text;
        return result;
    }

    std::optional<Driver> driver;
    std::int32_t liveBefore = 0;
    std::int32_t badBefore = 0;
};

// Data type codes of the host's records.
inline constexpr std::uint8_t RealType = 0;
inline constexpr std::uint8_t BooleanType = 1;
inline constexpr std::uint8_t TextType = 2;

// A value record as a host fills it for OnDataWrite or WriteTags.
using korax::driver::TagValueRec;
inline TagValueRec Record(std::int32_t tagId, std::uint8_t dataType, const void* value, std::size_t size) {
    TagValueRec record;
    std::memset(&record, 0, sizeof record);
    record.TagId = tagId;
    record.TimeStamp = -1; // ignored on input
    record.Status = 0xFFFFFFFFu;
    record.DataType = dataType;
    std::memcpy(record.Value, value, size);
    return record;
}
inline TagValueRec RealRecord(std::int32_t tagId, double value) {
    return Record(tagId, RealType, &value, sizeof value);
}
inline TagValueRec WordRecord(std::int32_t tagId, std::int32_t word) {
    return Record(tagId, BooleanType, &word, sizeof word);
}
inline TagValueRec TextRecord(std::int32_t tagId, const char* text) {
    return Record(tagId, TextType, &text, sizeof text);
}

} // namespace korax::hosttest
