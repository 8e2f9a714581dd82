// The scan cycle of the driver object: poll requests, their weighting and selection, one-off reads and
// writes, the scan step behind OnDataRead and the change detection that decides what the host sees.
#include <algorithm>
#include <cmath>

#include "framework/DLLBase.h"
#include "framework/TagTypes.h"

namespace korax::framework {

namespace {

constexpr std::uint32_t PlanBase = 1000;
constexpr std::uint32_t MinScanBase = 10;
constexpr std::int32_t ScanPeriodMs = 10;
constexpr std::int32_t PlannedCountdown = 3;
constexpr std::string_view TestTypeName = "TEST";
constexpr std::int32_t TestCountdown = 1;
constexpr std::int32_t TestWeight = 2;
constexpr float GoodQuality = 0.5f;
constexpr float LowestQuality = 0.01f; // a failing request is sent at most this much less often

std::int32_t TickDifference(std::uint32_t later, std::uint32_t earlier) {
    return static_cast<std::int32_t>(later - earlier);
}

} // namespace

std::int32_t TBaseDLLObject::PlanScan() {
    std::uint32_t base = PlanBase;
    FastestRequest_ = 0;
    for (std::size_t i = 0; i < PollList_.size(); ++i) {
        if (PollList_[i]->Interval < base) {
            base = PollList_[i]->Interval;
            FastestRequest_ = static_cast<std::int32_t>(i);
        }
    }
    float sum = 1.0f;
    for (const RequestPtr& request : PollList_) {
        const std::uint32_t weight = base == 0 ? 1 : request->Interval / base;
        request->Weight = static_cast<std::int32_t>(std::clamp<std::uint32_t>(weight, 1, INT32_MAX));
        request->Countdown = PlannedCountdown;
        sum += 1.0f / static_cast<float>(request->Weight);
        if (request->TypeName == TestTypeName) {
            request->Countdown = TestCountdown;
            request->Weight = TestWeight;
        }
    }
    if (!PollList_.empty())
        base = static_cast<std::uint32_t>(std::trunc(base / static_cast<double>(sum))) + 1;
    if (base < MinScanBase) {
        // nearbyint rounds halves to the even neighbour under the default rounding mode.
        const auto factor =
            static_cast<std::int32_t>(std::nearbyint(static_cast<double>(MinScanBase) / base));
        base = MinScanBase;
        // A weight that already stands for an interval of weeks stays at the largest one instead of
        // overflowing.
        for (const RequestPtr& request : PollList_) {
            if (request->Weight != 1)
                request->Weight = static_cast<std::int32_t>(
                    std::min<std::int64_t>(std::int64_t{request->Weight} * factor, INT32_MAX));
        }
    }
    MinCycleMs_ = PlanBase;
    MaxCycleMs_ = PlanBase;
    AvgCycleMs_ = base;
    return ScanPeriodMs;
}

// --- requests ---

RequestPtr TBaseDLLObject::MakeRequest(TagItem& tag, PollListType& list, bool write) {
    if (!JoinRequest(list, tag, write)) return nullptr;
    return NewRequest(tag, write);
}

RequestPtr TBaseDLLObject::NewRequest(TagItem& tag, bool write) {
    auto request = std::make_unique<PollRequest>();
    request->Flags = write ? PollRequest::WriteFlags : PollRequest::PollFlags;
    request->State = write ? PollRequest::WriteState : PollRequest::PollState;
    request->TagPositions.push_back(tag.ListIndex);
    request->TypeName = tag.Keyword();
    request->TypeIndex = tag.TypeIndex;
    request->WriteFlag = write ? 1 : 0;
    request->ChannelLow = tag.Channel;
    request->ChannelHigh = tag.Channel;
    request->Station = tag.Station;
    request->Interval = tag.ScanInterval;
    request->Countdown = 0;
    request->Weight = 1;
    request->OutputImage = tag.OutputImage;
    request->Value = tag.Value;
    request->Quality = 1.0f;
    CommandText(*request, tag, request->CommandText, write);
    ReplyText(*request, tag, request->ReplyText, write);
    return request;
}

bool TBaseDLLObject::JoinRequest(PollListType&, TagItem& tag, bool write) {
    const TagType* type = TagTypeAt(tag.TypeIndex);
    return type != nullptr && (write ? type->Writable : type->Readable);
}

void TBaseDLLObject::ReplyText(PollRequest&, TagItem&, std::string&, bool) {}

void TBaseDLLObject::CommandText(PollRequest&, TagItem&, std::string&, bool) {}

void TBaseDLLObject::SendRequest(PollRequest&) {
    if (EnCommLinkState_) {
        SendTick_ = Clock_.TickMs();
        ElapsedMs_ = 0;
    }
}

bool TBaseDLLObject::FinishRequest() {
    PollRequest& current = *CurrentRequest_;
    if (!ReplyReady_) {
        if (current.State == PollRequest::WriteState) current.State = PollRequest::PollState;
        return false;
    }
    ElapsedMs_ = 0;
    if (current.Quality >= GoodQuality) {
        current.Countdown = current.Weight;
    } else {
        current.Quality = std::max(current.Quality, LowestQuality);
        // A large weight backed off a hundredfold leaves the counter's range: it stays at the largest.
        const float countdown = static_cast<float>(current.Weight) / current.Quality;
        current.Countdown =
            countdown < static_cast<float>(INT32_MAX) ? static_cast<std::int32_t>(countdown) : INT32_MAX;
    }
    if (current.Next) {
        CurrentRequest_ = current.Next.get();
        return false;
    }
    if (GroupHead_ == OneOffGroup_.get()) {
        if ((GroupHead_->Flags & PollRequest::OneOff) != 0 &&
            (current.Flags & PollRequest::ForceReport) != 0) {
            for (const std::int32_t position : GroupHead_->TagPositions) {
                if (position < 0 || static_cast<std::size_t>(position) >= TagList_.size()) continue;
                TagItem& tag = *TagList_[position];
                tag.LastValue = tag.Value.Different();
                MarkForReport(static_cast<std::size_t>(position));
                ReleaseHeldReply(static_cast<std::size_t>(position));
            }
        }
        // A group from the pending queue is served once; it is released when it completes.
        CurrentRequest_ = GroupHead_ = nullptr;
        FreeRequests(OneOffGroup_);
    }
    if (PendingQueue_) {
        TakePending();
    } else {
        NextRequest();
    }
    return false;
}

void TBaseDLLObject::RestartGroup() {
    CurrentRequest_ = GroupHead_;
}

void TBaseDLLObject::NextRequest() {
    CurrentRequest_ = GroupHead_ = nullptr;
    if (PollList_.empty()) return;
    const auto size = static_cast<std::int32_t>(PollList_.size());
    bool firstPass = true;
    bool passedFastest = false;
    PollRequest* head = nullptr;
    std::int32_t firstPassTurns = 0;
    do {
        RequestIndex_ = (RequestIndex_ + 1) % size;
        if (RequestIndex_ < 0) RequestIndex_ += size;
        head = PollList_[RequestIndex_].get();
        if (RequestIndex_ == FastestRequest_) passedFastest = true;
        if (firstPass || head->Countdown < 2) {
            --head->Countdown;
            if (head->Countdown <= 1) firstPass = false;
        }
        if (firstPass && ++firstPassTurns == size) {
            // A whole round of the first pass only counted every request down by one, and each is still
            // at 2 or above: further such rounds are taken at once, as many as keep the lowest at 2. A
            // slow request (a long interval, a backed-off one) would otherwise cost a loop turn per skip,
            // millions for an interval of hours, in one scan step. A usual step never gets here, so it
            // does not walk the list.
            std::int32_t lowest = INT32_MAX;
            for (const RequestPtr& request : PollList_) lowest = std::min(lowest, request->Countdown);
            for (const RequestPtr& request : PollList_) request->Countdown -= lowest - 2;
            firstPassTurns = 0;
        }
    } while (head->Countdown > 0);
    GroupHead_ = CurrentRequest_ = head;
    if (!passedFastest) return;

    const std::uint32_t now = Clock_.TickMs();
    LastCycleMs_ = TickDifference(now, CycleStartTick_);
    CycleStartTick_ = now;
    if (size > CycleCount_) {
        MinCycleMs_ = MaxCycleMs_ = AvgCycleMs_ = LastCycleMs_;
    } else {
        MaxCycleMs_ = std::max<double>(MaxCycleMs_, LastCycleMs_);
        MinCycleMs_ = std::min<double>(MinCycleMs_, LastCycleMs_);
        const std::int32_t n = CycleCount_ - size == 0 ? 1 : CycleCount_ - size;
        AvgCycleMs_ = (AvgCycleMs_ * (n - 1) + LastCycleMs_) / n;
    }
}

void TBaseDLLObject::FreeRequests(RequestPtr& chain) {
    chain.reset();
}

void TBaseDLLObject::TakePending() {
    OneOffGroup_ = std::move(PendingQueue_);
    PendingQueue_ = std::move(OneOffGroup_->Next);
    GroupHead_ = CurrentRequest_ = OneOffGroup_.get();
}

void TBaseDLLObject::AppendPending(RequestPtr request) {
    if (!request) return;
    RequestPtr* end = &PendingQueue_;
    while (*end) end = &(*end)->Next;
    *end = std::move(request);
}

// --- the scan step ---

void TBaseDLLObject::Send(PollRequest& request) {
    if (Trace_ == nullptr) return SendRequest(request);
    Trace_->RequestSent(request);
    Sending_ = true;
    struct Reset {
        bool& Flag;
        ~Reset() { Flag = false; }
    } reset{Sending_};
    SendRequest(request);
}

bool TBaseDLLObject::ScanStep() {
    if (!Active_) return false;
    if (CurrentRequest_ == nullptr) {
        if (!PendingQueue_) return false;
        // Nothing is polled, so nothing else would ever send this one: send it now and look at its
        // reply in the next step.
        TakePending();
        CurrentRequest_->ReplyData.clear();
        Send(*CurrentRequest_);
        return false;
    }
    const double failureRate = CycleCount_ == 0 ? 1.0 : FailCount_ / CycleCount_;
    const bool result = AccountReply();
    FinishRequest();
    if (ReplyReady_) {
        RefreshSpecialTags();
        ++CycleCount_;
        // The statistics line goes to DevMsg before the next request is sent. A board class clears
        // DevMsg as it sends, so the line is only put together when the send leaves DevMsg alone: what
        // DevMsg holds afterwards is the same, and a usual step does not format a line it throws away.
        const std::uint32_t devMsgWrites = DevMsgWrites_;
        if (CurrentRequest_ != nullptr) {
            CurrentRequest_->ReplyData.clear();
            Send(*CurrentRequest_);
        }
        if (DevMsgWrites_ == devMsgWrites) WriteStatistics(failureRate);
    }
    return result;
}

// --- one-off reads and writes ---

bool TBaseDLLObject::WriteTag(std::uint32_t tagId, const Value& value) {
    if (!PDBLoaded_) LoadPDB(PDB_.get());
    if (!Active_) return false;
    TagItem* tag = FindTag(tagId);
    if (tag == nullptr) return false;
    if (tag->Special) {
        WriteSpecialTag(*tag, value);
        return true;
    }
    const TagType* type = TagTypeAt(tag->TypeIndex);
    if (type == nullptr || !type->Writable) return false;
    static constexpr Value::Kind KindOfType[] = {Value::Kind::Real, Value::Kind::Boolean, Value::Kind::Text};
    if (tag->DataType >= std::size(KindOfType) || value.GetKind() != KindOfType[tag->DataType]) return false;
    SetTagValue(*tag, value);
    AppendPending(MakeRequest(*tag, PollList_, true));
    return PendingQueue_ != nullptr;
}

std::int32_t TBaseDLLObject::ReadTag(std::uint32_t tagId) {
    if (!PDBLoaded_) LoadPDB(PDB_.get());
    if (!Active_) return 1;
    TagItem* tag = FindTag(tagId);
    const TagType* type = tag == nullptr ? nullptr : TagTypeAt(tag->TypeIndex);
    if (type == nullptr || !type->Readable) return 1;
    AppendPending(MakeRequest(*tag, PollList_, false));
    return PendingQueue_ ? 0 : 1;
}

// --- change detection ---

void TBaseDLLObject::SetTagValue(TagItem& tag, Value value) {
    tag.Value = std::move(value);
    if (Sending_) Trace_->ValueGiven(tag);
    if (tag.ListIndex >= 0 && static_cast<std::size_t>(tag.ListIndex) < TagList_.size() &&
        TagList_[tag.ListIndex].get() == &tag) {
        MarkForReport(static_cast<std::size_t>(tag.ListIndex));
        ReleaseHeldReply(static_cast<std::size_t>(tag.ListIndex));
    }
}

void TBaseDLLObject::ReleaseHeldReply(std::size_t tagPosition) {
    if (tagPosition >= RequestOfTag_.size()) return;
    const std::int32_t request = RequestOfTag_[tagPosition];
    if (request >= 0) {
        PollList_[static_cast<std::size_t>(request)]->ReplyHeld = false;
    } else if (request == SeveralRequests) {
        for (const RequestPtr& each : PollList_) each->ReplyHeld = false;
    }
}

// Only tags that may report are looked at: those with forced reports left and those whose value was
// assigned since. A due tag whose value equals what the host saw leaves the set until its value is
// assigned again, which is what keeps a call cheap however many tags are registered.
void TBaseDLLObject::CollectReports(ReportSink& sink) {
    const std::uint32_t now = Clock_.TickMs();
    ReportCandidates_.ForEach([&](std::size_t position) {
        TagItem& tag = *TagList_[position];
        if (now - tag.LastReportTick <= tag.ScanInterval) return; // not due: looked at again next time
        bool report = true;
        if (tag.Countdown >= 0) {
            --tag.Countdown;
        } else {
            report = tag.Value.Differs(tag.LastValue);
        }
        if (report) {
            tag.LastValue = tag.Value;
            tag.LastReportTick = now;
            sink.Report(tag);
            tag.ChangeFlag = 0;
        }
        if (tag.Countdown < 0) ReportCandidates_.Reset(position);
    });
}

} // namespace korax::framework
