// Module files read as data, the way a design host inspects a package
// without running any of its code.
#include "Classes.hpp"
#include "SysUtils.hpp"
#include "os/Os.hpp"

namespace SysUtils {

struct TModuleFile::TImage {
  explicit TImage(const std::string& FileName)
      : File(FileName, MaxFileSize), Contents(Os::ReadModule({File.Data(), File.Size()}, FileName)) {}
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
