#pragma once
// The console of the tools: UTF-8 text out whatever the platform, terminal detection and size, Ctrl+C,
// and the command line as UTF-8.
#include <atomic>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korax::tools {

enum class Stream { Out, Error };

// Writes UTF-8 text. A Windows console gets it through the wide call, so it renders whatever the
// console's code page; a pipe or file gets the UTF-8 bytes unchanged.
void WriteUtf8(Stream stream, std::string_view utf8);

// Whether standard output is an interactive terminal.
bool StdoutIsTerminal();

// Whether standard output can be redrawn in place (RedrawLines); false when the terminal cannot.
bool EnableCursorControl();

// Replaces the `previous` lines last written to the terminal with `lines`, each cut to fit `columns`, and
// leaves the cursor at the start of the line below them.
void RedrawLines(int previous, const std::vector<std::string>& lines, int columns);
void ShowTerminalCursor(bool shown);

struct TerminalSize {
    int Columns = 80;
    int Rows = 24;
};
std::optional<TerminalSize> StdoutTerminalSize();

// The command line as UTF-8 (on Windows read again in UTF-16, as the narrow one loses characters outside
// the ANSI code page).
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// Sets a variable of this process's environment, where the libraries it loads later will look.
void SetProcessEnvironment(std::string_view name, std::string_view utf8Value);

// The console's window, for a dialog to take as its owner; nil where there is none.
void* ConsoleWindowHandle();

// Ctrl+C (and a termination request) from now on only raise the flag InterruptRequested() reads.
void CatchInterrupts();
bool InterruptRequested();

} // namespace korax::tools
