#pragma once
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

} // namespace korax::boards::texts
