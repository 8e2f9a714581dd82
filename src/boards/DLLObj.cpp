#include "boards/DLLObj.h"

#include <algorithm>
#include <cstdio>

#include "boards/BoardTexts.h"
#include "boards/ModelTables.h"
#include "boards/PortTrace.h"
#include "framework/TagTypes.h"
#include "platform/Clock.h"

namespace korax::boards {

using framework::PollListType;
using framework::PollRequest;
using framework::RequestPtr;
using framework::TagItem;
using framework::Value;

namespace {

// The channel range one port access serves around a channel.
std::pair<std::int32_t, std::int32_t> GroupOf(std::int32_t channel, std::int32_t typeIndex) {
    const std::int32_t size = GroupSizeOf(typeIndex);
    const std::int32_t first = channel < 0 ? channel : size * (channel / size);
    return {first, first + size - 1};
}

std::int32_t BitOf(std::int32_t channel, std::int32_t typeIndex) {
    return channel % GroupSizeOf(typeIndex);
}

std::string HexPort(std::uint16_t port) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%03X", static_cast<unsigned>(port));
    return text;
}

} // namespace

TCustomDLLObject::TCustomDLLObject(platform::Clock& clock, bool firstInstance, PortBus* bus)
    : TBaseDLLObject(clock, firstInstance), Chosen_(bus != nullptr ? *bus : SystemBus_) {
    SetEnLog(false);
    VendorLibLoaded_ = false;
}

TCustomDLLObject::~TCustomDLLObject() {
    Shutdown();
    SetTraceHook(nullptr); // the recorder goes before the base object
}

void TCustomDLLObject::TraceTo(TraceFile& trace) {
    Recorder_ = std::make_unique<TraceRecorder>(trace, *this);
    SetTraceHook(Recorder_.get());
    if (trace.Settings().Ports) Traced_ = std::make_unique<TracingBus>(Chosen_, *Recorder_);
    Bus_ = Traced_ ? Traced_.get() : &Chosen_;
}

void TCustomDLLObject::Shutdown() {
    if (Closed_) return;
    SetEnLog(true);
    SetCommLink(true);
    SetEnCommLink(true);
    CloseDriver();
}

bool TCustomDLLObject::LoadPortLibrary() {
    if (!PortLibraryRequired()) return true;
    PortLib_ = platform::DynamicLibrary::Load(texts::PortLibraryName);
    if (!PortLib_.Loaded()) {
        SetsErrEvent(platform::FormatDateTime(Clock().Now()) + std::string(texts::PortLibraryPrefix) +
                     std::string(texts::PortLibraryMissing));
        return false;
    }
    OutPortProc_ = reinterpret_cast<OutPortProc>(PortLib_.Symbol(texts::OutPortEntry));
    if (OutPortProc_ == nullptr) {
        SetsErrEvent(sErrEvent() + std::string(texts::OutPortMissing));
        return false;
    }
    InPortProc_ = reinterpret_cast<InPortProc>(PortLib_.Symbol(texts::InPortEntry));
    if (InPortProc_ == nullptr) {
        SetsErrEvent(sErrEvent() + std::string(texts::InPortMissing));
        return false;
    }
    SystemBus_.Bind(OutPortProc_, InPortProc_);
    return true;
}

bool TCustomDLLObject::LoadPDB(const config::DevicePDB* block) {
    if (!LoadPortLibrary()) return false;
    if (!TBaseDLLObject::LoadPDB(block)) return false;
    if (!AcquireBoardPorts()) return false;
    if (!VendorLibLoaded_) VendorLibLoaded_ = LoadVendorLibrary();
    if (!VendorLibLoaded_) return false;
    return CheckBoards();
}

bool TCustomDLLObject::AcquireBoardPorts() {
    for (std::int32_t slot = 0; slot < config::BoardCount; ++slot) {
        const config::BoardEntry& entry = PDB().Boards[slot];
        if (!config::IsBoard(entry.DevType)) continue;
        const PortSpan span = BoardPortSpan(entry.DevType);
        const auto first = static_cast<std::uint16_t>((entry.BaseAddress & 0xFFFF) + span.First);
        std::string reason;
        if (Bus_->Acquire(first, span.Count(), reason)) continue;
        Bus_->Release();
        const auto last = static_cast<std::uint16_t>(first + span.Count() - 1);
        SetsErrEvent(platform::FormatDateTime(Clock().Now()) + std::string(texts::PortLibraryPrefix) +
                     std::string(texts::PortAccessRefused) + std::string(texts::RefusedBoard) +
                     std::to_string(slot) + std::string(texts::RefusedModelOpen) +
                     std::string(Models[entry.DevType].Name) + std::string(texts::RefusedModelClose) +
                     std::string(texts::RefusedPorts) + HexPort(first) + "-" + HexPort(last) +
                     std::string(texts::RefusedReason) + reason);
        return false;
    }
    return true;
}

bool TCustomDLLObject::CheckBoards() {
    bool any = false;
    BoardPresent_.fill(false);
    for (std::int32_t slot = 0; slot < config::BoardCount; ++slot) {
        if (!config::IsBoard(PDB().Boards[slot].DevType)) continue;
        if (ProbeBoard(slot)) {
            BoardPresent_[static_cast<std::size_t>(slot)] = true;
            any = true;
        }
    }
    return any;
}

void TCustomDLLObject::CloseDriver() {
    if (PortLib_.Loaded()) {
        SystemBus_.Bind(nullptr, nullptr);
        OutPortProc_ = nullptr;
        InPortProc_ = nullptr;
        PortLib_.Free();
    }
    Bus_->Release();
    if (VendorLibLoaded_) {
        VendorLib_.Free();
        VendorLibLoaded_ = false;
    }
    TBaseDLLObject::CloseDriver();
}

framework::TagPtr TCustomDLLObject::CreateTag(const framework::TagDefinition* definition) {
    return TBaseDLLObject::CreateTag(definition);
}

bool TCustomDLLObject::JoinRequest(PollListType& list, TagItem& tag, bool write) {
    const framework::TagType* type = framework::TagTypeAt(tag.TypeIndex);
    if (write) return type != nullptr && type->Writable; // writes are never joined
    if (type == nullptr || !type->Readable) return false;
    // The first request of the board and type whose range covers the channel takes the tag. Ranges are
    // whole port groups, so in the poll list that is the one request that starts where the channel's
    // group starts, found without a walk; a tag read again on demand is listed there already.
    std::size_t position = list.size();
    const std::int32_t found =
        &list == &PollList_ && tag.Channel >= 0
            ? FindPollRequest(tag.Station, tag.TypeIndex, GroupOf(tag.Channel, tag.TypeIndex).first)
            : UnknownRequest;
    if (found >= 0) {
        position = static_cast<std::size_t>(found);
    } else if (found == UnknownRequest) {
        for (std::size_t i = 0; i < list.size(); ++i) {
            const PollRequest& request = *list[i];
            if (request.Station == tag.Station && request.TypeIndex == tag.TypeIndex &&
                request.ChannelLow <= tag.Channel && tag.Channel <= request.ChannelHigh) {
                position = i;
                break;
            }
        }
    }
    if (position == list.size()) return true;
    ListTag(list, position, tag);
    list[position]->Interval = std::min(list[position]->Interval, tag.ScanInterval);
    return false;
}

RequestPtr TCustomDLLObject::MakeRequest(TagItem& tag, PollListType& list, bool write) {
    if (tag.TypeIndex == framework::NoTagType) return nullptr;
    if (!JoinRequest(list, tag, write)) return nullptr;

    const std::int32_t bit = BitOf(tag.Channel, tag.TypeIndex);
    const auto setBit = [&](bool on) {
        if (bit < 0) return;
        tag.OutputImage = on ? (tag.OutputImage | (1 << bit)) : (tag.OutputImage & ~(1 << bit));
    };
    switch (static_cast<framework::DataType>(tag.DataType)) {
    case framework::DataType::Real:
        tag.OutputImage = static_cast<std::int32_t>(tag.Value.ToInteger());
        break;
    case framework::DataType::Boolean:
        setBit(tag.Value.ToBool());
        break;
    case framework::DataType::Text: {
        const std::string text = tag.Value.ToText();
        if (text == "1") setBit(true);
        if (text == "0") setBit(false);
        break;
    }
    }

    RequestPtr request = NewRequest(tag, write);
    request->TagPositions.assign(1, tag.ListIndex);
    request->OutputImage = tag.OutputImage;
    std::tie(request->ChannelLow, request->ChannelHigh) = GroupOf(tag.Channel, tag.TypeIndex);
    request->Value = tag.Value;
    request->Station = tag.Station;

    if (write) {
        // A written value shows at once in every tag of its channel, and the points of one port byte
        // compose one output image.
        for (const framework::TagPtr& other : TagList()) {
            if (other->Station != tag.Station || other->TypeIndex != tag.TypeIndex) continue;
            if (other.get() != &tag && other->Channel == tag.Channel) SetTagValue(*other, tag.Value);
            if (request->ChannelLow <= other->Channel && other->Channel <= request->ChannelHigh)
                other->OutputImage = request->OutputImage;
        }
    }
    return request;
}

void TCustomDLLObject::ReplyText(PollRequest& request, TagItem& tag, std::string& text, bool write) {
    TBaseDLLObject::ReplyText(request, tag, text, write);
}

void TCustomDLLObject::CommandText(PollRequest& request, TagItem& tag, std::string& text, bool write) {
    TBaseDLLObject::CommandText(request, tag, text, write);
}

bool TCustomDLLObject::LoadVendorLibrary() {
    return true;
}

bool TCustomDLLObject::ProbeBoard(std::int32_t) {
    return true;
}

void TCustomDLLObject::DistributeValue(std::uint32_t value, PollRequest& request, std::int32_t channel) {
    // What a tag receives depends only on the value, the channel and the tag's own fixed fields. While
    // the reply spread last still stands in every tag of the request, spreading it again would assign
    // each tag the value it holds: a steady reply costs nothing, however many tags share the request.
    if (request.ReplyHeld && request.HeldReply == value && request.HeldChannel == channel) return;
    const auto [low, high] = GroupOf(channel, request.TypeIndex);
    for (const std::int32_t position : request.TagPositions) {
        if (position < 0 || static_cast<std::size_t>(position) >= TagList().size()) continue;
        TagItem& tag = *TagList()[static_cast<std::size_t>(position)];
        const bool inGroup = low <= tag.Channel && tag.Channel <= high;
        const bool bitSet = inGroup && ((value >> BitOf(tag.Channel, tag.TypeIndex)) & 1u) != 0;
        const bool bitType = GroupSizeOf(tag.TypeIndex) > 1;
        switch (static_cast<framework::DataType>(tag.DataType)) {
        case framework::DataType::Real:
            if (tag.Channel == channel) SetTagValue(tag, Value::Integer(value));
            break;
        case framework::DataType::Boolean:
            if (inGroup) SetTagValue(tag, Value::Boolean(bitSet));
            break;
        case framework::DataType::Text:
            if (bitType && inGroup) {
                SetTagValue(tag, Value::Text(std::string(bitSet ? texts::BitSet : texts::BitClear)));
            } else if (!bitType && tag.Channel == channel) {
                SetTagValue(tag, Value::Text(std::to_string(value)));
            }
            break;
        }
    }
    request.ReplyHeld = true;
    request.HeldReply = value;
    request.HeldChannel = channel;
}

} // namespace korax::boards
