#include "Codecs.hpp"
#include "PngFormat.hpp"

#include "Classes/FormRead.hpp"
#include "SysUtils.hpp"
#include "os/Os.hpp"

#include <algorithm>

namespace Graphics::Detail {

namespace {

bool StartsWith(std::span<const std::uint8_t> Data, std::initializer_list<std::uint8_t> Magic) {
  return Data.size() >= Magic.size() && std::equal(Magic.begin(), Magic.end(), Data.begin());
}

// The extension of the last path component, lower case, with its dot;
// empty when the name has none.
std::string Extension(const std::string& FileName) {
  const std::size_t Slash = FileName.find_last_of(Os::PathSeparators);
  const std::size_t Dot = FileName.find_last_of('.');
  if (Dot == std::string::npos || (Slash != std::string::npos && Dot < Slash)) return {};
  return SysUtils::LowerCase(FileName.substr(Dot));
}

// The key of the pixels a form read has taken in its pictures.
constexpr char FormPixels = 0;

}  // namespace

void ChargeFormPixels(std::int64_t Width, std::int64_t Height, const std::string& What) {
  Classes::TFormRead* Read = Classes::TFormRead::Current();
  if (!Read || Width <= 0 || Height <= 0) return;
  std::uint64_t& Taken = Read->Total(&FormPixels);
  const std::uint64_t Limit = GetImageLimits().MaxFormPixels;
  if (Taken > Limit || std::uint64_t(Width) > (Limit - Taken) / std::uint64_t(Height))
    throw EInvalidGraphic(What + ": " + std::to_string(Width) + " x " + std::to_string(Height) +
                          " pixels would take the form's pictures past the limit of " + std::to_string(Limit) +
                          " pixels in all");
  Taken += std::uint64_t(Width) * std::uint64_t(Height);
}

TFileFormat SniffFormat(std::span<const std::uint8_t> Data) {
  if (PngFormat::HasSignature(Data)) return TFileFormat::Png;
  if (StartsWith(Data, {0xFF, 0xD8, 0xFF})) return TFileFormat::Jpeg;
  if (StartsWith(Data, {'B', 'M'})) return TFileFormat::Bmp;
  return TFileFormat::Unknown;
}


namespace {

EInvalidGraphic NoPicture(const std::string& Name) { return EInvalidGraphic(Name + ": not a BMP, PNG or JPEG picture"); }

}  // namespace

std::uint64_t PictureExtent(std::span<const std::uint8_t> Head, std::uint64_t FileSize, const std::string& Name) {
  switch (SniffFormat(Head)) {
    case TFileFormat::Bmp:
      return BmpExtent(Head, FileSize, Name);
    case TFileFormat::Png:
    case TFileFormat::Jpeg:
      return FileSize;
    case TFileFormat::Unknown:
      break;
  }
  throw NoPicture(Name);
}

TDib ReadImage(std::span<const std::uint8_t> Data, const std::string& Name) {
  switch (SniffFormat(Data)) {
    case TFileFormat::Bmp:
      return ReadBmp(Data, Name);
    case TFileFormat::Png:
      return ReadPng(Data, Name);
    case TFileFormat::Jpeg:
      return ReadJpeg(Data, Name);
    case TFileFormat::Unknown:
      break;
  }
  throw NoPicture(Name);
}

std::vector<std::uint8_t> WriteImage(const TDib& Image, TFileFormat Format) {
  switch (Format) {
    case TFileFormat::Bmp:
      return WriteBmp(Image);
    case TFileFormat::Png:
      return WritePng(Image, GetSaveOptions().PngCompression);
    case TFileFormat::Jpeg:
      return WriteJpeg(Image, GetSaveOptions().JpegQuality);
    case TFileFormat::Unknown:
      break;
  }
  throw EInvalidGraphic("no picture format chosen to save in");
}

}  // namespace Graphics::Detail

namespace Graphics {

TFileFormat FormatForFileName(const std::string& FileName) {
  const std::string Ext = Detail::Extension(FileName);
  if (Ext == ".bmp") return TFileFormat::Bmp;
  if (Ext == ".png") return TFileFormat::Png;
  if (Ext == ".jpg" || Ext == ".jpeg") return TFileFormat::Jpeg;
  const std::string Fault = Ext.empty() ? "no picture file extension"
                                         : "unknown picture file extension '" +
                                               FileName.substr(FileName.size() - Ext.size()) + "'";
  throw EInvalidGraphic(FileName + ": " + Fault + " (use .bmp, .png, .jpg or .jpeg)");
}

}  // namespace Graphics
