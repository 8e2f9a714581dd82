#include "common/Console.h"

#include "common/TextCodec.h"

#include <algorithm>
#include <csignal>
#include <cstdio>

#if defined(_WIN32)
#include <io.h>
#include <windows.h>
// After windows.h, which it builds on.
#include <shellapi.h>
#else
#include <cstdlib>
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace korax::tools {

namespace {

std::atomic<bool> interrupted{false};

#if defined(_WIN32)
HANDLE Handle(Stream stream) {
    return GetStdHandle(stream == Stream::Out ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
}

bool IsConsole(HANDLE handle) {
    DWORD mode = 0;
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != 0;
}

BOOL WINAPI ConsoleControl(DWORD event) {
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT || event == CTRL_CLOSE_EVENT) {
        interrupted = true;
        return TRUE;
    }
    return FALSE;
}
#else
std::FILE* File(Stream stream) {
    return stream == Stream::Out ? stdout : stderr;
}

extern "C" void SignalReceived(int) {
    interrupted = true;
}
#endif

} // namespace

void WriteUtf8(Stream stream, std::string_view utf8) {
    if (utf8.empty()) return;
#if defined(_WIN32)
    const HANDLE handle = Handle(stream);
    DWORD written = 0;
    if (IsConsole(handle)) {
        // Byte-wise CRT writes would be decoded one byte at a time by the console and garble UTF-8.
        const std::wstring wide = Utf8ToWide(utf8);
        WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    } else {
        WriteFile(handle, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
    }
#else
    std::FILE* file = File(stream);
    std::fwrite(utf8.data(), 1, utf8.size(), file);
    std::fflush(file);
#endif
}

bool StdoutIsTerminal() {
#if defined(_WIN32)
    return IsConsole(Handle(Stream::Out));
#else
    return isatty(STDOUT_FILENO) != 0;
#endif
}

bool EnableCursorControl() {
#if defined(_WIN32)
    CONSOLE_SCREEN_BUFFER_INFO info{};
    return GetConsoleScreenBufferInfo(Handle(Stream::Out), &info) != 0;
#else
    // A terminal that says it is dumb takes no escape sequences.
    const char* term = std::getenv("TERM");
    return StdoutIsTerminal() && !(term != nullptr && std::string_view(term) == "dumb");
#endif
}

void RedrawLines(int previous, const std::vector<std::string>& lines, int columns) {
    const auto width = static_cast<std::size_t>(columns > 1 ? columns - 1 : 1);
#if defined(_WIN32)
    // Through the console calls rather than escape sequences: every console renders those, while some
    // take cursor movement sequences only partly.
    const HANDLE handle = Handle(Stream::Out);
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (GetConsoleScreenBufferInfo(handle, &info) == 0) return;
    const auto top = static_cast<SHORT>(std::max(0, info.dwCursorPosition.Y - previous));
    SetConsoleCursorPosition(handle, COORD{0, top});
    std::string text;
    for (const std::string& line : lines) {
        const std::string shown = FitWidth(line, width);
        text += shown + std::string(width - DisplayWidth(shown), ' ') + "\n";
    }
    // Lines of a longer previous frame are blanked, and the cursor comes back below the new one.
    const int stale = previous - static_cast<int>(lines.size());
    for (int i = 0; i < stale; ++i) text += std::string(width, ' ') + "\n";
    WriteUtf8(Stream::Out, text);
    if (stale > 0 && GetConsoleScreenBufferInfo(handle, &info) != 0) {
        SetConsoleCursorPosition(handle, COORD{0, static_cast<SHORT>(info.dwCursorPosition.Y - stale)});
    }
#else
    std::string text;
    if (previous > 0) text += "\x1b[" + std::to_string(previous) + "A\r";
    for (const std::string& line : lines) text += FitWidth(line, width) + "\x1b[K\n";
    text += "\x1b[J";
    WriteUtf8(Stream::Out, text);
#endif
}

void ShowTerminalCursor(bool shown) {
#if defined(_WIN32)
    const HANDLE handle = Handle(Stream::Out);
    CONSOLE_CURSOR_INFO info{};
    if (GetConsoleCursorInfo(handle, &info) == 0) return;
    info.bVisible = shown ? TRUE : FALSE;
    SetConsoleCursorInfo(handle, &info);
#else
    WriteUtf8(Stream::Out, shown ? "\x1b[?25h" : "\x1b[?25l");
#endif
}

std::optional<TerminalSize> StdoutTerminalSize() {
#if defined(_WIN32)
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (GetConsoleScreenBufferInfo(Handle(Stream::Out), &info) == 0) return std::nullopt;
    const int columns = info.srWindow.Right - info.srWindow.Left + 1;
    const int rows = info.srWindow.Bottom - info.srWindow.Top + 1;
#else
    winsize size{};
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0) return std::nullopt;
    const int columns = size.ws_col;
    const int rows = size.ws_row;
#endif
    if (columns <= 0 || rows <= 0) return std::nullopt;
    return TerminalSize{columns, rows};
}

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
    std::vector<std::string> arguments;
#if defined(_WIN32)
    int count = 0;
    if (wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count); wide != nullptr) {
        for (int i = 0; i < count; ++i) arguments.push_back(WideToUtf8(wide[i]));
        LocalFree(wide);
        if (count == argc) return arguments;
        arguments.clear();
    }
#endif
    for (int i = 0; i < argc; ++i) arguments.emplace_back(argv[i]);
    return arguments;
}

void SetProcessEnvironment(std::string_view name, std::string_view utf8Value) {
#if defined(_WIN32)
    // The variable block of the process, not the C runtime's copy: the libraries read it with the Win32 call.
    SetEnvironmentVariableW(Utf8ToWide(name).c_str(), Utf8ToWide(utf8Value).c_str());
#else
    setenv(std::string(name).c_str(), std::string(utf8Value).c_str(), 1);
#endif
}

void* ConsoleWindowHandle() {
#if defined(_WIN32)
    return GetConsoleWindow();
#else
    return nullptr;
#endif
}

void CatchInterrupts() {
#if defined(_WIN32)
    SetConsoleCtrlHandler(ConsoleControl, TRUE);
#else
    struct sigaction action {};
    action.sa_handler = SignalReceived;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
#endif
}

bool InterruptRequested() {
    return interrupted.load();
}

} // namespace korax::tools
