/*
 * A host written in plain C against include/korax24.h alone: it loads the shared memory manager and the
 * driver by name, binds all eighteen entry points by name, prepares a block, registers one analog input
 * on a simulated board, scans until the board's value arrives and closes. The same file is compiled as
 * C++ too. Exit 0 on success; 1 with a line on stderr naming the first thing that went wrong.
 */
#if !defined(_WIN32)
#define _POSIX_C_SOURCE 200112L
#endif

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "korax24.h"

#if defined(_WIN32)
#include <windows.h>
typedef HMODULE Library;
typedef FARPROC Symbol;
#else
#include <dlfcn.h>
#include <time.h>
typedef void* Library;
typedef void* Symbol;
#endif

#define SCENARIO_FILE "c_host.scenario"
#define EXPECTED_COUNT 1234

static int Fail(const char* what) {
    fprintf(stderr, "c_host: %s\n", what);
    return 1;
}

/* Natively a bare name is looked up beside this program, as Windows does for a DLL. */
static Library Open(const char* self, const char* name) {
#if defined(_WIN32)
    (void)self;
    return LoadLibraryA(name);
#else
    char path[4096];
    const char* slash = strrchr(self, '/');
    const size_t folder = slash == NULL ? 0 : (size_t)(slash - self) + 1;
    if (folder + strlen(name) + 1 > sizeof path) return NULL;
    memcpy(path, self, folder);
    strcpy(path + folder, name);
    return dlopen(path, RTLD_NOW);
#endif
}

static void Close(Library library) {
#if defined(_WIN32)
    FreeLibrary(library);
#else
    dlclose(library);
#endif
}

/* Stores the entry's address in a pointer cell of any function type. */
static int Bind(Library library, const char* name, void* cell, size_t size) {
#if defined(_WIN32)
    Symbol symbol = GetProcAddress(library, name);
#else
    Symbol symbol = dlsym(library, name);
#endif
    if (symbol == NULL || size != sizeof symbol) {
        fprintf(stderr, "c_host: entry %s missing\n", name);
        return 1;
    }
    memcpy(cell, &symbol, sizeof symbol);
    return 0;
}

static void Pause(void) {
#if defined(_WIN32)
    Sleep(20);
#else
    struct timespec wait = {0, 20000000L};
    nanosleep(&wait, NULL);
#endif
}

static int SetScenario(void) {
    FILE* file = fopen(SCENARIO_FILE, "w");
    if (file == NULL) return 1;
    fprintf(file, "board 0 KRX-A100 0x220\nad 0 2 %d\n", EXPECTED_COUNT);
    fclose(file);
#if defined(_WIN32)
    return SetEnvironmentVariableA("KORAX_SIM_SCENARIO", SCENARIO_FILE) ? 0 : 1;
#else
    return setenv("KORAX_SIM_SCENARIO", SCENARIO_FILE, 1);
#endif
}

static KoraxSysFreeMemProc freeMem;

/* Every string the driver hands over goes back to the manager, once. */
static int Release(char** text) {
    int refused = 0;
    if (*text != NULL) {
        printf("message: %s\n", *text);
        refused = freeMem(*text) != 0;
        *text = NULL;
    }
    return refused;
}

static int Scan(const KoraxHostEntries* api, void* block) {
    HostTagDef tag;
    const HostTagDef* tags[1];
    TagValueRec records[1];
    char* message = NULL;
    int32_t count = 0;
    int round;
    double value = 0;

    memset(&tag, 0, sizeof tag);
    tag.TagId = 0;
    strcpy(tag.Name, "Input");
    strcpy(tag.Address, "AD0:2");
    tag.DataType = KORAX_TYPE_REAL;
    tag.ScanInterval = 0;
    tags[0] = &tag;

    if (api->IniDriver(1, tags, block, &message) != KORAX_TRUE) return Fail("IniDriver refused");
    if (Release(&message)) return Fail("the manager refused IniDriver's message");
    if (api->DetectScanTime() != 10) return Fail("DetectScanTime is not 10 ms with a tag registered");

    for (round = 0; round < 200; ++round) {
        memset(records, 0, sizeof records);
        if (api->OnDataRead(&count, records, &message) != KORAX_TRUE)
            return Fail("OnDataRead answered false");
        if (Release(&message)) return Fail("the manager refused OnDataRead's message");
        if (count == 1 && records[0].TagId == 0 && records[0].DataType == KORAX_TYPE_REAL) {
            memcpy(&value, records[0].Value, sizeof value);
            if (value == EXPECTED_COUNT) break;
        }
        Pause();
    }
    printf("%d OnDataRead calls, AD0:2 = %g\n", round + 1, value);
    if (value != EXPECTED_COUNT) return Fail("the simulated input never arrived");
    if (api->FreeDriver() != KORAX_TRUE) return Fail("FreeDriver answered false");
    return 0;
}

int main(int argc, char** argv) {
    KoraxHostEntries api;
    Library manager;
    Library driver;
    void* block;
    uint16_t templates = 0;
    int failed = 0;
    (void)argc;

    if (SetScenario() != 0) return Fail("cannot write the scenario");
    manager = Open(argv[0], KORAX_MANAGER_LIBRARY);
    if (manager == NULL) return Fail("cannot load " KORAX_MANAGER_LIBRARY);
    if (Bind(manager, KORAX_MANAGER_FREEMEM, &freeMem, sizeof freeMem) != 0) return 1;
    driver = Open(argv[0], KORAX_DRIVER_LIBRARY);
    if (driver == NULL) return Fail("cannot load " KORAX_DRIVER_LIBRARY);

#define BIND_ENTRY(Name, Result, Parameters, StackBytes)                                                     \
    failed |= Bind(driver, #Name, &api.Name, sizeof api.Name);
    KORAX_HOST_EXPORTS(BIND_ENTRY)
#undef BIND_ENTRY
    if (failed) return 1;

    if (api.GetPDBLen() != KORAX_PDB_LENGTH) return Fail("GetPDBLen is not the block length");
    block = calloc(1, KORAX_PDB_LENGTH);
    if (block == NULL) return Fail("out of memory");
    api.FullPDB(block);
    if (api.GetTags(&templates, NULL) != 0 || templates != KORAX_TAG_TEMPLATE_COUNT)
        return Fail("GetTags does not count the templates");

    failed = Scan(&api, block);
    free(block);
    Close(driver);
    Close(manager);
    remove(SCENARIO_FILE);
    if (failed == 0) printf("c_host: done\n");
    return failed;
}
