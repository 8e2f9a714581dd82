// The scan cycle, change detection and link supervision of the driver object, driven step by step with
// a clock the test moves by hand and a board stand-in that answers or stays silent on request.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "config/DevicePDB.h"
#include "framework/DLLBase.h"
#include "platform/Event.h"
#include "support/FakeClock.h"
#include "support/TagDefinitions.h"

#if defined(_WIN32)
#include <windows.h>
#endif

using namespace korax::framework;
using korax::test::Definitions;
using korax::test::FakeClock;

namespace {

// Answers every request at once, or never, as the test says.
class Board : public TBaseDLLObject {
public:
    using TBaseDLLObject::TBaseDLLObject;
    void SendRequest(PollRequest& request) override {
        ReplyReady_ = answers;
        sent.push_back(request.TypeName + (request.WriteFlag ? "!" : ""));
        TBaseDLLObject::SendRequest(request);
    }
    // What FinishRequest left in the request it completed, seen as it moves on.
    void NextRequest() override {
        if (CurrentRequest_ != nullptr) finished.push_back({CurrentRequest_, CurrentRequest_->Countdown});
        TBaseDLLObject::NextRequest();
    }
    // The state a board class would reach after reading its ports.
    void Deliver(std::uint32_t tagId, Value value) { SetTagValue(*FindTag(tagId), std::move(value)); }
    PollRequest& Current() { return *CurrentRequest_; }
    std::uint32_t CycleStart() const { return CycleStartTick_; }

    bool answers = true;
    std::vector<std::string> sent;
    std::vector<std::pair<const PollRequest*, std::int32_t>> finished;
};

struct Report {
    std::uint32_t TagId;
    std::string Value;
    bool operator==(const Report&) const = default;
};

class Collector : public TBaseDLLObject::ReportSink {
public:
    void Report(const TagItem& tag) override { reports.push_back({tag.TagId, tag.Value.ToText()}); }
    std::vector<::Report> reports;
};

std::vector<Report> Step(TBaseDLLObject& object) {
    object.ScanStep();
    Collector collector;
    object.CollectReports(collector);
    return collector.reports;
}

class ScanCycle : public ::testing::Test {
protected:
    ScanCycle() { korax::config::FillDefaultPDB(block); } // a KRX-A100 in slot 0

    bool Start(Definitions& definitions) { return board.Initialise(&block, definitions.List()); }

    FakeClock clock;
    korax::config::DevicePDB block{};
    Board board{clock, true};
};

TEST_F(ScanCycle, RequestsThatKeepTimingOutAreBackedOffThroughTheirQuality) {
    Definitions tags;
    tags.Add(1, "AD0", 100).Add(2, "AD1", 200);
    board.answers = false;
    ASSERT_TRUE(Start(tags));
    const PollRequest& first = *board.PollList()[0];
    std::vector<std::int32_t> countdowns; // what each completion of the first request left
    while (countdowns.size() < 2) {
        clock.Advance(51);
        board.ScanStep();
        if (board.finished.empty() || board.finished.back().first != &first) continue;
        countdowns.push_back(board.finished.back().second);
        if (countdowns.size() == 1) {
            EXPECT_FLOAT_EQ(first.Quality, 0.5f);
        }
    }
    EXPECT_FLOAT_EQ(first.Quality, 0.25f);
    EXPECT_EQ(countdowns[0], first.Weight) << "a quality of one half still counts as good";
    EXPECT_EQ(countdowns[1], 4 * first.Weight);
    EXPECT_EQ(board.FailCount(), board.CycleCount()) << "every step was a time-out";
}

TEST_F(ScanCycle, AReplyRaisesQualityHalfWayAndTheNextRequestIsSentInTheSameStep) {
    Definitions tags;
    tags.Add(1, "AD0", 100).Add(2, "AD1", 100);
    ASSERT_TRUE(Start(tags));
    ASSERT_EQ(board.sent.size(), 1u) << "scanning starts by sending the first request";
    board.Current().Quality = 0.5f;
    PollRequest& first = board.Current();
    EXPECT_TRUE(board.ScanStep());
    EXPECT_FLOAT_EQ(first.Quality, 0.75f);
    EXPECT_EQ(board.sent.size(), 2u);
    EXPECT_EQ(board.CycleCount(), 1);
    EXPECT_EQ(board.ConsecutiveFails(), 0);
}

TEST_F(ScanCycle, PendingWritesAreServedBeforePollingResumesAndReleasedAfterwards) {
    Definitions tags;
    tags.Add(1, "AD0", 100).Add(2, "DA0", 100).Typed(0);
    ASSERT_TRUE(Start(tags));
    EXPECT_TRUE(board.WriteTag(2, Value::Real(5.0)));
    EXPECT_FALSE(board.WriteTag(2, Value::Boolean(true))) << "a Boolean is no value for a real tag";
    EXPECT_FALSE(board.WriteTag(1, Value::Real(1.0))) << "AD is read-only";
    EXPECT_FALSE(board.WriteTag(99, Value::Real(1.0)));
    ASSERT_NE(board.PendingQueue(), nullptr);
    board.sent.clear();
    board.ScanStep();
    ASSERT_EQ(board.sent, (std::vector<std::string>{"DA!"}));
    EXPECT_EQ(board.PendingQueue(), nullptr);
    board.ScanStep();
    EXPECT_EQ(board.sent.size(), 2u);
    EXPECT_EQ(board.sent.back(), "AD") << "polling resumes once the one-off request completed";
    EXPECT_EQ(board.ReadTag(1), 0);
    EXPECT_EQ(board.ReadTag(2), 0);
    EXPECT_EQ(board.ReadTag(99), 1);
}

TEST_F(ScanCycle, AWriteIsSentEvenWhenNothingIsPolled) {
    Definitions tags;
    tags.Add(1, "CountTarget0", 100).Typed(0);
    ASSERT_TRUE(Start(tags));
    ASSERT_TRUE(board.PollList().empty());
    ASSERT_TRUE(board.WriteTag(1, Value::Real(7)));
    board.ScanStep();
    EXPECT_EQ(board.sent, (std::vector<std::string>{"COUNTTARGET!"}));
    clock.Advance(60);
    EXPECT_TRUE(board.ScanStep()) << "its reply is accounted in the next step, not a time-out";
    EXPECT_EQ(board.FailCount(), 0);
}

TEST_F(ScanCycle, AConstantTagIsReportedSixTimesThenOnlyWhenItChanges) {
    Definitions tags;
    tags.Add(1, "AD0", 1000);
    ASSERT_TRUE(Start(tags));
    std::vector<std::uint32_t> reportTicks;
    for (int i = 0; i < 1000; ++i) {
        clock.Advance(10);
        if (!Step(board).empty()) reportTicks.push_back(clock.tick);
    }
    ASSERT_EQ(reportTicks.size(), 6u);
    for (std::size_t i = 1; i < reportTicks.size(); ++i)
        EXPECT_EQ(reportTicks[i] - reportTicks[i - 1], 1010u);
    board.Deliver(1, Value::Integer(4095));
    clock.Advance(10);
    EXPECT_EQ(Step(board), (std::vector<Report>{{1, "4095"}}));
    clock.Advance(2000);
    EXPECT_TRUE(Step(board).empty());
}

TEST_F(ScanCycle, DueTagsAreReportedBeforeAnyRequestCompletes) {
    Definitions tags;
    tags.Add(1, "AD0", 0).Add(2, "DA0", 0);
    ASSERT_TRUE(Start(tags));
    board.answers = false;
    clock.Advance(1);
    EXPECT_EQ(Step(board), (std::vector<Report>{{1, "0"}, {2, "0"}}));
}

TEST_F(ScanCycle, AWrittenValueIsReportedAtTheNextDueCall) {
    Definitions tags;
    tags.Add(1, "DA0", 100);
    ASSERT_TRUE(Start(tags));
    for (int i = 0; i < 6; ++i) {
        clock.Advance(101);
        Step(board);
    }
    clock.Advance(101);
    EXPECT_TRUE(Step(board).empty());
    ASSERT_TRUE(board.WriteTag(1, Value::Real(5.0)));
    // Still due since its last report, so the very next call shows the new value.
    EXPECT_EQ(Step(board), (std::vector<Report>{{1, "5"}}));
    EXPECT_TRUE(Step(board).empty());
}

TEST_F(ScanCycle, SpecialTagsShowAndSwitchTheirStates) {
    Definitions tags;
    tags.Add(1, "AD0", 100)
        .Add(2, "COMMLINK", 0)
        .Typed(1)
        .Add(3, "ENLOG", 0)
        .Typed(0)
        .Add(4, "ENCOMMLINK", 0)
        .Typed(2);
    ASSERT_TRUE(Start(tags));
    EXPECT_TRUE(board.EnLog()) << "registering ENLOG turns logging on";
    board.ScanStep();
    EXPECT_EQ(board.FindTag(4)->Value.ToText(), "通信线路正常");

    EXPECT_TRUE(board.WriteTag(2, Value::Boolean(false)));
    EXPECT_FALSE(board.CommLinkState());
    EXPECT_FALSE(board.FindTag(2)->Value.ToBool());
    EXPECT_EQ(board.PendingQueue(), nullptr) << "special tags queue no request";
    board.ScanStep();
    EXPECT_TRUE(board.CommLinkState()) << "the next reply sets the link state back";
    EXPECT_TRUE(board.FindTag(2)->Value.ToBool());

    EXPECT_TRUE(board.WriteTag(3, Value::Real(0.0)));
    EXPECT_FALSE(board.EnLog());
    EXPECT_TRUE(board.WriteTag(3, Value::Real(2.5)));
    EXPECT_TRUE(board.EnLog());
    EXPECT_EQ(board.FindTag(3)->Value.ToDouble(), 1.0);
    EXPECT_TRUE(board.WriteTag(3, Value::Text("0")));
    EXPECT_TRUE(board.EnLog()) << "a text leaves the state alone";
}

// The alarm event the host hands over: a Win32 event handle, or the platform event elsewhere.
class HostEvent {
public:
#if defined(_WIN32)
    HostEvent() : handle_(CreateEventA(nullptr, FALSE, FALSE, nullptr)) {}
    ~HostEvent() {
        CloseHandle(handle_);
    }
    void* Handle() {
        return handle_;
    }
    bool Signalled() {
        return WaitForSingleObject(handle_, 0) == WAIT_OBJECT_0;
    }

private:
    HANDLE handle_;
#else
    void* Handle() {
        return event_.get();
    }
    bool Signalled() {
        return event_->Wait(0);
    }

private:
    std::unique_ptr<korax::platform::Event> event_ = korax::platform::Event::CreateAutoReset(false);
#endif
};

TEST_F(ScanCycle, ElevenTimeoutsInARowRaiseTheAlarmAndAReplyEndsTheRun) {
    Definitions tags;
    tags.Add(1, "AD0", 100);
    board.answers = false;
    ASSERT_TRUE(Start(tags));
    HostEvent alarm;
    board.SetAlarmEvent(alarm.Handle());
    for (int i = 1; i <= 12; ++i) {
        clock.Advance(51);
        board.ScanStep();
        EXPECT_EQ(board.sErrEvent(),
                  (i <= 10 ? "通讯超时错，期待设备应答" : "严重故障：连续通讯失败，请检查线路和设备"))
            << i;
        EXPECT_EQ(alarm.Signalled(), i >= 11) << i;
    }
    EXPECT_EQ(board.ConsecutiveFails(), 12);
    board.answers = true;
    clock.Advance(51);
    board.ScanStep(); // the silent request times out once more and the next one is answered
    board.ScanStep();
    EXPECT_EQ(board.ConsecutiveFails(), 0);
    EXPECT_EQ(board.FailCount(), 13);
}

TEST_F(ScanCycle, TheFirstStatisticsLineShowsAFullFailureRate) {
    Definitions tags;
    tags.Add(1, "AD0", 100);
    clock.now = 45000.123456789;
    ASSERT_TRUE(Start(tags));
    board.ScanStep();
    const std::string line = board.DevMsg();
    const std::string rate = std::string("通讯失败率=100%");
    const std::string fails = std::string("连续通讯超时错误计数=0");
    const std::string reset = std::string("上一次系统通信复位的时间=45000.123456789");
    const auto pad = [](const std::string& s) { return std::string(32 - s.size(), ' ') + s; };
    EXPECT_EQ(line, korax::platform::FormatDateTime(clock.now) + " " + pad(rate) + " " + pad(fails) + " " +
                        std::string(reset) + " \r\n")
        << "fields right-aligned in 32 bytes; a longer one is not cut";
    ASSERT_GT(reset.size(), 32u);
}

// The plain loop over the whole tag table that the change detection must match.
std::vector<Report> ReferenceReports(TBaseDLLObject& object, std::uint32_t now) {
    std::vector<Report> reports;
    for (const TagPtr& tag : object.TagList()) {
        if (now - tag->LastReportTick <= tag->ScanInterval) continue;
        bool report = true;
        if (tag->Countdown >= 0) {
            --tag->Countdown;
        } else {
            report = tag->Value.Differs(tag->LastValue);
        }
        if (!report) continue;
        tag->LastValue = tag->Value;
        tag->LastReportTick = now;
        reports.push_back({tag->TagId, tag->Value.ToText()});
    }
    return reports;
}

TEST_F(ScanCycle, ChangeDetectionReportsWhatAFullTableWalkWould) {
    std::mt19937 random(20261207);
    for (int round = 0; round < 20; ++round) {
        Definitions tags;
        const int count = std::uniform_int_distribution<int>(1, 300)(random);
        std::uniform_int_distribution<std::uint32_t> interval(0, 600);
        for (int id = 0; id < count; ++id) tags.Add(static_cast<std::uint32_t>(id), "DA0", interval(random));
        FakeClock otherClock = clock;
        Board fast(clock, true);
        Board plain(otherClock, true);
        ASSERT_TRUE(fast.Initialise(&block, tags.List()));
        ASSERT_TRUE(plain.Initialise(&block, tags.List()));
        for (int call = 0; call < 200; ++call) {
            const int changes = std::uniform_int_distribution<int>(0, 5)(random);
            for (int c = 0; c < changes; ++c) {
                const auto id = std::uniform_int_distribution<std::uint32_t>(0, count - 1)(random);
                const Value value = Value::Integer(std::uniform_int_distribution<int>(0, 3)(random));
                fast.Deliver(id, value);
                plain.Deliver(id, value);
            }
            const std::uint32_t step = std::uniform_int_distribution<std::uint32_t>(0, 400)(random);
            clock.Advance(step);
            otherClock.Advance(step);
            Collector collector;
            fast.CollectReports(collector);
            ASSERT_EQ(collector.reports, ReferenceReports(plain, otherClock.tick)) << round << "/" << call;
        }
    }
}

// The selection takes whole rounds at once while every request would only be counted down; what it
// picks, what it leaves in the countdowns and whether a poll cycle ended must be what counting down one
// request at a time gives.
TEST_F(ScanCycle, SelectionMatchesCountingDownOneRequestAtATime) {
    std::mt19937 random(20261208);
    const auto pick = [&](int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(random);
    };
    for (int round = 0; round < 100; ++round) {
        Definitions tags;
        const int count = pick(1, 12);
        for (int id = 0; id < count; ++id) tags.Add(id, "DA0", static_cast<std::uint32_t>(pick(1, 400)));
        Board board(clock, true);
        ASSERT_TRUE(board.Initialise(&block, tags.List()));
        const auto& list = board.PollList();
        std::vector<std::int32_t> countdowns;
        for (const RequestPtr& request : list) countdowns.push_back(request->Countdown = pick(0, 40));
        std::int32_t index = board.RequestIndex();
        for (int call = 0; call < 20; ++call) {
            bool firstPass = true, passedFastest = false;
            do {
                index = (index + 1) % count;
                passedFastest = passedFastest || index == board.FastestRequest();
                if (firstPass || countdowns[index] < 2) {
                    if (--countdowns[index] <= 1) firstPass = false;
                }
            } while (countdowns[index] > 0);
            clock.Advance(1);
            board.NextRequest();
            ASSERT_EQ(board.RequestIndex(), index) << round << "/" << call;
            for (int i = 0; i < count; ++i)
                ASSERT_EQ(list[i]->Countdown, countdowns[i]) << round << "/" << call;
            ASSERT_EQ(board.CycleStart() == clock.tick, passedFastest) << round << "/" << call;
            // Served: it waits its weight again, as a completed request does.
            list[index]->Countdown = countdowns[index] = pick(1, 40);
        }
    }
}

TEST_F(ScanCycle, TickWrapAroundKeepsTagsDue) {
    clock.tick = 0xFFFFFF00u;
    Definitions tags;
    tags.Add(1, "AD0", 100);
    ASSERT_TRUE(Start(tags));
    clock.Advance(0x200); // past 2^32
    EXPECT_EQ(Step(board).size(), 1u);
}

// The reply time-out is exceeded only past 50 ms: a reply due at exactly 50 ms is still awaited.
TEST_F(ScanCycle, TimeoutStartsPastFiftyMilliseconds) {
    Definitions tags;
    tags.Add(1, "AD0", 100);
    board.answers = false;
    ASSERT_TRUE(Start(tags));
    clock.Advance(50);
    EXPECT_FALSE(board.ScanStep());
    EXPECT_EQ(board.FailCount(), 0);
    EXPECT_EQ(board.sErrEvent(), "");
    EXPECT_EQ(board.ElapsedMs(), 50);
    clock.Advance(1);
    board.ScanStep();
    EXPECT_EQ(board.FailCount(), 1);
    EXPECT_EQ(board.sErrEvent(), "通讯超时错，期待设备应答");
}

// Every time-out halves the quality and the next completion waits Weight / Quality selections, at most
// 100 x Weight: the quality never counts below 0.01.
TEST_F(ScanCycle, BackOffStopsAtAHundredTimesTheWeight) {
    Definitions tags;
    tags.Add(1, "AD0", 100).Add(2, "AD1", 200);
    board.answers = false;
    ASSERT_TRUE(Start(tags));
    const PollRequest& slow = *board.PollList()[1];
    ASSERT_EQ(slow.Weight, 2);
    std::vector<std::int32_t> countdowns;
    for (int i = 0; i < 2000 && countdowns.size() < 8; ++i) {
        clock.Advance(51);
        board.finished.clear();
        board.ScanStep();
        if (!board.finished.empty() && board.finished.back().first == &slow)
            countdowns.push_back(board.finished.back().second);
    }
    EXPECT_EQ(countdowns, (std::vector<std::int32_t>{2, 8, 16, 32, 64, 128, 200, 200}));
}

// Weights 1, 2 and 4: the fast request runs most, the slow ones are skipped by their countdowns.
TEST_F(ScanCycle, NextRequestFollowsTheWeights) {
    Definitions tags;
    tags.Add(1, "AD0", 100).Add(2, "AD1", 200).Add(3, "AD2", 400);
    ASSERT_TRUE(Start(tags));
    std::vector<std::int32_t> order;
    for (int i = 0; i < 10; ++i) {
        board.ScanStep();
        order.push_back(board.RequestIndex());
    }
    EXPECT_EQ(order, (std::vector<std::int32_t>{0, 0, 1, 0, 2, 0, 1, 0, 0, 1}));
}

TEST_F(ScanCycle, OfEqualIntervalsTheFirstRequestIsTheFastest) {
    Definitions tags;
    tags.Add(1, "AD0", 100).Add(2, "AD1", 100).Add(3, "AD2", 100);
    ASSERT_TRUE(Start(tags));
    EXPECT_EQ(board.FastestRequest(), 0);
}

// One request: every selection passes the fastest, so every step ends a poll cycle.
TEST_F(ScanCycle, PollCycleStatisticsKeepLastMinMaxAndRunningMean) {
    Definitions tags;
    tags.Add(1, "AD0", 100);
    ASSERT_TRUE(Start(tags));
    const struct {
        std::uint32_t ms;
        double min, max, mean;
    } cycles[] = {
        {10, 10, 10, 10}, {30, 10, 30, 30}, {20, 10, 30, 20}, {40, 10, 40, 30}, {25, 10, 40, 85.0 / 3}};
    for (const auto& c : cycles) {
        SCOPED_TRACE(c.ms);
        clock.Advance(c.ms);
        board.ScanStep();
        EXPECT_EQ(board.LastCycleMs(), static_cast<std::int32_t>(c.ms));
        EXPECT_DOUBLE_EQ(board.MinCycleMs(), c.min);
        EXPECT_DOUBLE_EQ(board.MaxCycleMs(), c.max);
        EXPECT_DOUBLE_EQ(board.AvgCycleMs(), c.mean);
    }
}

TEST_F(ScanCycle, StatisticsLineShowsPartialFailureRatesAndTheRunOfTimeouts) {
    Definitions tags;
    tags.Add(1, "AD0", 100);
    clock.now = 45000.5;
    ASSERT_TRUE(Start(tags));
    board.answers = false;
    board.ScanStep(); // the first request answered: 100% while nothing was counted yet
    const struct {
        const char* rate;
        const char* run;
    } lines[] = {{"0", "1"}, {"50", "2"}, {"66.6666666666667", "3"}};
    for (const auto& line : lines) {
        clock.Advance(51);
        board.ScanStep();
        const std::string rate = std::string("通讯失败率=") + line.rate + "%";
        const std::string run = std::string("连续通讯超时错误计数=") + line.run;
        const auto pad = [](const std::string& s) { return std::string(32 - s.size(), ' ') + s; };
        EXPECT_EQ(board.DevMsg(), korax::platform::FormatDateTime(clock.now) + " " + pad(rate) + " " +
                                      pad(run) + " 上一次系统通信复位的时间=45000.5 \r\n");
    }
}

// A write waits in state 1 until a step passes without its reply, then counts as sent (2).
TEST_F(ScanCycle, AWriteWithoutReplyMovesFromStateOneToTwo) {
    Definitions tags;
    tags.Add(1, "DA0", 100);
    ASSERT_TRUE(Start(tags));
    board.answers = false;
    ASSERT_TRUE(board.WriteTag(1, Value::Real(1)));
    EXPECT_EQ(board.PendingQueue()->State, 1);
    board.ScanStep(); // the polled request completes; the write is sent and not answered
    ASSERT_EQ(board.sent.back(), "DA!");
    EXPECT_EQ(board.Current().State, 1);
    board.ScanStep();
    EXPECT_EQ(board.Current().State, 2);
}

// Link states shown by string tags, both ways, and the link enable switched off and on again: while it
// is off a send records no tick, so the time since the last recorded send keeps growing.
TEST_F(ScanCycle, SpecialTagTextsAndTheLinkEnableSwitchedBack) {
    Definitions tags;
    tags.Add(1, "AD0", 100)
        .Add(2, "ENLOG", 0)
        .Typed(2)
        .Add(3, "COMMLINK", 0)
        .Typed(2)
        .Add(4, "ENCOMMLINK", 0)
        .Typed(1);
    ASSERT_TRUE(Start(tags));
    board.answers = false;
    board.ScanStep(); // answered; the next request goes out unanswered
    EXPECT_EQ(board.FindTag(2)->Value.ToText(), "允许写日志");
    EXPECT_EQ(board.FindTag(3)->Value.ToText(), "通信线路正常");
    ASSERT_TRUE(board.WriteTag(2, Value::Boolean(false)));
    ASSERT_TRUE(board.WriteTag(3, Value::Boolean(false)));
    ASSERT_TRUE(board.WriteTag(4, Value::Boolean(false)));
    EXPECT_FALSE(board.FindTag(4)->Value.ToBool());
    clock.Advance(51);
    board.ScanStep(); // a time-out: no reply sets the link back
    EXPECT_EQ(board.FindTag(2)->Value.ToText(), "禁止写日志");
    EXPECT_EQ(board.FindTag(3)->Value.ToText(), "通信线路故障");
    clock.Advance(10);
    board.ScanStep();
    EXPECT_EQ(board.FailCount(), 2) << "10 ms after the last send, but 61 after the last one recorded";
    ASSERT_TRUE(board.WriteTag(4, Value::Boolean(true)));
    EXPECT_TRUE(board.EnCommLinkState());
    EXPECT_TRUE(board.FindTag(4)->Value.ToBool());
    board.ScanStep(); // still counted from the old send, then sent with its tick recorded
    clock.Advance(10);
    board.ScanStep();
    EXPECT_EQ(board.ElapsedMs(), 10);
    EXPECT_EQ(board.FailCount(), 3);
}

} // namespace
