#include "common/FileIo.h"

#include <atomic>
#include <fstream>
#include <iterator>
#include <system_error>

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace korax::tools {

namespace {

std::uint64_t ProcessId() {
#if defined(_WIN32)
    return GetCurrentProcessId();
#else
    return static_cast<std::uint64_t>(getpid());
#endif
}

// Renames over an existing file in one step.
Status RenameOver(const std::filesystem::path& from, const std::filesystem::path& to) {
#if defined(_WIN32)
    if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0) {
        return {};
    }
    return Failure{"cannot replace the file (Windows error " + std::to_string(GetLastError()) + ")"};
#else
    std::error_code code;
    std::filesystem::rename(from, to, code);
    if (!code) return {};
    return Failure{code.message()};
#endif
}

} // namespace

std::filesystem::path PathFromUtf8(std::string_view utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

Result<std::vector<std::uint8_t>> ReadFileBytes(std::string_view path) {
    const std::filesystem::path file = PathFromUtf8(path);
    std::error_code code;
    if (std::filesystem::is_directory(file, code))
        return Failure{std::string(path) + ": is a folder, not a file"};
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return Failure{std::string(path) + ": cannot open (" +
                       (std::filesystem::exists(file, code) ? "no permission?" : "no such file") + ")"};
    }
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return Failure{std::string(path) + ": read error"};
    return bytes;
}

Result<std::string> ReadTextFile(std::string_view path) {
    auto bytes = ReadFileBytes(path);
    if (!bytes) return bytes.Error();
    return std::string(bytes->begin(), bytes->end());
}

Status WriteWholeFile(std::string_view path, std::span<const std::uint8_t> bytes) {
    static std::atomic<unsigned> serial{0};
    const std::filesystem::path target = PathFromUtf8(path);
    std::filesystem::path temporary = target;
    temporary += ".tmp" + std::to_string(ProcessId()) + "-" + std::to_string(serial++);
    std::error_code ignored;
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) return Failure{std::string(path) + ": cannot create a file in that folder"};
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        out.flush();
        if (!out) {
            out.close();
            std::filesystem::remove(temporary, ignored);
            return Failure{std::string(path) + ": write error (disk full?)"};
        }
    }
    if (const Status renamed = RenameOver(temporary, target); !renamed) {
        std::filesystem::remove(temporary, ignored);
        return Failure{std::string(path) + ": " + renamed.Error().Text};
    }
    return {};
}

Status WriteWholeFile(std::string_view path, std::string_view text) {
    return WriteWholeFile(path, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

bool FileExists(std::string_view path) {
    std::error_code code;
    return std::filesystem::exists(PathFromUtf8(path), code);
}

} // namespace korax::tools
