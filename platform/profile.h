// Private-profile (INI) files and the program's own path: every configuration file of the system
// goes through these. Win32: the real GetPrivateProfile*W / WritePrivateProfileStringW /
// GetModuleFileNameW. Elsewhere: an implementation of our own with the same observable behaviour,
// on the virtual station's file system (platform/sim/).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/backend.h"

namespace platform {

TAVRIN_BACKEND_BEGIN

// GetPrivateProfileIntW: the number a key holds, parsed as the real function does; `fallback`
// when the file, section or key is missing. The bits of the UINT result, as int.
int GetProfileInt(std::u16string_view section, std::u16string_view key, int fallback,
                  std::u16string_view file);

// GetPrivateProfileStringW into a buffer of `bufferSize` characters (NUL included): at most
// bufferSize - 1 characters of the value, or of `fallback` when the key is missing.
std::u16string GetProfileString(std::u16string_view section, std::u16string_view key,
                                std::u16string_view fallback, std::size_t bufferSize,
                                std::u16string_view file);

// Whether the file has a section of this name (GetPrivateProfileSectionNamesW, names compared
// without regard to case), keys or not. False for a missing file.
bool HasProfileSection(std::u16string_view section, std::u16string_view file);

// WritePrivateProfileStringW with a value (never deletes). False when the file cannot be written.
bool WriteProfileString(std::u16string_view section, std::u16string_view key,
                        std::u16string_view value, std::u16string_view file);

// CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr),
// closed at once: the file exists and is empty (an existing one is truncated). False when it
// cannot be created. Relative paths name files below the current directory.
bool CreateEmptyFile(std::u16string_view path);

// Writes the file whole to the disk: WritePrivateProfileStringW(nullptr, nullptr, nullptr, file),
// which writes out what the profile functions keep of it (and answers nothing of use), then
// FlushFileBuffers on the file opened for writing. False when it cannot be opened or flushed.
bool FlushProfileFile(std::u16string_view file);

// MoveFileExW(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH): `to` becomes the file
// `from` was, in one step, or stays as it was. False when it cannot: `from` missing, `to` a
// folder or read-only, the folder read-only.
bool MoveFileReplacing(std::u16string_view from, std::u16string_view to);

// DeleteFileW. False when the file is missing or cannot be deleted.
bool RemoveFile(std::u16string_view path);

// GetModuleFileNameW(nullptr, ...): the running executable's full path, at most 260 characters.
std::u16string ModuleFileName();

TAVRIN_BACKEND_END

}  // namespace platform
