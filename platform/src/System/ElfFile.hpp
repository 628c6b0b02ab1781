// Module files as ELF shared objects, read as data: the segments the loader
// would map, the resources carried in a note, and the exported symbols.
// Plain bounded code with no system call in it, like the PE reader beside it.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "Windows.hpp"

namespace SysUtils::Elf {

struct TModule {
  std::vector<Windows::TResourceEntry> Resources;  // their data in the bytes read
  std::vector<std::string> Exports;                // as people read them
};

// A 64-bit little-endian shared module for this machine, read as the loader
// reads it; raises SysUtils::EPackageError "<FileName>: <fault>" for one that
// is truncated or malformed. Data must outlive the resources' data.
TModule ReadModule(std::span<const std::uint8_t> Data, const std::string& FileName);

// The resources' note among the notes of one segment, as a resource file;
// empty when there is none. Notes is walked, never trusted.
std::span<const std::uint8_t> FindResourceNote(std::span<const std::uint8_t> Notes, std::uint64_t Align);

}  // namespace SysUtils::Elf
