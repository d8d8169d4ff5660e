// A program that carries two backends (the native tavrin-check: the machine's disks, or a virtual
// station's) chooses one before its first other platform call; every platform function then goes
// to that backend. platform/dispatch.cpp.
#pragma once

namespace platform {

enum class Backend { Machine, Station };

// Before any other platform call and before the program's threads start; Machine until then.
void UseBackend(Backend which);
Backend ChosenBackend();

}  // namespace platform
