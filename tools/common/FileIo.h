#pragma once
// Files of the tools: whole-file reads, and writes that either replace a file completely or leave it as it
// was, so a failed command never leaves a half-written parameter block behind.
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/Result.h"

namespace korax::tools {

// A path given as UTF-8 text (what the tools' command lines and files carry on every platform).
std::filesystem::path PathFromUtf8(std::string_view utf8);

// The whole file, or why it cannot be read.
Result<std::vector<std::uint8_t>> ReadFileBytes(std::string_view path);
Result<std::string> ReadTextFile(std::string_view path);

// Writes a sibling temporary file and renames it over the target. On any failure the target is left
// untouched, the temporary file is removed and the failure says why.
Status WriteWholeFile(std::string_view path, std::span<const std::uint8_t> bytes);
Status WriteWholeFile(std::string_view path, std::string_view text);

bool FileExists(std::string_view path);

} // namespace korax::tools
