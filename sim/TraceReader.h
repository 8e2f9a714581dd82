#pragma once
// Reads the port trace the driver writes (korax24.ini, [trace]): a header line "# korax24 trace 1", then
// one record a line, "<us> T<thread> <kind> <fields...>[  ; <decoded text>]", with comments ('#') and
// blank lines between them, lines ending in CRLF or LF. The ring keeps two segments on disk, <file>.1
// (the older) and <file>; a whole trace is both in that order.
//
// Kinds: W 0xPPPP 0xVV (port write), R 0xPPPP 0xVV (port read and the byte it gave), D <units> (delay
// units), Q <text> (a request begins), V <tag>=<value> (a value a request gave a tag), M <text> (a message
// for the host). The decoded text after "  ; " is for people; nothing here needs it.
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace korax::sim {

enum class TraceKind : std::uint8_t { Write, Read, Delay, Request, Value, Message };

struct TraceRecord {
    std::uint64_t Us = 0;     // microseconds since the trace started
    std::uint64_t Thread = 0; // the writing thread's id
    TraceKind Kind = TraceKind::Write;
    std::uint16_t Port = 0;  // W, R
    std::uint8_t Value = 0;  // W, R
    std::uint32_t Units = 0; // D
    std::string Text;        // Q, V, M: the rest of the line (driver texts are GBK bytes)
    std::string Decoded;     // W, R, D: what follows "  ; ", if anything
    std::string Line;        // the line as it stands in the file, without its line end
    std::size_t Segment = 0; // index into Trace::Sources
    std::int32_t LineNumber = 0;

    bool IsPortAccess() const { return Kind == TraceKind::Write || Kind == TraceKind::Read; }
};

struct Trace {
    std::vector<std::string> Sources; // the segments read, oldest first (file names as given)
    std::vector<TraceRecord> Records;
    // The oldest segment read is not the first the writer made: the ring dropped the trace's beginning.
    bool BeginningLost = false;
    // A segment ended inside a line that could not be read (a file copied while it was being written); that
    // piece was left out.
    bool CutOff = false;
    // The writer fell behind the driver and left records out (it says so in a comment).
    bool RecordsLost = false;
};

// A line that could not be read; what() reads "<source> line N: reason" ("line N: reason" without one).
class TraceError : public std::runtime_error {
public:
    TraceError(const std::string& source, std::int32_t line, const std::string& reason);
    std::int32_t Line() const { return line_; }

private:
    std::int32_t line_;
};

// The header every segment begins with, and the comment the writer puts in a segment that is not the
// trace's first.
inline constexpr std::string_view TraceHeader = "# korax24 trace 1";
inline constexpr std::string_view WrappedComment = "# wrapped";
inline constexpr std::string_view LostComment = "# lost ";

// One segment's text; its records are appended to the trace, tagged with the source's index. Throws
// TraceError at the first line it cannot take.
void ReadTraceSegment(std::string_view text, const std::string& source, Trace& trace);

// One record line (not a comment or blank); throws TraceError naming the line number given.
TraceRecord ParseTraceLine(std::string_view line, std::int32_t number, const std::string& source = {});

// The whole trace at a path: <path>.1 when it exists, then <path>. Throws TraceError for a bad line and
// for a file that cannot be read.
Trace ReadTraceFiles(const std::filesystem::path& path);

// "W 0x0226 0x05", "R 0x0225 0x80": a port access as the trace writes its fields.
std::string PortAccessFields(TraceKind kind, std::uint16_t port, std::uint8_t value);

} // namespace korax::sim
