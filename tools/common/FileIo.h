#pragma once
// Files of the tools: whole-file reads, and writes that either replace a file completely or leave it as it
// was, so a failed command never leaves a half-written parameter block behind.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace korax::tools {

// A path given as UTF-8 text (what the tools' command lines and files carry on every platform).
std::filesystem::path PathFromUtf8(std::string_view utf8);

// The whole file; nothing, with the reason in `error`, when it cannot be read.
std::optional<std::vector<std::uint8_t>> ReadFileBytes(std::string_view path, std::string& error);
std::optional<std::string> ReadTextFile(std::string_view path, std::string& error);

// Writes a sibling temporary file and renames it over the target. On any failure the target is left
// untouched, the temporary file is removed and `error` says why.
bool WriteWholeFile(std::string_view path, std::span<const std::uint8_t> bytes, std::string& error);
bool WriteWholeFile(std::string_view path, std::string_view text, std::string& error);

bool FileExists(std::string_view path);

} // namespace korax::tools
