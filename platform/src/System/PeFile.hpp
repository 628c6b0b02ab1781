// Windows modules (PE32 DLLs) read as data: the headers, the section table,
// the export directory and the resource tree. This is plain bounded code
// with no system call in it, so that Windows, which loads such modules, and
// any other system, which only inspects them, read them the same way.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "SysUtils.hpp"
#include "Windows.hpp"

namespace SysUtils::Pe {

// How the bytes are laid out: a file as it lies on disk, sections at their
// raw offsets; or a module the loader mapped, sections at their addresses.
enum class TLayout { File, Image };

// Whether the bytes begin as a PE module does ("MZ").
bool LooksLikePe(std::span<const std::uint8_t> Bytes);

struct TExport {
  std::string Name;
  std::string Forwarder;  // "MODULE.Name" when another module supplies it, else empty
};

// A module's headers and sections, checked when it is made; every fault
// raises SysUtils::EPackageError "<Where>: <fault>". Where is kept by
// reference. Bytes must outlive the reader and whatever it hands out.
class TReader {
public:
  TReader(std::span<const std::uint8_t> Bytes, TLayout Layout, const std::string& Where);

  // The size of the image the loader maps.
  std::uint32_t ImageSize() const { return FImageSize; }
  // The named exports in the order of the export name table, each checked
  // to name a function inside the image, or another module's.
  std::vector<TExport> Exports() const;
  // Every resource of a numbered type, in the directory's order, its data
  // pointing into the bytes. The whole tree is checked, named types too.
  std::vector<Windows::TResourceEntry> Resources() const;

  [[noreturn]] void Fail(const std::string& Fault) const { FIn.Fail(Fault); }
  // The bytes from Rva to the end of the section holding it, of which at
  // least Size are wanted; What names them in faults.
  TByteReader At(std::uint32_t Rva, std::uint64_t Size, const std::string& What) const;
  struct TDirectory {
    std::uint32_t Rva = 0, Size = 0;
  };
  TDirectory Directory(unsigned Index) const { return Index < FDirectories.size() ? FDirectories[Index] : TDirectory{}; }
  // Where the system finds a data directory.
  TByteReader DirectoryAt(unsigned Index, std::uint64_t Size, const std::string& What) const;

private:
  struct TSection {
    std::string Name;
    std::uint32_t VirtualSize = 0, VirtualAddress = 0, RawSize = 0, RawOffset = 0, Characteristics = 0;
  };
  std::uint64_t SectionSize(const TSection& Section) const;
  const char* Extent() const { return FLayout == TLayout::File ? "the file" : "the image"; }

  TByteReader FIn;
  TLayout FLayout;
  std::uint32_t FImageSize = 0, FHeadersSize = 0;
  std::vector<TDirectory> FDirectories;
  std::vector<TSection> FSections;
};

// The exports as people read them: demangled within the demangler's
// budget, a constructor's or destructor's variants told apart, and a
// forwarded one followed by "[forwarded to MODULE.Name]".
std::vector<std::string> ExportNames(const std::vector<TExport>& Exports);

}  // namespace SysUtils::Pe
