// Writes parsed resources as the C++ tables of platform/headless/resources.h.
#pragma once

#include <string>
#include <vector>

#include "tools/rcgen/rc_parser.h"

namespace rcgen {

// One source defining headless::res::kResources; `sources` name the scripts in its heading.
std::string EmitTables(const Resources& resources, const std::vector<std::string>& sources);

// A make-style dependency file: `target` depends on every file read.
std::string EmitDepfile(const std::string& target, const Resources& resources);

// A C++ literal u"..." of `text`, escaped so that it reads the same under any source encoding.
std::string Literal(const std::u16string& text);

}  // namespace rcgen
