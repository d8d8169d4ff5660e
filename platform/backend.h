// The backend's functions under a name of their own, where one program carries two backends and
// chooses between them when it starts (platform/dispatch.cpp): a backend library built with
// TAVRIN_BACKEND_NS=<name> defines platform::<name>::OpenDeviceFile and the rest, which its own
// callers still reach as platform::OpenDeviceFile. Without it the macros are empty and the
// backend is the one that is linked.
#pragma once

#ifdef TAVRIN_BACKEND_NS
#define TAVRIN_BACKEND_BEGIN inline namespace TAVRIN_BACKEND_NS {
#define TAVRIN_BACKEND_END }
#else
#define TAVRIN_BACKEND_BEGIN
#define TAVRIN_BACKEND_END
#endif
