// How the settings file stores file paths: relative to the program directory where they lie
// below it. Pure functions of their arguments.
#pragma once

#include <string>
#include <string_view>

namespace config {

// The executable's full path cut before its last backslash (no trailing backslash).
std::u16string ProgramDirectoryOf(std::u16string_view modulePath);

// The form written to the settings file: the part after "<programDirectory>\" when the path
// lies below it (compared without regard to case), else the path unchanged.
std::u16string MakeStoredPath(std::u16string_view path, std::u16string_view programDirectory);

// The absolute path for a stored one: drive paths unchanged, "\x" on the program's drive,
// ".\x", "x" and "..\x" against the program directory; "" when ".." climbs above the drive.
std::u16string ResolveStoredPath(std::u16string_view stored, std::u16string_view programDirectory);

// A bare relative path ("lines\a.pfg") gets ".\" in front, so that it names a file relative to
// the current directory; drive paths, "\x", ".x" and "" stay as they are.
std::u16string MarkRelativePath(std::u16string_view path);

}  // namespace config
