// The confirmation box of the device test run, on a real (virtual) display. The main thread calls
// DLLTestDev as a host would and sits in the box's modal loop; a second thread waits for the box, reads
// it and presses OK through window messages, as a user's click arrives. Every window the calling thread
// creates is counted by a hook as well, so a box that opens and closes between two looks still counts.
//
// With KORAX_TEST_VARIANT=absent this program runs from a folder without the port I/O library: the
// initialisation fails and no box may open at all.
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

using Bool = std::uint8_t;
using FullPdbProc = void(__stdcall*)(void*);
using TestDevProc = Bool(__stdcall*)(void*, Bool);

constexpr std::size_t PdbLength = 19216;
constexpr char NoticeGbk[] = "暂时不支持测试功能！"; // the bytes the driver holds (GBK)
constexpr int MessageTextId = 0xFFFF;
// Where the box keeps its icon: the identifier differs between implementations of the system.
constexpr int IconIds[] = {0x0014, 0x0440};
constexpr DWORD WatchLimitMs = 30000;

int failures = 0;

void Check(bool ok, const char* what) {
    if (ok) return;
    ++failures;
    std::fprintf(stderr, "FAILED: %s\n", what);
}

std::wstring FromGbk(const char* text) {
    const int length = MultiByteToWideChar(936, 0, text, -1, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length > 0 ? length : 1), L'\0');
    MultiByteToWideChar(936, 0, text, -1, wide.data(), length);
    wide.resize(std::wcslen(wide.c_str()));
    return wide;
}

template <typename Proc>
Proc Entry(HMODULE module, const char* name) {
    // Through the generic function pointer type: the entries' real types are not FARPROC's.
    return reinterpret_cast<Proc>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

std::atomic<int> dialogsCreated{0};
HHOOK hook = nullptr;

LRESULT CALLBACK CountDialogs(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND) {
        wchar_t name[16] = {};
        if (GetClassNameW(reinterpret_cast<HWND>(wParam), name, 16) > 0 && std::wcscmp(name, L"#32770") == 0)
            ++dialogsCreated;
    }
    return CallNextHookEx(hook, code, wParam, lParam);
}

// What the second thread saw of the box.
struct Seen {
    std::atomic<bool> Stop{false};
    bool Found = false;
    std::wstring Text;
    DWORD Thread = 0;
    bool QuestionIcon = false;
    bool OnlyOk = false;
};

void Watch(Seen& seen) {
    const DWORD start = GetTickCount();
    while (!seen.Stop && GetTickCount() - start < WatchLimitMs) {
        HWND box = FindWindowW(L"#32770", L"Confirm");
        if (box == nullptr || !IsWindowVisible(box)) {
            Sleep(20);
            continue;
        }
        if (!seen.Found) {
            seen.Found = true;
            wchar_t text[256] = {};
            GetDlgItemTextW(box, MessageTextId, text, 256);
            seen.Text = text;
            seen.Thread = GetWindowThreadProcessId(box, nullptr);
            const HICON question = LoadIconA(nullptr, IDI_QUESTION);
            for (const int id : IconIds) {
                const auto icon = reinterpret_cast<HICON>(SendDlgItemMessageW(box, id, STM_GETICON, 0, 0));
                if (icon != nullptr && icon == question) seen.QuestionIcon = true;
            }
            HWND ok = GetDlgItem(box, IDOK);
            seen.OnlyOk = ok != nullptr && IsWindowVisible(ok);
            for (const int id : {IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO}) {
                HWND other = GetDlgItem(box, id);
                if (other != nullptr && IsWindowVisible(other)) seen.OnlyOk = false;
            }
        }
        // Posted, not sent: the box answers from its own modal loop on the other thread. Repeated until
        // the box is gone, in case a click arrives before the box is ready for it.
        HWND ok = GetDlgItem(box, IDOK);
        if (ok != nullptr) {
            PostMessageW(ok, BM_CLICK, 0, 0);
        } else {
            PostMessageW(box, WM_COMMAND, IDOK, 0);
        }
        Sleep(200);
    }
}

} // namespace

int main() {
    char variant[32] = {};
    const DWORD variantLength = GetEnvironmentVariableA("KORAX_TEST_VARIANT", variant, sizeof variant);
    const bool absent = variantLength > 0 && std::strcmp(variant, "absent") == 0;

    HMODULE driver = LoadLibraryA("korax24.dll");
    if (driver == nullptr) {
        std::fprintf(stderr, "FAILED: korax24.dll not loaded\n");
        return 1;
    }
    const auto fullPdb = Entry<FullPdbProc>(driver, "FullPDB");
    const auto testDev = Entry<TestDevProc>(driver, "DLLTestDev");
    if (fullPdb == nullptr || testDev == nullptr) {
        std::fprintf(stderr, "FAILED: entry points missing\n");
        return 1;
    }
    std::vector<std::uint8_t> block(PdbLength);
    fullPdb(block.data()); // one KRX-A100: it initialises wherever the port I/O library is there

    hook = SetWindowsHookExW(WH_CBT, CountDialogs, nullptr, GetCurrentThreadId());
    Check(hook != nullptr, "window hook installed");
    Seen seen;
    std::thread watcher(Watch, std::ref(seen));
    const Bool result = testDev(block.data(), 1);
    seen.Stop = true;
    watcher.join();
    UnhookWindowsHookEx(hook);

    Check(result == 0, "DLLTestDev returns false");
    if (absent) {
        Check(GetModuleHandleA("ControXIO.dll") == nullptr, "no port I/O library in this folder");
        Check(dialogsCreated == 0, "no box when the initialisation fails");
        Check(!seen.Found, "no Confirm box seen");
    } else {
        Check(seen.Found, "the Confirm box appeared");
        Check(dialogsCreated == 1, "exactly one box");
        Check(seen.Text == FromGbk(NoticeGbk), "the box's text");
        Check(seen.Thread == GetCurrentThreadId(), "the box belongs to the calling thread");
        Check(seen.QuestionIcon, "question-mark icon");
        Check(seen.OnlyOk, "a single OK button");
    }
    FreeLibrary(driver);
    std::printf("%s\n", failures == 0 ? "PASSED" : "FAILED");
    return failures == 0 ? 0 : 1;
}
