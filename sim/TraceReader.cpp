#include "sim/TraceReader.h"

#include <charconv>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace korax::sim {

namespace {

constexpr std::string_view HexPrefix = "0x";
constexpr std::size_t PortDigits = 4;
constexpr std::size_t ValueDigits = 2;
constexpr char ThreadPrefix = 'T';
constexpr char DecodedMark = ';';

struct KindLetter {
    char Letter;
    TraceKind Kind;
};
constexpr KindLetter KindLetters[] = {
    {'W', TraceKind::Write},   {'R', TraceKind::Read},  {'D', TraceKind::Delay},
    {'Q', TraceKind::Request}, {'V', TraceKind::Value}, {'M', TraceKind::Message},
};

// The reading of one record line, word by word, failing with the line's number.
class LineReader {
public:
    LineReader(std::string_view line, std::int32_t number, const std::string& source)
        : rest_(line), number_(number), source_(source) {}

    [[noreturn]] void Fail(const std::string& reason) const { throw TraceError(source_, number_, reason); }

    // The next word; the single space after it is taken too.
    std::string_view Word(std::string_view what) {
        if (rest_.empty() || rest_.front() == ' ') Fail("missing " + std::string(what));
        const std::size_t end = rest_.find(' ');
        const std::string_view word = rest_.substr(0, end);
        rest_.remove_prefix(end == std::string_view::npos ? rest_.size() : end + 1);
        return word;
    }

    template <typename Number>
    Number Decimal(std::string_view word, std::string_view what) const {
        Number value = 0;
        const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
        if (word.empty() || error != std::errc() || end != word.data() + word.size())
            Fail(std::string(what) + " \"" + std::string(word) + "\" is not a decimal number");
        return value;
    }

    std::uint32_t Hex(std::string_view word, std::string_view what, std::size_t maxDigits) const {
        const std::string shown = std::string(what) + " \"" + std::string(word) + "\"";
        if (word.size() <= HexPrefix.size() || word.substr(0, HexPrefix.size()) != HexPrefix)
            Fail(shown + " is not 0x followed by hexadecimal digits");
        word.remove_prefix(HexPrefix.size());
        if (word.size() > maxDigits)
            Fail(shown + " has more than " + std::to_string(maxDigits) + " hexadecimal digits");
        std::uint32_t value = 0;
        const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value, 16);
        if (error != std::errc() || end != word.data() + word.size())
            Fail(shown + " is not 0x followed by hexadecimal digits");
        return value;
    }

    // After the fixed fields: nothing, blanks, or blanks and "; " with the decoded text.
    std::string Decoded() {
        const std::size_t start = rest_.find_first_not_of(' ');
        if (start == std::string_view::npos) return {};
        if (rest_[start] != DecodedMark)
            Fail("unexpected \"" + std::string(rest_.substr(start)) +
                 "\" after the fields (decoded text "
                 "follows \"  ; \")");
        std::string_view text = rest_.substr(start + 1);
        if (!text.empty() && text.front() == ' ') text.remove_prefix(1);
        return std::string(text);
    }

    // The rest of the line as the record's text, which must not be empty.
    std::string Text(std::string_view what) {
        if (rest_.empty()) Fail("missing " + std::string(what));
        return std::string(rest_);
    }

private:
    std::string_view rest_;
    std::int32_t number_;
    const std::string& source_;
};

std::string Where(const std::string& source, std::int32_t line) {
    return (source.empty() ? std::string() : source + " ") + "line " + std::to_string(line);
}

bool IsCommentOrBlank(std::string_view line) {
    const std::size_t first = line.find_first_not_of(" \t");
    return first == std::string_view::npos || line[first] == '#';
}

std::string PathText(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::string ReadWhole(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) throw TraceError(PathText(path), 0, "cannot be read");
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

} // namespace

TraceError::TraceError(const std::string& source, std::int32_t line, const std::string& reason)
    : std::runtime_error(line > 0 ? Where(source, line) + ": " + reason
                                  : (source.empty() ? reason : source + ": " + reason)),
      line_(line) {}

TraceRecord ParseTraceLine(std::string_view line, std::int32_t number, const std::string& source) {
    LineReader reader(line, number, source);
    TraceRecord record;
    record.Line = std::string(line);
    record.LineNumber = number;
    record.Us = reader.Decimal<std::uint64_t>(reader.Word("the time in microseconds"), "time");
    const std::string_view thread = reader.Word("the thread");
    if (thread.size() < 2 || thread.front() != ThreadPrefix)
        reader.Fail("thread \"" + std::string(thread) + "\" is not T followed by its id");
    record.Thread = reader.Decimal<std::uint64_t>(thread.substr(1), "thread id");
    const std::string_view kind = reader.Word("the record kind");
    const KindLetter* found = nullptr;
    for (const KindLetter& row : KindLetters) {
        if (kind.size() == 1 && kind.front() == row.Letter) found = &row;
    }
    if (found == nullptr)
        reader.Fail("unknown record kind \"" + std::string(kind) + "\" (W, R, D, Q, V or M)");
    record.Kind = found->Kind;
    switch (record.Kind) {
    case TraceKind::Write:
    case TraceKind::Read:
        record.Port = static_cast<std::uint16_t>(reader.Hex(reader.Word("the port"), "port", PortDigits));
        record.Value = static_cast<std::uint8_t>(reader.Hex(reader.Word("the value"), "value", ValueDigits));
        record.Decoded = reader.Decoded();
        break;
    case TraceKind::Delay:
        record.Units = reader.Decimal<std::uint32_t>(reader.Word("the delay units"), "delay units");
        record.Decoded = reader.Decoded();
        break;
    case TraceKind::Request:
        record.Text = reader.Text("the request's text");
        break;
    case TraceKind::Value:
        record.Text = reader.Text("the tag's value");
        if (record.Text.find('=') == std::string::npos || record.Text.front() == '=')
            reader.Fail("\"" + record.Text + "\" is not <tag name>=<value>");
        break;
    case TraceKind::Message:
        record.Text = reader.Text("the message");
        break;
    }
    return record;
}

void ReadTraceSegment(std::string_view text, const std::string& source, Trace& trace) {
    const std::size_t segment = trace.Sources.size();
    trace.Sources.push_back(source);
    std::int32_t number = 0;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const bool terminated = end != std::string_view::npos;
        std::string_view line = text.substr(0, end);
        text.remove_prefix(terminated ? end + 1 : text.size());
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        ++number;
        if (number == 1) {
            if (line != TraceHeader) {
                if (line.rfind("# korax24 trace ", 0) == 0)
                    throw TraceError(source, 1,
                                     "format \"" + std::string(line) + "\"; this reader knows \"" +
                                         std::string(TraceHeader) + "\"");
                throw TraceError(source, 1,
                                 "not a korax24 trace: it does not begin with \"" + std::string(TraceHeader) +
                                     "\"");
            }
            continue;
        }
        if (IsCommentOrBlank(line)) {
            if (segment == 0 && line.rfind(WrappedComment, 0) == 0) trace.BeginningLost = true;
            if (line.rfind(LostComment, 0) == 0) trace.RecordsLost = true;
            continue;
        }
        try {
            TraceRecord record = ParseTraceLine(line, number, source);
            record.Segment = segment;
            trace.Records.push_back(std::move(record));
        } catch (const TraceError&) {
            if (terminated) throw;
            trace.CutOff = true; // the writer was still at this line when the file was copied
        }
    }
    if (number == 0) throw TraceError(source, 0, "empty: not a korax24 trace");
}

Trace ReadTraceFiles(const std::filesystem::path& path) {
    Trace trace;
    std::filesystem::path older = path;
    older += ".1";
    std::error_code error;
    if (std::filesystem::is_regular_file(older, error))
        ReadTraceSegment(ReadWhole(older), PathText(older), trace);
    const std::string current = ReadWhole(path);
    // Just after the ring turned, the new segment may not hold its header yet.
    if (current.empty() && !trace.Sources.empty()) return trace;
    ReadTraceSegment(current, PathText(path), trace);
    return trace;
}

std::string PortAccessFields(TraceKind kind, std::uint16_t port, std::uint8_t value) {
    char text[32];
    std::snprintf(text, sizeof text, "%c 0x%04X 0x%02X", kind == TraceKind::Write ? 'W' : 'R',
                  static_cast<unsigned>(port), static_cast<unsigned>(value));
    return text;
}

} // namespace korax::sim
