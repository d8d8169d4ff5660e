#include "platform/console.h"

#include <windows.h>

#include <atomic>
#include <csignal>

#include "platform/device_io.h"
#include "platform/text.h"

namespace platform::console {
namespace {

std::atomic<void (*)(int)> stopCall{nullptr};

// Ctrl+C and Ctrl+Break stop as SIGINT would.
BOOL WINAPI OnConsoleControl(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        return FALSE;
    if (void (*stop)(int) = stopCall.load())
        stop(128 + SIGINT);
    return TRUE;
}

}  // namespace

std::vector<std::string> Arguments(int argc, char** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.push_back(ToUtf8(AnsiToWide(argv[i])));
    return args;
}

// Without a console (output to a file or a pipe) there is no code page to set: 0.
Utf8Output::Utf8Output() : previous_(GetConsoleOutputCP()) {
    if (previous_ != 0 && previous_ != CP_UTF8)
        SetConsoleOutputCP(CP_UTF8);
}

Utf8Output::~Utf8Output() {
    if (previous_ != 0 && previous_ != CP_UTF8)
        SetConsoleOutputCP(previous_);
}

long ProcessNumber() {
    return static_cast<long>(GetCurrentProcessId());
}

bool CatchStopRequests(void (*stop)(int exitStatus)) {
    stopCall.store(stop);
    return SetConsoleCtrlHandler(OnConsoleControl, TRUE) != 0;
}

}  // namespace platform::console
