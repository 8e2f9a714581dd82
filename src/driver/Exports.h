#pragma once
// The host's entry points: declared by the public header, which the definitions must match.
#include "driver/HostAbi.h"
