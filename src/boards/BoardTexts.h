#pragma once
#include <array>
#include <string_view>

// Fixed texts of the board layer (GBK at run time).
namespace korax::boards::texts {

inline constexpr std::string_view PortLibraryName = "ControXIO.DLL";
inline constexpr std::string_view OutPortEntry = "out_port";
inline constexpr std::string_view InPortEntry = "in_port";

// The moment, then these two.
inline constexpr std::string_view PortLibraryPrefix = "：端口操作驱动库";
inline constexpr std::string_view PortLibraryMissing = "没有找到，请重新安装驱动程序";
inline constexpr std::string_view OutPortMissing = "端口操作驱动库内部出错，out_port函数不存在";
inline constexpr std::string_view InPortMissing = "端口操作驱动库内部出错，in_port函数不存在";
// Where the system refuses direct port access: the moment, the prefix above, this, then the board (its
// station and model), its ports and the system's reason.
inline constexpr std::string_view PortAccessRefused = "无法取得I/O端口访问权限：";
inline constexpr std::string_view RefusedBoard = "板卡";
inline constexpr std::string_view RefusedModelOpen = "（";
inline constexpr std::string_view RefusedModelClose = "）";
inline constexpr std::string_view RefusedPorts = "，端口";
inline constexpr std::string_view RefusedReason = "：";

// What a text-typed bit tag shows.
inline constexpr std::string_view BitSet = "开";
inline constexpr std::string_view BitClear = "关";

// Decoded port accesses of a trace: "board 0 KRX-A100 0x226 <- 0x05: AD channel select = 5". '#' in a
// label stands for the register's index (the port group or the channel).
inline constexpr std::string_view DecodeBoard = "board ";
inline constexpr std::string_view DecodeWritten = " <- ";
inline constexpr std::string_view DecodeRead = " -> ";
inline constexpr std::string_view DecodeMeaning = ": ";
inline constexpr std::string_view DecodeEquals = " = ";
inline constexpr std::string_view NoRegisterWritten = "no register takes a write here";
inline constexpr std::string_view NoRegisterRead = "no register answers a read here";
inline constexpr std::string_view UnusedPortName = "Unused"; // a port inside a board's range no register uses
inline constexpr std::string_view DiByteLabel = "DI byte #";
inline constexpr std::string_view DoByteLabel = "DO byte #";
inline constexpr std::string_view AdLowLabel = "AD low byte";
inline constexpr std::string_view AdStatusLabel = "AD status";
inline constexpr std::string_view AdNotReady = ", not ready";
inline constexpr std::string_view AdReady = ", ready, high nibble = ";
inline constexpr std::string_view AdGainLabel = "AD gain code";
inline constexpr std::string_view AdChannelLabel = "AD channel select";
inline constexpr std::string_view AdModeLabel = "AD mode";
inline constexpr std::string_view AdStartLabel = "AD start conversion";
inline constexpr std::string_view DaLowLabel = "DA channel # low byte";
inline constexpr std::string_view DaHighLabel = "DA channel # high byte";
inline constexpr std::string_view CounterDataLabel = "counter # data";
// The counter control byte: "counter 1 control: low then high byte, mode 0, binary".
inline constexpr std::string_view CounterLabel = "counter ";
inline constexpr std::string_view CounterControlLabel = " control: ";
inline constexpr std::string_view CounterReadBackLabel = "counter read-back command";
inline constexpr std::array<std::string_view, 4> CounterAccess = {"latch count", "low byte only",
                                                                  "high byte only", "low then high byte"};
inline constexpr std::string_view CounterModeLabel = ", mode ";
inline constexpr std::string_view CounterBinary = ", binary";
inline constexpr std::string_view CounterBcd = ", BCD";

// The port trace. Its settings file: found beside the driver library, or where the variable says.
inline constexpr std::string_view TraceSettingsFile = "korax24.ini";
inline constexpr const char* TraceSettingsVariable = "KORAX24_INI";
inline constexpr std::string_view TraceSection = "trace";
inline constexpr std::string_view TraceFileKey = "file";
inline constexpr std::string_view TraceRecordKey = "record";
inline constexpr std::string_view TraceSizeKey = "size";
inline constexpr std::string_view TraceEnabledKey = "enabled";
inline constexpr std::string_view TraceRecordPorts = "ports";
inline constexpr std::string_view TraceRecordRequests = "requests";
inline constexpr std::string_view TraceRecordMessages = "messages";
inline constexpr std::string_view DefaultTraceFile = "korax24.trace";
// Lines of the trace file.
inline constexpr std::string_view TraceFormatLine = "# korax24 trace 1\r\n";
inline constexpr std::string_view TraceStarted = "# started ";
inline constexpr std::string_view TraceSettingsLine = "# settings: ";
inline constexpr std::string_view TraceWrapped = "# wrapped\r\n";
inline constexpr std::string_view TraceLost = "# lost ";
inline constexpr std::string_view TraceLostWhy = " records: the trace fell behind the driver\r\n";
inline constexpr std::string_view TraceDecoded = "  ; ";
// What a request serves: "board 0 AD ch 3: AD3, Temp"; a write adds the value written.
inline constexpr std::string_view ServedChannel = " ch ";
inline constexpr std::string_view ServedWrite = " write ";
inline constexpr std::string_view ServedMore = ", +";
inline constexpr std::string_view ServedMoreTags = " more";
// The moment, then these two around the trace file's path: the trace is given up, the driver goes on.
inline constexpr std::string_view TraceFilePrefix = "：端口跟踪文件";
inline constexpr std::string_view TraceFileUnwritable = "无法写入，已停止跟踪";

} // namespace korax::boards::texts
