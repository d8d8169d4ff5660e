#pragma once
// A value each thread has of its own, for values with a destructor (a string, a buffer).
//
// mingw-w64's GCC keeps thread_local objects in emulated TLS, which frees an object's storage
// before it runs the object's destructor when the thread ends: a thread_local std::u16string
// there writes into, and frees, heap memory that is no longer its own at every thread's end, and
// the heap breaks later somewhere else. On Windows the value lives on the heap behind a plain
// pointer (a thread_local without a destructor) and is deleted when its thread ends, through a
// fiber-local slot's callback, which the system runs on the ending thread. Elsewhere it is a
// plain thread_local.
//
//   struct LastErrorSlot {};  // one tag a value: two values of one type stay apart
//   std::u16string& text = platform::ThreadOwn<std::u16string, LastErrorSlot>();

#ifdef _WIN32
#include <new>
#endif

namespace platform {

#ifdef _WIN32
// Runs destroy(object) on the calling thread when it ends (values registered later go first).
void DestroyAtThreadEnd(void* object, void (*destroy)(void*));
#endif

template <typename T, typename Slot>
T& ThreadOwn() {
#ifdef _WIN32
    thread_local T* value = nullptr;
    if (value == nullptr) {
        T* const made = new T();
        DestroyAtThreadEnd(made, [](void* object) { delete static_cast<T*>(object); });
        value = made;
    }
    return *value;
#else
    thread_local T value;
    return value;
#endif
}

}  // namespace platform
