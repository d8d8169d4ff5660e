#include <windows.h>

#include <cstdlib>

#include "platform/thread_own.h"

namespace platform {
namespace {

// The values a thread registered, newest first: one fiber-local slot for them all, as a process
// has few such slots.
struct Registered {
    void* object;
    void (*destroy)(void*);
    Registered* next;
};

void WINAPI DestroyAll(void* first) {
    for (auto* entry = static_cast<Registered*>(first); entry != nullptr;) {
        Registered* const next = entry->next;
        entry->destroy(entry->object);
        delete entry;
        entry = next;
    }
}

DWORD Slot() {
    static const DWORD slot = [] {
        const DWORD made = FlsAlloc(&DestroyAll);
        // Without a slot, every thread's values would leak or outlive their storage: stop here.
        if (made == FLS_OUT_OF_INDEXES)
            std::abort();
        return made;
    }();
    return slot;
}

}  // namespace

void DestroyAtThreadEnd(void* object, void (*destroy)(void*)) {
    const DWORD slot = Slot();
    auto* entry = new Registered{object, destroy, static_cast<Registered*>(FlsGetValue(slot))};
    if (!FlsSetValue(slot, entry))
        std::abort();
}

}  // namespace platform
