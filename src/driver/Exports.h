#pragma once
#include "driver/HostAbi.h"

// The host's entry points, declared from the one list of the host ABI.
extern "C" {
#define KORAX_DECLARE_EXPORT(Name, Result, Parameters, StackBytes)                                           \
    KORAX_EXPORT Result KORAX_API Name Parameters;
KORAX_HOST_EXPORTS(KORAX_DECLARE_EXPORT)
#undef KORAX_DECLARE_EXPORT
}
