// Files below a system root, as sysfs, /proc and /dev write them: the one place the Linux walk
// reads an attribute, follows a link or lists a folder, with one set of parsers for the numbers
// the kernel writes.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::linux_os {

// Digits and nothing else, at most `maxDigits` of them; nullopt otherwise (an empty text too).
std::optional<unsigned> ParseDecimal(std::string_view text, std::size_t maxDigits);
// Hexadecimal digits of either case and nothing else, at most `maxDigits` of them.
std::optional<unsigned> ParseHex(std::string_view text, std::size_t maxDigits);

// Where the files are read: "" for the machine itself, a folder for tests.
struct Tree {
    std::string root;
};

std::string Under(const Tree& s, std::string_view path);
// An attribute's text without its line end; nullopt when it cannot be read.
std::optional<std::string> ReadAttribute(const Tree& s, const std::string& folder,
                                         std::string_view name);
// "0bda" and the like (idVendor, bDeviceClass): up to 8 digits.
std::optional<unsigned> HexAttribute(const Tree& s, const std::string& folder,
                                     std::string_view name);
// "3" and the like (maxchild, partition, removable): up to 6 digits.
std::optional<int> DecimalAttribute(const Tree& s, const std::string& folder,
                                    std::string_view name);
// The folder a link below the root leads to, from the root; nullopt when it leads nowhere or
// out of the root.
std::optional<std::string> Resolve(const Tree& s, std::string_view path);
bool IsFolder(const Tree& s, const std::string& folder);
// A folder's entries, sorted; none when it cannot be read.
std::vector<std::string> Names(const Tree& s, std::string_view folder);
std::string BaseName(std::string_view path);

}  // namespace platform::linux_os
