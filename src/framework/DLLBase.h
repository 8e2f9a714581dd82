#pragma once
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "config/DevicePDB.h"
#include "framework/PollRequest.h"
#include "framework/TagBitSet.h"
#include "framework/TagItem.h"
#include "framework/TraceHook.h"
#include "framework/Value.h"
#include "platform/Clock.h"

// Words used throughout the driver:
// - model: one of the seven board types of the family (KRX-A100 …), its code 0..6 the DevType of a
//   board entry; 7 means "no board". A model's facts are one row of the model table.
// - kind (DevKind): the model code of the board a tag's station names, as the tag item keeps it.
// - board slot: one of the 32 board entries of the parameter block. A configured board sits in the slot
//   of its own board number.
// - station: the board an address names, by its board number ("DI1:5" names station 1; "AD3" names
//   none and gets DefaultStation, the lowest configured board number).
// - address slot (Slot of a tag item): the slot field of an address; every model has only slot 0.
// - thread slot: the per-thread storage that holds each host thread's driver object.
// - tag type: what an address reads or writes (AD, DI, DO, DA, COUNT, …), a row of the tag type table.
// - request (poll request): one read or write the scan cycle sends to a board for one station, type,
//   channel and gain; every tag on the same address shares it.
namespace korax::framework {

using TagPtr = std::unique_ptr<TagItem>;
using RequestPtr = std::unique_ptr<PollRequest>;
using PollListType = std::vector<RequestPtr>;
// A host's definition list: an entry without a value stands for a nil definition pointer.
using TagDefinitionList = std::span<const TagDefinition* const>;

// The board-independent driver object: one per host thread. Its virtual operations keep one fixed order
// (board classes override a subset); the fields are those the host-visible behaviour depends on.
class TBaseDLLObject {
public:
    // Tag identifiers index TagIndex directly; larger ones (negative as signed numbers) are refused.
    static constexpr std::uint32_t MaxTagId = 0x7FFFFFFF;
    static constexpr std::int32_t NoTag = -1;

    TBaseDLLObject(platform::Clock& clock, bool firstInstance);
    virtual ~TBaseDLLObject();
    TBaseDLLObject(const TBaseDLLObject&) = delete;
    TBaseDLLObject& operator=(const TBaseDLLObject&) = delete;

    // --- virtual operations, in slot order ---
    virtual bool LoadPDB(const config::DevicePDB* block);
    virtual void StartScan();
    virtual void BeforePlan();
    virtual std::int32_t PlanScan();
    virtual bool CheckDataType(std::uint8_t dataType, std::uint8_t kind);
    virtual std::int32_t ParseSlot(std::string_view address, std::uint8_t kind);
    virtual std::int32_t ParseChannel(std::string_view address, std::uint8_t kind);
    virtual std::int32_t ParseBit(std::string_view address, std::uint8_t kind);
    virtual TagPtr CreateTag(const TagDefinition* definition);
    virtual std::string AddressKeyword(std::string_view address);
    virtual void ValidateTag(TagPtr& item);
    virtual RequestPtr MakeRequest(TagItem& tag, PollListType& list, bool write);
    virtual bool JoinRequest(PollListType& list, TagItem& tag, bool write);
    virtual void ReplyText(PollRequest& request, TagItem& tag, std::string& text, bool write);
    virtual void CommandText(PollRequest& request, TagItem& tag, std::string& text, bool write);
    virtual void SendRequest(PollRequest& request);
    virtual bool FinishRequest();
    virtual void RestartGroup();
    virtual void NextRequest();
    virtual void FreeRequests(RequestPtr& chain);
    virtual void SetsErrEvent(std::string text);
    virtual void SetDevMsg(std::string text);
    virtual void WriteLogText(std::string_view text);
    virtual void SetEnLog(bool value);
    virtual void SetCommLink(bool value);
    virtual void SetEnCommLink(bool value);
    virtual bool Initialise(const config::DevicePDB* block, TagDefinitionList tags);
    virtual bool ScanStep();
    virtual bool WriteTag(std::uint32_t tagId, const Value& value);
    virtual std::int32_t ReadTag(std::uint32_t tagId);
    virtual void CloseDriver();
    virtual bool CheckTagAddress(const config::DevicePDB* block, std::string& address);
    virtual std::int32_t AddTagList(TagDefinitionList tags, std::span<std::int32_t> results);

    // --- non-virtual operations ---
    bool LoadTags(TagDefinitionList tags);
    std::int32_t FindTagType(std::string_view address) const;
    std::int32_t ParseStation(std::string_view address);
    // Position in TagList of the tag registered under the identifier, or NoTag.
    std::int32_t TagPosition(std::uint32_t tagId) const;
    TagItem* FindTag(std::uint32_t tagId);

    // --- published properties ---
    bool FirstInstance() const { return FirstInstance_; }
    std::int32_t ScanTime() const { return ScanTime_; }
    std::int32_t TagCount() const { return TagCount_; }
    const std::string& sErrEvent() const { return sErrEvent_; }
    const std::string& DevMsg() const { return DevMsg_; }
    bool EnLog() const { return EnLog_; }

    // Hands the pending message out once: returns it and clears it.
    std::string TakeErrEvent();

    // Receives the tags a change detection reports, in tag-table order.
    class ReportSink {
    public:
        virtual void Report(const TagItem& tag) = 0;

    protected:
        ~ReportSink() = default;
    };
    // Change detection behind OnDataRead: every due tag that still has forced reports left or whose value
    // differs from what the host last saw is reported (LastValue and LastReportTick move on).
    void CollectReports(ReportSink& sink);
    // Every assignment of a tag's value goes through here, so change detection looks at the tag again.
    void SetTagValue(TagItem& tag, Value value);

    platform::Clock& Clock() { return Clock_; }
    // Where the object reports its requests, values and messages (nil: nowhere, the default).
    void SetTraceHook(TraceHook* hook) { Trace_ = hook; }

    // --- state read by the layers above and by tests ---
    bool Active() const { return Active_; }
    bool Closed() const { return Closed_; }
    bool PDBLoaded() const { return PDBLoaded_; }
    bool CommLinkState() const { return CommLinkState_; }
    bool EnCommLinkState() const { return EnCommLinkState_; }
    std::int32_t DefaultStation() const { return DefaultStation_; }
    const config::DevicePDB& PDB() const { return *PDB_; }
    const std::vector<TagPtr>& TagList() const { return TagList_; }
    const PollListType& PollList() const { return PollList_; }
    const std::vector<std::int32_t>& TagIndex() const { return TagIndex_; }
    void* AlarmEvent() const { return AlarmEvent_; }
    void SetAlarmEvent(void* handle) { AlarmEvent_ = handle; }
    double ResetTime() const { return ResetTime_; }
    std::int32_t CycleCount() const { return CycleCount_; }
    std::int32_t FastestRequest() const { return FastestRequest_; }
    double MinCycleMs() const { return MinCycleMs_; }
    double MaxCycleMs() const { return MaxCycleMs_; }
    double AvgCycleMs() const { return AvgCycleMs_; }
    const PollRequest* CurrentRequest() const { return CurrentRequest_; }
    const PollRequest* GroupHead() const { return GroupHead_; }
    const PollRequest* PendingQueue() const { return PendingQueue_.get(); }
    double FailCount() const { return FailCount_; }
    double ConsecutiveFails() const { return ConsecutiveFails_; }
    std::int32_t LastCycleMs() const { return LastCycleMs_; }
    std::int32_t RequestIndex() const { return RequestIndex_; }
    std::int32_t ElapsedMs() const { return ElapsedMs_; }
    bool ReplyReady() const { return ReplyReady_; }

protected:
    // Registers a surviving item at the end of TagList and points TagIndex at it; false (the item is
    // dropped) when its identifier cannot be indexed.
    bool RegisterTag(TagPtr item);
    // Marks special tags and validates the others; false when the item was rejected.
    bool AdmitTag(TagPtr& item);
    void CreateLists();
    // A request serving this tag alone, with every field a new request starts with.
    RequestPtr NewRequest(TagItem& tag, bool write);
    // The change detection must look at the tag at this position on its next run.
    void MarkForReport(std::size_t position) { ReportCandidates_.Set(position); }
    // Empties the poll list and what is known about its requests.
    void ClearPollList();
    // Appends a request to the poll list and remembers it by its station, type and first channel.
    void AppendPollRequest(RequestPtr request);
    // Position in the poll list of the first request with this station, type and first channel;
    // NoRequest when there is none; UnknownRequest when a request starts below channel 0, where ranges
    // may overlap and only a walk of the list finds the first one that covers a channel.
    static constexpr std::int32_t NoRequest = -1;
    static constexpr std::int32_t UnknownRequest = -2;
    std::int32_t FindPollRequest(std::int32_t station, std::int32_t typeIndex, std::int32_t channelLow) const;
    // Lists the tag in the request at that position of the list unless it is listed there already: for
    // the poll list and a registered tag that is known at once, otherwise the request's positions are
    // looked through.
    void ListTag(PollListType& list, std::size_t requestPosition, const TagItem& tag);
    // Records that the poll request at that position lists the tag at this position.
    void NoteListed(std::int32_t tagPosition, std::int32_t requestPosition);
    // The reply held by the poll request of this tag no longer stands in all of its tags.
    void ReleaseHeldReply(std::size_t tagPosition);
    // Sends a request, telling the trace first when there is one.
    void Send(PollRequest& request);
    // Makes the first pending request the current one-off group.
    void TakePending();
    void AppendPending(RequestPtr request);
    // Reply and time-out accounting of a scan step; true when a reply was accounted.
    bool AccountReply();
    // Special tags show the states they stand for.
    void RefreshSpecialTags();
    void WriteStatistics(double failureRate);
    // A host write to ENLOG, COMMLINK or ENCOMMLINK.
    void WriteSpecialTag(TagItem& tag, const Value& value);

    bool FirstInstance_;
    std::int32_t ScanTime_ = 500;
    std::int32_t FastestRequest_ = 0;
    std::int32_t TagCount_ = 0;
    bool PDBLoaded_ = false;
    std::string sErrEvent_;
    bool CommLinkState_ = true;
    bool EnCommLinkState_ = true;
    std::int32_t CycleCount_ = 0;
    double FailCount_ = 0;
    double ConsecutiveFails_ = 0;
    double ResetTime_ = 0;
    double MinCycleMs_ = 0;
    double MaxCycleMs_ = 0;
    double AvgCycleMs_ = 0;
    std::int32_t LastCycleMs_ = 0;
    std::uint32_t CycleStartTick_ = 0;
    std::uint32_t SendTick_ = 0;
    std::int32_t RequestIndex_ = 0;
    std::int32_t ElapsedMs_ = 0;
    std::string DevMsg_;
    std::uint32_t DevMsgWrites_ = 0; // SetDevMsg calls so far, wrapping
    bool EnLog_ = true;
    bool Active_ = false;
    bool Closed_ = false;
    bool ReplyReady_ = false;
    PollListType PollList_;
    std::vector<TagPtr> TagList_;
    std::vector<std::int32_t> TagIndex_;
    std::unique_ptr<config::DevicePDB> PDB_;
    std::int32_t DefaultStation_ = 0;
    void* AlarmEvent_ = nullptr;
    PollRequest* GroupHead_ = nullptr;
    PollRequest* CurrentRequest_ = nullptr;
    RequestPtr PendingQueue_;
    RequestPtr OneOffGroup_; // the group taken from the pending queue while it is worked
    std::vector<std::int32_t> SpecialTags_;
    TagBitSet ReportCandidates_;

    // Poll requests by station, type and first channel, so that a tag finds the request it joins without
    // walking the list; and for each tag position the poll request that lists it: NoRequest for none,
    // SeveralRequests should more than one ever list it.
    struct RequestKey {
        std::int32_t Station, TypeIndex, ChannelLow;
        bool operator==(const RequestKey&) const = default;
    };
    struct RequestKeyHash {
        std::size_t operator()(const RequestKey& key) const noexcept;
    };
    std::unordered_map<RequestKey, std::int32_t, RequestKeyHash> RequestLookup_;
    bool IrregularRanges_ = false; // a request starts below channel 0
    static constexpr std::int32_t SeveralRequests = -2;
    std::vector<std::int32_t> RequestOfTag_;

private:
    platform::Clock& Clock_;
    TraceHook* Trace_ = nullptr;
    bool Sending_ = false; // a request is being sent: values given now are its reply
};

} // namespace korax::framework
