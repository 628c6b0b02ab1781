// Pictures kept in the data of another graphic class: icons, JPEG and PNG
// images as stored forms hold them.
#include <algorithm>
#include <istream>
#include <iterator>
#include <ostream>

#include "Codecs.hpp"
#include "Graphics.hpp"
#include "os/Os.hpp"

namespace Graphics {

namespace {

std::uint32_t U32At(std::span<const std::uint8_t> Data, std::size_t At) {
  return Data[At] | Data[At + 1] << 8 | Data[At + 2] << 16 | std::uint32_t(Data[At + 3]) << 24;
}

constexpr std::uint8_t PngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr std::uint8_t JpegSignature[] = {0xFF, 0xD8};

bool StartsWith(std::span<const std::uint8_t> Data, std::span<const std::uint8_t> Prefix) {
  return Data.size() >= Prefix.size() && std::equal(Prefix.begin(), Prefix.end(), Data.begin());
}

}  // namespace

// ---- Icon images -------------------------------------------------------------

void LoadIconImage(TBitmap& Into, std::span<const std::uint8_t> Image, unsigned Width, unsigned Height,
                   const std::string& SizeFrom, const std::string& Where) {
  if (StartsWith(Image, PngSignature)) {
    Into.LoadFromBytes(Image, Where);
  } else {
    if (Image.size() < 40 || U32At(Image, 0) != 40) throw EInvalidGraphic(Where + ": not a bitmap or a PNG");
    const std::uint32_t ImageWidth = U32At(Image, 4), ImageHeight = U32At(Image, 8);
    if (ImageWidth != Width || ImageHeight != 2 * std::uint64_t(Height))
      throw EInvalidGraphic(Where + ": " + std::to_string(ImageWidth) + " x " + std::to_string(ImageHeight) +
                            " pixels, where " + SizeFrom + " says " + std::to_string(Width) + " x " +
                            std::to_string(Height) + " and its mask");
    const std::uint64_t MaskSize = (std::uint64_t(Width) + 31) / 32 * 4 * Height;
    if (MaskSize >= Image.size()) throw EInvalidGraphic(Where + ": no room for the mask");
    std::vector<std::uint8_t> Colours(Image.begin(), Image.end() - std::ptrdiff_t(MaskSize));
    for (int B = 0; B < 4; ++B) Colours[8 + std::size_t(B)] = std::uint8_t(Height >> (8 * B));
    Into.LoadFromBytes(BitmapResourceFile(Colours, Where), Where);
  }
  if (Into.Width() == 0 || Into.Height() == 0) throw EInvalidGraphic(Where + ": the picture is empty");
}

// ---- TEncodedGraphic -----------------------------------------------------------

void TEncodedGraphic::SetWidth(int) {
  throw EInvalidGraphicOperation("cannot resize a " + ClassName() + ": its size is its picture's");
}
void TEncodedGraphic::SetHeight(int Value) { SetWidth(Value); }

std::span<const std::uint8_t> TEncodedGraphic::Payload(std::span<const std::uint8_t> Data,
                                                       std::span<const std::uint8_t> Signature,
                                                       const std::string& Where, const char* What) {
  if (StartsWith(Data, Signature)) return Data;
  if (Data.size() >= 4 && U32At(Data, 0) == Data.size() - 4 && StartsWith(Data.subspan(4), Signature))
    return Data.subspan(4);
  throw EInvalidGraphic(Where + ": not " + What);
}

void TEncodedGraphic::Take(std::vector<std::uint8_t> Data, const std::string& Where) {
  TBitmap Read;
  Decode(FileIn(Data, Where), Read, Where);
  FPixels.Assign(&Read);
  FData = std::move(Data);
  Changed();
}

void TEncodedGraphic::LoadFromBytes(std::span<const std::uint8_t> Data, const std::string& SourceName) {
  Take(Encode(Data), SourceName);
}

void TEncodedGraphic::LoadFromStream(std::istream& Stream, const std::string& SourceName) {
  const std::vector<std::uint8_t> Data((std::istreambuf_iterator<char>(Stream)), std::istreambuf_iterator<char>());
  LoadFromBytes(Data, SourceName);
}

void TEncodedGraphic::SaveToStream(std::ostream& Stream) const {
  const std::span<const std::uint8_t> File = FileIn(FData, ClassName());
  Stream.write(reinterpret_cast<const char*>(File.data()), std::streamsize(File.size()));
}

std::vector<std::uint8_t> TEncodedGraphic::SaveToBytes(const std::string& FileName) const {
  return FPixels.SaveToBytes(FileName);
}

void TEncodedGraphic::ReadData(Classes::TStream& Stream) {
  std::vector<std::uint8_t> Data(std::size_t(std::max<std::int64_t>(0, Stream.Size() - Stream.Position())));
  Stream.ReadBuffer(Data.data(), Data.size());
  Take(std::move(Data), ClassName() + " data");
}

void TEncodedGraphic::WriteData(Classes::TStream& Stream) const { Stream.WriteBuffer(FData.data(), FData.size()); }

// ---- The classes ---------------------------------------------------------------

void TIcon::Decode(std::span<const std::uint8_t> File, TBitmap& Into, const std::string& Where) const {
  const auto U16 = [&](std::size_t At) { return unsigned(File[At] | File[At + 1] << 8); };
  if (File.size() < 6 || U16(0) != 0 || U16(2) != 1) throw EInvalidGraphic(Where + ": not an icon");
  const std::size_t Count = U16(4);
  if (Count == 0) throw EInvalidGraphic(Where + ": an icon of no images");
  const std::size_t Directory = 6 + 16 * Count;
  if (File.size() < Directory) throw EInvalidGraphic(Where + ": icon directory of " + std::to_string(Count) +
                                                     " images in " + Os::ByteCount(File.size()));
  // The first image, as the icon is shown at its first size.
  const std::uint32_t Size = U32At(File, 14), Offset = U32At(File, 18);
  if (Offset < Directory || Offset > File.size() || Size > File.size() - Offset)
    throw EInvalidGraphic(Where + ": icon image of " + Os::ByteCount(Size) + " at offset " + std::to_string(Offset) +
                          " past the end of " + Os::ByteCount(File.size()));
  LoadIconImage(Into, File.subspan(Offset, Size), File[6] ? File[6] : 256, File[7] ? File[7] : 256,
                "the icon's directory", Where);
}

std::span<const std::uint8_t> TJPEGImage::FileIn(std::span<const std::uint8_t> Data, const std::string& Where) const {
  return Payload(Data, JpegSignature, Where, "a JPEG image");
}

std::vector<std::uint8_t> TJPEGImage::Encode(std::span<const std::uint8_t> File) const {
  std::vector<std::uint8_t> Data(File.size() + 4);
  for (int B = 0; B < 4; ++B) Data[std::size_t(B)] = std::uint8_t(File.size() >> (8 * B));
  std::copy(File.begin(), File.end(), Data.begin() + 4);
  return Data;
}

void TJPEGImage::Decode(std::span<const std::uint8_t> File, TBitmap& Into, const std::string& Where) const {
  Into.SetImage(Detail::ReadJpeg(File, Where));
}

std::span<const std::uint8_t> TPngImage::FileIn(std::span<const std::uint8_t> Data, const std::string& Where) const {
  return Payload(Data, PngSignature, Where, "a PNG image");
}

void TPngImage::Decode(std::span<const std::uint8_t> File, TBitmap& Into, const std::string& Where) const {
  Into.SetImage(Detail::ReadPng(File, Where));
}

}  // namespace Graphics
