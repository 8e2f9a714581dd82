// Link supervision of the driver object: replies and time-outs of the scan step, the alarm event, the
// special tags ENLOG, COMMLINK and ENCOMMLINK, and the statistics line.
#include <cstdio>

#include "framework/DLLBase.h"
#include "framework/FrameworkTexts.h"
#include "platform/Event.h"

namespace korax::framework {

namespace {

constexpr std::int32_t ReplyTimeoutMs = 50;
constexpr double SeriousFailCount = 10; // more time-outs in a row than this raise the alarm
constexpr int StatisticsFieldWidth = 32;

// The state a special tag stands for, with the texts a text-typed tag shows for it.
struct SpecialState {
    std::string_view Keyword;
    bool (TBaseDLLObject::*Get)() const;
    void (TBaseDLLObject::*Set)(bool);
    std::string_view WhenTrue;
    std::string_view WhenFalse;
};

// In the order a written keyword is compared.
constexpr SpecialState SpecialStates[] = {
    {texts::KeywordEnLog, &TBaseDLLObject::EnLog, &TBaseDLLObject::SetEnLog, texts::LogAllowed,
     texts::LogForbidden},
    {texts::KeywordCommLink, &TBaseDLLObject::CommLinkState, &TBaseDLLObject::SetCommLink, texts::LinkNormal,
     texts::LinkFault},
    {texts::KeywordEnCommLink, &TBaseDLLObject::EnCommLinkState, &TBaseDLLObject::SetEnCommLink,
     texts::LinkNormal, texts::LinkFault},
};

const SpecialState* StateOf(const TagItem& tag) {
    for (const SpecialState& state : SpecialStates) {
        if (tag.AddressStartsWith(state.Keyword)) return &state;
    }
    return nullptr;
}

// How a special tag of the given data type shows a state.
Value Shown(const SpecialState& special, bool state, std::uint8_t dataType) {
    switch (static_cast<DataType>(dataType)) {
    case DataType::Real:
        return Value::Integer(state ? 1 : 0);
    case DataType::Boolean:
        return Value::Boolean(state);
    case DataType::Text:
        return Value::Text(std::string(state ? special.WhenTrue : special.WhenFalse));
    }
    return {};
}

} // namespace

bool TBaseDLLObject::AccountReply() {
    PollRequest& current = *CurrentRequest_;
    bool replied = false;
    if (ReplyReady_) {
        ConsecutiveFails_ = 0;
        replied = true;
        SetCommLink(true);
        SetEnCommLink(true);
        ElapsedMs_ = 0;
        current.Quality = (current.Quality + 1.0f) / 2.0f;
    } else {
        ElapsedMs_ = static_cast<std::int32_t>(Clock_.TickMs() - SendTick_);
    }
    if (ElapsedMs_ > ReplyTimeoutMs) {
        ReplyReady_ = true;
        current.Quality = current.Quality / 2.0f;
        ++FailCount_;
        ++ConsecutiveFails_;
        SetsErrEvent(std::string(texts::Timeout));
        if (ConsecutiveFails_ > SeriousFailCount) {
            SetsErrEvent(std::string(texts::SeriousFault));
            if (AlarmEvent_ != nullptr) platform::SignalHostEvent(AlarmEvent_);
        }
    }
    return replied;
}

void TBaseDLLObject::RefreshSpecialTags() {
    for (const std::int32_t position : SpecialTags_) {
        TagItem& tag = *TagList_[position];
        const SpecialState* special = StateOf(tag);
        if (special == nullptr) continue;
        const bool state = (this->*special->Get)();
        // A tag that already shows its state is left as it is: assigning the same value again changes
        // nothing the host sees, and every scan step would otherwise make a new text.
        if (tag.DataType == static_cast<std::uint8_t>(DataType::Text) &&
            tag.Value.GetKind() == Value::Kind::Text &&
            tag.Value.TextView() == (state ? special->WhenTrue : special->WhenFalse))
            continue;
        Value shown = Shown(*special, state, tag.DataType);
        if (!tag.Value.SameAs(shown)) SetTagValue(tag, std::move(shown));
    }
}

void TBaseDLLObject::WriteSpecialTag(TagItem& tag, const Value& value) {
    const SpecialState* special = StateOf(tag);
    if (special == nullptr) return;
    bool state = (this->*special->Get)();
    if (value.GetKind() == Value::Kind::Real) {
        state = value.ToDouble() != 0.0;
    } else if (value.GetKind() == Value::Kind::Boolean) {
        state = value.ToBool();
    } // any other kind leaves the state as it is, but the tag still shows it
    (this->*special->Set)(state);
    // A text-typed tag keeps its text until the next refresh.
    if (tag.DataType != static_cast<std::uint8_t>(DataType::Text))
        SetTagValue(tag, Shown(*special, state, tag.DataType));
}

void TBaseDLLObject::WriteStatistics(double failureRate) {
    const std::string rate = std::string(texts::FailureRate) + FormatGeneral(failureRate * 100) + "%";
    const std::string fails = std::string(texts::ConsecutiveTimeouts) + FormatGeneral(ConsecutiveFails_);
    const std::string reset = std::string(texts::LastReset) + FormatGeneral(ResetTime_);
    // Widths count bytes (the texts are GBK); a longer field is not cut.
    std::string line = platform::FormatDateTime(Clock_.Now());
    for (const std::string* field : {&rate, &fails, &reset}) {
        line += ' ';
        if (field->size() < StatisticsFieldWidth) line.append(StatisticsFieldWidth - field->size(), ' ');
        line += *field;
    }
    line += " \r\n";
    SetDevMsg(std::move(line));
}

} // namespace korax::framework
