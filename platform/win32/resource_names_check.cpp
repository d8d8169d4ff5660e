// The names that resource scripts use have the platform's values in platform/resource_names.h
// (what tavrin-rcgen knows them by): checked here against the platform headers.
#include <windows.h>

#include <commctrl.h>

#include <cstdint>

#include "platform/resource_names.h"

#define TAVRIN_CHECK_RESOURCE_NAME(name, value) \
    static_assert(static_cast<std::uint32_t>(name) == static_cast<std::uint32_t>(value), #name);
TAVRIN_RESOURCE_NAMES(TAVRIN_CHECK_RESOURCE_NAME)
#undef TAVRIN_CHECK_RESOURCE_NAME
