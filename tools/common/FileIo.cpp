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
bool RenameOver(const std::filesystem::path& from, const std::filesystem::path& to, std::string& error) {
#if defined(_WIN32)
    if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0) {
        return true;
    }
    error = "cannot replace the file (Windows error " + std::to_string(GetLastError()) + ")";
    return false;
#else
    std::error_code code;
    std::filesystem::rename(from, to, code);
    if (!code) return true;
    error = code.message();
    return false;
#endif
}

} // namespace

std::filesystem::path PathFromUtf8(std::string_view utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::optional<std::vector<std::uint8_t>> ReadFileBytes(std::string_view path, std::string& error) {
    const std::filesystem::path file = PathFromUtf8(path);
    std::error_code code;
    if (std::filesystem::is_directory(file, code)) {
        error = std::string(path) + ": is a folder, not a file";
        return std::nullopt;
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        error = std::string(path) + ": cannot open (" +
                (std::filesystem::exists(file, code) ? "no permission?" : "no such file") + ")";
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        error = std::string(path) + ": read error";
        return std::nullopt;
    }
    return bytes;
}

std::optional<std::string> ReadTextFile(std::string_view path, std::string& error) {
    auto bytes = ReadFileBytes(path, error);
    if (!bytes) return std::nullopt;
    return std::string(bytes->begin(), bytes->end());
}

bool WriteWholeFile(std::string_view path, std::span<const std::uint8_t> bytes, std::string& error) {
    static std::atomic<unsigned> serial{0};
    const std::filesystem::path target = PathFromUtf8(path);
    std::filesystem::path temporary = target;
    temporary += ".tmp" + std::to_string(ProcessId()) + "-" + std::to_string(serial++);
    std::error_code ignored;
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) {
            error = std::string(path) + ": cannot create a file in that folder";
            return false;
        }
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        out.flush();
        if (!out) {
            out.close();
            std::filesystem::remove(temporary, ignored);
            error = std::string(path) + ": write error (disk full?)";
            return false;
        }
    }
    std::string reason;
    if (!RenameOver(temporary, target, reason)) {
        std::filesystem::remove(temporary, ignored);
        error = std::string(path) + ": " + reason;
        return false;
    }
    return true;
}

bool WriteWholeFile(std::string_view path, std::string_view text, std::string& error) {
    return WriteWholeFile(path, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()),
                          error);
}

bool FileExists(std::string_view path) {
    std::error_code code;
    return std::filesystem::exists(PathFromUtf8(path), code);
}

} // namespace korax::tools
