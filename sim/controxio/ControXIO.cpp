// Stand-in for the port I/O library: the two byte-wide port entries, answered by the board simulator
// instead of real ports, so the driver runs end to end on a machine without boards. It sets itself up
// from a scenario file when it is loaded:
//   - the file named by the environment variable KORAX_SIM_SCENARIO, else
//   - ControXIO.scenario in the library's own folder, else
//   - no boards at all (every read gives 0xFF).
// A scenario with an error is reported on stderr and the library runs without boards, as it would on a
// machine whose boards are missing.
// Built with KORAX_SIM_NO_IN_PORT it lacks "in_port", for the tests of a damaged library.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <string>

#include "sim/Scenario.h"

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
};

Shared& State() {
    static Shared state;
    return state;
}

#if defined(_WIN32)
HMODULE ownModule = nullptr;

// GetEnvironmentVariableA, not getenv: the C runtime keeps its own copy of the environment and does not
// see a variable a test set with SetEnvironmentVariableA after the process started.
std::optional<std::string> Variable(const char* name) {
    char value[MAX_PATH * 2];
    const DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
    if (length == 0 || length >= sizeof value) return std::nullopt;
    return std::string(value, length);
}

std::string OwnFolder() {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(ownModule, path, sizeof path);
    if (length == 0 || length >= sizeof path) return {};
    const std::string file(path, length);
    const std::size_t slash = file.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : file.substr(0, slash + 1);
}
#else
std::optional<std::string> Variable(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') return std::nullopt;
    return std::string(value);
}

std::string OwnFolder() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&OwnFolder), &info) == 0 || info.dli_fname == nullptr) return {};
    const std::string file(info.dli_fname);
    const std::size_t slash = file.rfind('/');
    return slash == std::string::npos ? std::string() : file.substr(0, slash + 1);
}
#endif

void LoadScenario() {
    const std::optional<std::string> named = Variable(ScenarioVariable);
    const std::string path = named ? *named : OwnFolder() + ScenarioBesideLibrary;
    const std::optional<std::string> text = korax::sim::ReadScenarioFile(path);
    if (!text) {
        if (named) std::fprintf(stderr, "ControXIO: cannot read scenario %s\n", path.c_str());
        return;
    }
    try {
        korax::sim::BoardSimulator configured = korax::sim::SimulatorFromScenario(*text);
        Shared& state = State();
        const std::lock_guard lock(state.Lock);
        state.Simulator = std::move(configured);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "ControXIO: %s: %s; running without boards\n", path.c_str(), error.what());
    }
}

} // namespace

extern "C" {

// The port is zero-extended and only its low 16 bits reach the bus; the value travels in the low 8 bits.
CONTROXIO_EXPORT void CONTROXIO_API out_port(std::uint32_t port, std::uint32_t value) {
    Shared& state = State();
    const std::lock_guard lock(state.Lock);
    state.Simulator.Write(static_cast<std::uint16_t>(port), static_cast<std::uint8_t>(value));
}

#if !defined(KORAX_SIM_NO_IN_PORT)
CONTROXIO_EXPORT std::uint32_t CONTROXIO_API in_port(std::uint32_t port) {
    Shared& state = State();
    const std::lock_guard lock(state.Lock);
    return state.Simulator.Read(static_cast<std::uint16_t>(port));
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
