// The console of a command-line program: its arguments, the encoding its output shows in, its
// stop requests. platform/win32/console.cpp on Windows, platform/linux/console.cpp elsewhere.
#pragma once

#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace platform::console {

// The arguments after the program's name, in UTF-8 (Windows hands them over in its ANSI code
// page).
std::vector<std::string> Arguments(int argc, char** argv);

// While one lives, a console shows the program's UTF-8 output as UTF-8 (Windows: the console's
// output code page, put back afterwards). Files and pipes get the same bytes either way.
class Utf8Output {
  public:
    Utf8Output();
    ~Utf8Output();
    Utf8Output(const Utf8Output&) = delete;
    Utf8Output& operator=(const Utf8Output&) = delete;

  private:
    unsigned previous_ = 0;
};

// The program's standard output with the reason of its failures kept: while one lives, what
// `out` (std::cout) takes goes on where it went, and the system's reason for the first write
// that fails is remembered, for a run that writes on after it and a stream that says only that
// it failed.
class WatchedOutput {
  public:
    explicit WatchedOutput(std::ostream& out);
    ~WatchedOutput();
    WatchedOutput(const WatchedOutput&) = delete;
    WatchedOutput& operator=(const WatchedOutput&) = delete;

    // Flushes `out` and what the C library holds for standard output behind it. nullopt when
    // everything reached the system; else the system's reason for the first failure ("No space
    // left on device"), empty where it gave none.
    std::optional<std::string> Flush();

  private:
    class Keeper;
    std::ostream& out_;
    std::streambuf* const inner_;
    std::unique_ptr<Keeper> keeper_;
};

// This process's number, for names of its own (a temporary folder).
long ProcessNumber();

// From now on a stop request (Ctrl+C or Ctrl+Break in Windows' console; SIGINT or SIGTERM)
// calls `stop` with the exit status it asks for, 128 + the signal's number, instead of ending
// the program. A system call it interrupts fails (EINTR) rather than going on. `stop` runs in a
// signal handler or the console's own thread. False when the system refuses.
bool CatchStopRequests(void (*stop)(int exitStatus));

}  // namespace platform::console
