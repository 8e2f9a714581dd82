#include "framework/DLLBase.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <stdexcept>
#include <utility>

#include "framework/FrameworkTexts.h"
#include "framework/TagTypes.h"

namespace korax::framework {

namespace {

constexpr std::size_t TagNameMax = 32;
constexpr std::size_t TagAddressMax = 64;
constexpr std::int32_t NoStation = 31; // DefaultStation of a block without boards

} // namespace

TBaseDLLObject::TBaseDLLObject(platform::Clock& clock, bool firstInstance)
    : FirstInstance_(firstInstance), PDB_(std::make_unique<config::DevicePDB>()), Clock_(clock) {}

TBaseDLLObject::~TBaseDLLObject() {
    // Board classes close themselves in their own destructors, where their CloseDriver still dispatches;
    // this covers a plain base object.
    EnLog_ = CommLinkState_ = EnCommLinkState_ = true;
    if (!Closed_) TBaseDLLObject::CloseDriver();
}

// --- slot 1..4 ---

bool TBaseDLLObject::LoadPDB(const config::DevicePDB* block) {
    if (block == nullptr) return false;
    config::CopyPDB(block, PDB_.get());
    DefaultStation_ = NoStation;
    for (const config::BoardEntry& entry : PDB_->Boards) {
        if (config::IsBoard(entry.DevType)) DefaultStation_ = std::min(DefaultStation_, entry.BoardNo);
    }
    PDBLoaded_ = true;
    return true;
}

void TBaseDLLObject::StartScan() {
    if (!Active_) return;
    ClearPollList();
    RequestOfTag_.assign(TagList_.size(), NoRequest);
    for (const TagPtr& tag : TagList_) {
        if (tag->Special) continue;
        if (RequestPtr request = MakeRequest(*tag, PollList_, false)) AppendPollRequest(std::move(request));
    }
    // The lists are complete: the room they grew into beyond their tags would cost up to half as much
    // again per tag.
    for (const RequestPtr& request : PollList_) request->TagPositions.shrink_to_fit();
    RequestIndex_ = 0;
    CycleCount_ = 0;
    FailCount_ = 0;
    LastCycleMs_ = 0;
    ConsecutiveFails_ = 0;
    ResetTime_ = Clock_.Now();
    GroupHead_ = nullptr;
    CurrentRequest_ = nullptr;
    FreeRequests(PendingQueue_);
    FreeRequests(OneOffGroup_);
    BeforePlan();
    ScanTime_ = PlanScan();
    if (!PollList_.empty()) {
        GroupHead_ = CurrentRequest_ = PollList_.front().get();
        Send(*CurrentRequest_);
        CycleStartTick_ = Clock_.TickMs();
    }
}

void TBaseDLLObject::BeforePlan() {}

// --- slot 9: tags (addresses are parsed and checked in TagAddress.cpp) ---

TagPtr TBaseDLLObject::CreateTag(const TagDefinition* definition) {
    if (definition == nullptr) return nullptr;
    try {
        auto item = std::make_unique<TagItem>();
        item->TagId = definition->TagId;
        item->ChangeFlag = 0;
        item->TagName = definition->Name.substr(0, TagNameMax);
        item->TagAddress = definition->Address.substr(0, TagAddressMax);
        item->DataType = definition->DataType;
        item->ScanInterval = definition->ScanInterval;
        item->Special = false;
        item->TypeIndex = FindTagType(item->TagAddress);
        item->Value = definition->InitialValue;
        item->LastValue = definition->InitialValue;
        item->Countdown = TagItem::ForcedReports;
        item->LastReportTick = Clock_.TickMs();
        item->OutputImage = 0;
        item->Station = ParseStation(item->TagAddress);
        item->DevKind = item->Station >= 0 && item->Station < config::BoardCount
                            ? config::BoardKind(PDB_->Boards[item->Station].DevType)
                            : config::NoBoard;
        item->Channel = ParseChannel(item->TagAddress, item->DevKind);
        item->Bit = ParseBit(item->TagAddress, item->DevKind);
        item->Slot = ParseSlot(item->TagAddress, item->DevKind);
        if (const TagType* type = TagTypeAt(item->TypeIndex)) item->Access = type->Access;
        if (definition->InitialValue.IsEmpty()) {
            // Only a tag without any initial value takes bit 1 in place of its address's bit.
            const bool none = !definition->InitialUndecoded;
            switch (static_cast<framework::DataType>(item->DataType)) {
            case DataType::Real:
                item->Value = Value::Real(0.0);
                if (none) item->Bit = 1;
                break;
            case DataType::Boolean:
                item->Value = Value::Boolean(false);
                break;
            case DataType::Text:
                item->Value = Value::Text({});
                if (none) item->Bit = 1;
                break;
            }
        }
        return item;
    } catch (...) {
        return nullptr;
    }
}

// --- slot 21..26: property writers ---

void TBaseDLLObject::SetsErrEvent(std::string text) {
    if (Trace_ != nullptr && !text.empty()) Trace_->MessageQueued(text);
    sErrEvent_ = std::move(text);
}

void TBaseDLLObject::SetDevMsg(std::string text) {
    ++DevMsgWrites_;
    DevMsg_ = std::move(text);
}

void TBaseDLLObject::WriteLogText(std::string_view) {}

void TBaseDLLObject::SetEnLog(bool value) {
    EnLog_ = value;
}

void TBaseDLLObject::SetCommLink(bool value) {
    CommLinkState_ = value;
}

void TBaseDLLObject::SetEnCommLink(bool value) {
    EnCommLinkState_ = value;
}

// --- slot 27..33: what the exports call ---

bool TBaseDLLObject::Initialise(const config::DevicePDB* block, TagDefinitionList tags) {
    if (Active_) CloseDriver();
    if (!LoadPDB(block)) return false;
    return LoadTags(tags);
}

void TBaseDLLObject::CloseDriver() {
    if (Active_) {
        CurrentRequest_ = nullptr;
        GroupHead_ = nullptr;
        FreeRequests(PendingQueue_);
        FreeRequests(OneOffGroup_);
        ClearPollList();
        TagList_.clear();
        SpecialTags_.clear();
        ReportCandidates_.Clear();
    }
    Closed_ = true;
    Active_ = false;
    if (Trace_ != nullptr) Trace_->DriverClosed();
}

std::int32_t TBaseDLLObject::AddTagList(TagDefinitionList tags, std::span<std::int32_t> results) {
    try {
        if (!Active_) CreateLists();
        TagIndex_.resize(TagIndex_.size() + tags.size() + 1, NoTag);
        std::int32_t result = 0;
        for (std::size_t i = 0; i < tags.size(); ++i) {
            TagPtr item = CreateTag(tags[i]);
            const bool added = item && AdmitTag(item) && RegisterTag(std::move(item));
            if (i < results.size()) results[i] = added ? 0 : 1;
            if (!added) result = 1;
        }
        if (TagList_.empty()) {
            CloseDriver();
        } else {
            StartScan();
        }
        TagCount_ = static_cast<std::int32_t>(TagList_.size());
        return result;
    } catch (...) {
        CloseDriver();
        return 1;
    }
}

// --- non-virtual operations ---

bool TBaseDLLObject::LoadTags(TagDefinitionList tags) {
    if (Active_) CloseDriver();
    try {
        CreateLists();
        TagIndex_.assign(tags.size() + 1, NoTag);
        for (const TagDefinition* definition : tags) {
            TagPtr item = CreateTag(definition);
            if (item && AdmitTag(item)) RegisterTag(std::move(item));
        }
        if (TagList_.empty()) {
            CloseDriver();
        } else {
            StartScan();
        }
        TagCount_ = static_cast<std::int32_t>(TagList_.size());
        return true;
    } catch (...) {
        CloseDriver();
        return false;
    }
}

std::int32_t TBaseDLLObject::TagPosition(std::uint32_t tagId) const {
    if (tagId >= TagIndex_.size()) return NoTag;
    const std::int32_t position = TagIndex_[tagId];
    return position >= 0 && static_cast<std::size_t>(position) < TagList_.size() ? position : NoTag;
}

TagItem* TBaseDLLObject::FindTag(std::uint32_t tagId) {
    const std::int32_t position = TagPosition(tagId);
    return position == NoTag ? nullptr : TagList_[position].get();
}

std::string TBaseDLLObject::TakeErrEvent() {
    return std::exchange(sErrEvent_, {});
}

void TBaseDLLObject::CreateLists() {
    ClearPollList();
    TagList_.clear();
    // A table built afresh must not inherit identifiers of the one closed before it.
    TagIndex_.clear();
    SpecialTags_.clear();
    ReportCandidates_.Clear();
    Active_ = true;
    Closed_ = false;
    SetEnLog(false);
    SetCommLink(true);
    SetEnCommLink(true);
}

void TBaseDLLObject::ClearPollList() {
    for (RequestPtr& request : PollList_) FreeRequests(request->Next);
    PollList_.clear();
    RequestLookup_.clear();
    IrregularRanges_ = false;
    RequestOfTag_.clear();
}

std::size_t TBaseDLLObject::RequestKeyHash::operator()(const RequestKey& key) const noexcept {
    const std::uint64_t packed = (std::uint64_t{static_cast<std::uint32_t>(key.Station)} << 40) ^
                                 (std::uint64_t{static_cast<std::uint32_t>(key.TypeIndex)} << 32) ^
                                 static_cast<std::uint32_t>(key.ChannelLow);
    return std::hash<std::uint64_t>{}(packed);
}

void TBaseDLLObject::AppendPollRequest(RequestPtr request) {
    const auto position = static_cast<std::int32_t>(PollList_.size());
    if (request->ChannelLow < 0) IrregularRanges_ = true;
    // The first request of a key is the one a tag joins; emplace keeps it.
    RequestLookup_.emplace(RequestKey{request->Station, request->TypeIndex, request->ChannelLow}, position);
    for (const std::int32_t tag : request->TagPositions) NoteListed(tag, position);
    PollList_.push_back(std::move(request));
}

std::int32_t TBaseDLLObject::FindPollRequest(std::int32_t station, std::int32_t typeIndex,
                                             std::int32_t channelLow) const {
    if (IrregularRanges_) return UnknownRequest;
    const auto found = RequestLookup_.find(RequestKey{station, typeIndex, channelLow});
    return found == RequestLookup_.end() ? NoRequest : found->second;
}

void TBaseDLLObject::NoteListed(std::int32_t tagPosition, std::int32_t requestPosition) {
    if (tagPosition < 0 || static_cast<std::size_t>(tagPosition) >= RequestOfTag_.size()) return;
    std::int32_t& listedIn = RequestOfTag_[tagPosition];
    listedIn = listedIn == NoRequest || listedIn == requestPosition ? requestPosition : SeveralRequests;
}

void TBaseDLLObject::ListTag(PollListType& list, std::size_t requestPosition, const TagItem& tag) {
    std::vector<std::int32_t>& positions = list[requestPosition]->TagPositions;
    const auto request = static_cast<std::int32_t>(requestPosition);
    const bool known = &list == &PollList_ && tag.ListIndex >= 0 &&
                       static_cast<std::size_t>(tag.ListIndex) < RequestOfTag_.size() &&
                       TagList_[tag.ListIndex].get() == &tag;
    if (known && RequestOfTag_[tag.ListIndex] == request) return;
    if (known && RequestOfTag_[tag.ListIndex] == NoRequest) {
        positions.push_back(tag.ListIndex);
        NoteListed(tag.ListIndex, request);
        return;
    }
    if (std::find(positions.begin(), positions.end(), tag.ListIndex) == positions.end()) {
        positions.push_back(tag.ListIndex);
        if (known) NoteListed(tag.ListIndex, request);
    }
}

bool TBaseDLLObject::AdmitTag(TagPtr& item) {
    if (item->TagId > MaxTagId) {
        item.reset();
        return false;
    }
    const auto special = [&](std::string_view keyword, void (TBaseDLLObject::*set)(bool)) {
        if (!item->AddressStartsWith(keyword)) return;
        (this->*set)(true);
        item->Special = true;
    };
    special(texts::KeywordEnLog, &TBaseDLLObject::SetEnLog);
    special(texts::KeywordCommLink, &TBaseDLLObject::SetCommLink);
    special(texts::KeywordEnCommLink, &TBaseDLLObject::SetEnCommLink);
    if (item->Special) return true; // its Keyword is now its address
    ValidateTag(item);
    return item != nullptr;
}

bool TBaseDLLObject::RegisterTag(TagPtr item) {
    const auto position = static_cast<std::int32_t>(TagList_.size());
    item->ListIndex = position;
    if (item->TagId >= TagIndex_.size()) {
        // resize grows the capacity geometrically, so registering many tags stays linear overall. An
        // identifier too large to index costs only its own tag, not the whole table.
        try {
            TagIndex_.resize(std::size_t{item->TagId} + 1, NoTag);
        } catch (const std::bad_alloc&) {
            return false;
        } catch (const std::length_error&) {
            return false;
        }
    }
    TagIndex_[item->TagId] = position;
    if (item->Special) SpecialTags_.push_back(position);
    TagList_.push_back(std::move(item));
    // A new tag has its forced reports ahead of it.
    ReportCandidates_.Resize(TagList_.size());
    MarkForReport(static_cast<std::size_t>(position));
    return true;
}

} // namespace korax::framework
