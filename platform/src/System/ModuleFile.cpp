// Module files read as data, the way a design host inspects a package
// without running any of its code.
#include "Graphics.hpp"
#include "SysUtils.hpp"
#include "os/Os.hpp"

namespace SysUtils {

namespace {

// Code points that change how a line reads without being seen.
bool Invisible(char32_t Code) {
  return Code < 0x20 || (Code >= 0x7F && Code < 0xA0) || Code == 0x2028 || Code == 0x2029 ||
         (Code >= 0x200B && Code <= 0x200F) || (Code >= 0x202A && Code <= 0x202E) ||
         (Code >= 0x2066 && Code <= 0x2069) || Code == 0xFEFF;
}

}  // namespace

std::string PrintableText(std::string_view Text) {
  static const char Hex[] = "0123456789ABCDEF";
  std::string Out;
  for (std::size_t I = 0; I < Text.size();) {
    const auto Lead = std::uint8_t(Text[I]);
    // The length of a well-formed sequence here, or 0.
    const int Extra = Lead < 0x80 ? 0 : Lead >= 0xC2 && Lead < 0xE0 ? 1 : Lead >= 0xE0 && Lead < 0xF0 ? 2
                                       : Lead >= 0xF0 && Lead < 0xF5 ? 3 : -1;
    char32_t Code = Extra <= 0 ? Lead : Lead & (0x3F >> Extra);
    bool Valid = Extra >= 0 && Text.size() - I > std::size_t(Extra);
    for (int K = 1; Valid && K <= Extra; ++K) {
      const auto Next = std::uint8_t(Text[I + std::size_t(K)]);
      Valid = (Next & 0xC0) == 0x80;
      Code = Code << 6 | (Next & 0x3F);
    }
    const char32_t Smallest[] = {0, 0x80, 0x800, 0x10000};
    Valid = Valid && Code >= Smallest[Extra] && !(Code >= 0xD800 && Code < 0xE000) && Code <= 0x10FFFF;
    if (!Valid) {
      Out += {'\\', 'x', Hex[Lead >> 4], Hex[Lead & 15]};
      ++I;
      continue;
    }
    if (Invisible(Code) && Code < 0x80) {
      Out += {'\\', 'x', Hex[Code >> 4], Hex[Code & 15]};
    } else if (Invisible(Code)) {
      Out += {'\\', 'u', Hex[Code >> 12], Hex[Code >> 8 & 15], Hex[Code >> 4 & 15], Hex[Code & 15]};
    } else {
      if (Code == '\\') Out += '\\';
      Out.append(Text.substr(I, std::size_t(Extra) + 1));
    }
    I += std::size_t(Extra) + 1;
  }
  return Out;
}

struct TModuleFile::TImage {
  explicit TImage(const std::string& FileName)
      : File(FileName, Graphics::MaxFileSize), Contents(Os::ReadModule({File.Data(), File.Size()}, FileName)) {}
  Os::TMappedFile File;
  Os::TModuleContents Contents;
};

TModuleFile::TModuleFile(const std::string& FileName) : FFileName(FileName) {
  try {
    FImage = std::make_unique<TImage>(FileName);
  } catch (const Classes::EReadError& E) {
    throw EPackageError(E.Message());
  }
  FResources = FImage->Contents.Resources;
}

TModuleFile::~TModuleFile() = default;

TPackageInfo TModuleFile::PackageInfo() const {
  for (const Windows::TResourceEntry& Entry : FResources)
    if (Entry.Type == Windows::RT_RCDATA && Entry.Name == "PACKAGEINFO") return DecodePackageInfo(Entry.Data, FFileName);
  throw EPackageError(FFileName + ": not a package: it has no package information");
}

std::vector<std::string> TModuleFile::Exports() const { return FImage->Contents.Exports; }

Windows::HMODULE TModuleFile::Handle() const {
  return FImage->Contents.DataModule ? FImage->Contents.DataModule : reinterpret_cast<Windows::HMODULE>(this);
}

std::vector<std::string> ModuleExports(const std::string& FileName) { return TModuleFile(FileName).Exports(); }

}  // namespace SysUtils
