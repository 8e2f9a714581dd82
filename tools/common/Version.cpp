#include "common/Version.h"

#include "KoraxVersion.h"

#if defined(_WIN32)
#include <cstdint>
#include <vector>

#include <windows.h>

#include "common/TextCodec.h"
#endif

namespace korax::tools {

namespace {

std::string VersionLines(std::string_view name, std::string_view version, std::string_view product,
                         std::string_view commit) {
    std::string text = std::string(name) + " " + std::string(version);
    text += "\n  product version  " + std::string(product);
    text += "\n  commit           " + std::string(commit);
    return text;
}

} // namespace

std::string ToolVersionText(std::string_view tool) {
    return VersionLines(tool, ProjectVersion, ProductVersion, SourceCommit);
}

#if defined(_WIN32)

namespace {

// A string of the version resource's US English, Unicode block (the one our resources carry); empty when
// the resource lacks it.
std::string StringValue(const std::vector<std::uint8_t>& resource, const wchar_t* name) {
    const std::wstring key = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(resource.data(), key.c_str(), &value, &length) || value == nullptr || length == 0) {
        return {};
    }
    return WideToUtf8(static_cast<const wchar_t*>(value));
}

} // namespace

Result<std::string> LibraryVersionText(const std::string& path) {
    const std::wstring widePath = Utf8ToWide(path);
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(widePath.c_str(), &ignored);
    if (size == 0) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_MOD_NOT_FOUND) {
            return Failure{path + ": no such file"};
        }
        return Failure{path + ": carries no version resource (a build from before version 1.0.0, or not "
                              "this driver); tell builds apart by the file's SHA-256 checksum"};
    }
    std::vector<std::uint8_t> resource(size);
    if (!GetFileVersionInfoW(widePath.c_str(), 0, size, resource.data())) {
        return Failure{path + ": its version resource cannot be read"};
    }
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(resource.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) ||
        fixed == nullptr || length < sizeof(VS_FIXEDFILEINFO)) {
        return Failure{path + ": its version resource has no fixed part"};
    }
    const std::string version = std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." +
                                std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
                                std::to_string(HIWORD(fixed->dwFileVersionLS)) + "." +
                                std::to_string(LOWORD(fixed->dwFileVersionLS));
    std::string name = StringValue(resource, L"OriginalFilename");
    if (name.empty()) name = path;
    std::string commit = StringValue(resource, L"Commit");
    if (commit.empty()) commit = "not recorded";
    std::string text = VersionLines(name, version, StringValue(resource, L"ProductVersion"), commit);
    text += "\n  description      " + StringValue(resource, L"FileDescription");
    text += "\n  file             " + path;
    return text;
}

#else

Result<std::string> LibraryVersionText(const std::string& path) {
    return Failure{path + ": a native library carries no version resource; only the Windows DLL does "
                          "(korax-host.exe --version --driver korax24.dll)"};
}

#endif

} // namespace korax::tools
