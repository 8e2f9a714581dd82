// Stand-in for the port I/O library: the two byte-wide port entries, answered by the board simulator
// instead of real ports, so the driver runs end to end on a machine without boards. It sets itself up
// from a scenario file when it is loaded:
//   - the file named by the environment variable KORAX_SIM_SCENARIO, else
//   - ControXIO.scenario in the library's own folder, else
//   - no boards at all (every read gives 0xFF).
// A scenario with an error is reported on stderr and the library runs without boards, as it would on a
// machine whose boards are missing.
// A scenario that names a trace to replay ("replay PATH") answers the ports from that trace instead of
// the boards, and writes how the replay ended to the file of "report PATH" (stderr without one): the
// real driver then runs unchanged against what the boards answered when the trace was recorded.
// Built with KORAX_SIM_NO_IN_PORT it lacks "in_port", with KORAX_SIM_NO_OUT_PORT "out_port", for the
// tests of a damaged library.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "sim/Scenario.h"
#include "sim/TraceReplay.h"

#if defined(_WIN32)
#include <windows.h>
#define CONTROXIO_API __stdcall
#define CONTROXIO_EXPORT
#else
#include <dlfcn.h>
#define CONTROXIO_API
#define CONTROXIO_EXPORT __attribute__((visibility("default")))
#endif

namespace {

constexpr const char* ScenarioVariable = "KORAX_SIM_SCENARIO";
constexpr const char* ScenarioBesideLibrary = "ControXIO.scenario";

// Several host threads may share the loaded library; every access goes through this one lock.
struct Shared {
    std::mutex Lock;
    korax::sim::BoardSimulator Simulator;
    std::unique_ptr<korax::sim::TraceReplay> Replay; // answers instead of the simulator when set

    korax::boards::PortBus& Bus() {
        if (Replay) return *Replay;
        return Simulator;
    }
};

Shared& State() {
    static Shared state;
    return state;
}

#if defined(_WIN32)
HMODULE ownModule = nullptr;

// GetEnvironmentVariableW, not getenv: the C runtime keeps its own copy of the environment and does not
// see a variable a test set with SetEnvironmentVariable after the process started; the wide form keeps a
// path outside the ANSI code page, and a path of any length is read whole.
std::optional<std::filesystem::path> Variable(const char* asciiName) {
    const std::wstring name(asciiName, asciiName + std::strlen(asciiName));
    const DWORD size = GetEnvironmentVariableW(name.c_str(), nullptr, 0);
    if (size <= 1) return std::nullopt;
    std::wstring value(size, L'\0');
    const DWORD length = GetEnvironmentVariableW(name.c_str(), value.data(), size);
    if (length == 0 || length >= size) return std::nullopt;
    value.resize(length);
    return std::filesystem::path(value);
}

std::filesystem::path OwnFolder() {
    std::wstring path(32768, L'\0');
    const DWORD length = GetModuleFileNameW(ownModule, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0 || length >= path.size()) return {};
    path.resize(length);
    return std::filesystem::path(path).parent_path();
}
#else
std::optional<std::filesystem::path> Variable(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') return std::nullopt;
    return std::filesystem::path(value);
}

std::filesystem::path OwnFolder() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&OwnFolder), &info) == 0 || info.dli_fname == nullptr) return {};
    return std::filesystem::path(info.dli_fname).parent_path();
}
#endif

std::filesystem::path PathFromUtf8(const std::string& text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

std::string Shown(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

// The report as one line, written beside its place and renamed there, so a host that watches for the
// file never reads half of it.
void WriteReport(const std::filesystem::path& path, const korax::sim::ReplayReport& report) {
    const std::string line = korax::sim::FormatReplayReport(report) + "\n";
    if (path.empty()) {
        std::fprintf(stderr, "ControXIO: replay %s", line.c_str());
        return;
    }
    std::filesystem::path part = path;
    part += ".part";
    {
        std::ofstream file(part, std::ios::binary | std::ios::trunc);
        file << line;
        if (!file) {
            std::fprintf(stderr, "ControXIO: cannot write the replay report %s\n", Shown(path).c_str());
            return;
        }
    }
    std::error_code error;
    std::filesystem::rename(part, path, error);
    if (error) std::fprintf(stderr, "ControXIO: cannot write the replay report %s\n", Shown(path).c_str());
}

// The replay a scenario asks for; paths are relative to the scenario's folder.
std::unique_ptr<korax::sim::TraceReplay> ReplayOf(const korax::sim::ScenarioSetup& setup,
                                                  const std::filesystem::path& folder) {
    const std::filesystem::path report =
        setup.ReplayReport.empty() ? std::filesystem::path() : folder / PathFromUtf8(setup.ReplayReport);
    try {
        const korax::sim::Trace trace = korax::sim::ReadTraceFiles(folder / PathFromUtf8(setup.ReplayTrace));
        const korax::sim::ReplayPlan plan = korax::sim::PlanReplay(trace);
        return std::make_unique<korax::sim::TraceReplay>(
            korax::sim::ExpectedAccesses(trace, plan),
            [report](const korax::sim::ReplayReport& outcome) { WriteReport(report, outcome); });
    } catch (const korax::sim::TraceError& error) {
        korax::sim::ReplayReport failed;
        failed.End = korax::sim::ReplayEnd::Failed;
        failed.Reason = error.what();
        WriteReport(report, failed);
        return nullptr;
    }
}

void LoadScenario() {
    const std::optional<std::filesystem::path> named = Variable(ScenarioVariable);
    const std::filesystem::path path = named ? *named : OwnFolder() / ScenarioBesideLibrary;
    const std::string shown(reinterpret_cast<const char*>(path.u8string().c_str()));
    const std::optional<std::string> text = korax::sim::ReadScenarioFile(path);
    if (!text) {
        if (named) std::fprintf(stderr, "ControXIO: cannot read scenario %s\n", shown.c_str());
        return;
    }
    try {
        korax::sim::ScenarioSetup setup = korax::sim::ReadScenario(*text);
        std::unique_ptr<korax::sim::TraceReplay> replay;
        if (!setup.ReplayTrace.empty()) {
            replay = ReplayOf(setup, path.parent_path());
            // A trace that cannot be read replays nothing: every read then gives 0xFF.
            if (!replay) setup.Simulator = korax::sim::BoardSimulator();
        }
        Shared& state = State();
        const std::lock_guard lock(state.Lock);
        state.Simulator = std::move(setup.Simulator);
        state.Replay = std::move(replay);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "ControXIO: %s: %s; running without boards\n", shown.c_str(), error.what());
    }
}

} // namespace

extern "C" {

#if !defined(KORAX_SIM_NO_OUT_PORT)
// The port is zero-extended and only its low 16 bits reach the bus; the value travels in the low 8 bits.
CONTROXIO_EXPORT void CONTROXIO_API out_port(std::uint32_t port, std::uint32_t value) {
    Shared& state = State();
    const std::lock_guard lock(state.Lock);
    state.Bus().Write(static_cast<std::uint16_t>(port), static_cast<std::uint8_t>(value));
}
#endif

#if !defined(KORAX_SIM_NO_IN_PORT)
CONTROXIO_EXPORT std::uint32_t CONTROXIO_API in_port(std::uint32_t port) {
    Shared& state = State();
    const std::lock_guard lock(state.Lock);
    return state.Bus().Read(static_cast<std::uint16_t>(port));
}
#endif

} // extern "C"

#if defined(_WIN32)
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        ownModule = instance;
        DisableThreadLibraryCalls(instance);
        LoadScenario();
    }
    return TRUE;
}
#else
__attribute__((constructor)) static void ControXIOLoaded() {
    LoadScenario();
}
#endif
