#pragma once
// The versions --version prints: the tool's own, built in, and a driver library's, read from the version
// resource in its file (Windows only: a native library carries none).
#include <string>
#include <string_view>

#include "common/Result.h"

namespace korax::tools {

// "<tool> <version>" and the product version and commit, one per line, without a final line end.
std::string ToolVersionText(std::string_view tool);

// The version resource of the library file at `path` (found as LoadLibrary finds a bare name), in the
// form of ToolVersionText, or why it cannot be read.
Result<std::string> LibraryVersionText(const std::string& path);

} // namespace korax::tools
