// Pictures kept in the data of another graphic class: icons, JPEG and PNG
// images as stored forms hold them.
#include <algorithm>
#include <istream>
#include <iterator>
#include <ostream>

#include "Codecs.hpp"
#include "Graphics.hpp"
#include "PngFormat.hpp"

namespace Graphics {

namespace {

using SysUtils::TByteReader;

constexpr std::uint8_t JpegSignature[] = {0xFF, 0xD8};

bool StartsWith(std::span<const std::uint8_t> Data, std::span<const std::uint8_t> Prefix) {
  return Data.size() >= Prefix.size() && std::equal(Prefix.begin(), Prefix.end(), Data.begin());
}

// An icon file: a head of six bytes, then one entry of 16 bytes for each of
// its images.
constexpr std::size_t IconHeadSize = 6, IconEntrySize = 16;
struct TIconEntry {
  std::uint8_t Width, Height;  // 0 is 256
  std::uint32_t Size, Offset;  // the image's bytes in the file
};
TIconEntry ReadIconEntry(TByteReader& In) {
  TIconEntry Entry;
  Entry.Width = In.U8("icon entry");
  Entry.Height = In.U8("icon entry");
  In.Skip(6, "icon entry");  // colour count, reserved, planes, bits a pixel
  Entry.Size = In.U32("icon entry");
  Entry.Offset = In.U32("icon entry");
  return Entry;
}

// The colour half of an icon image begins with a bitmap info header.
constexpr std::uint32_t BitmapInfoHeaderSize = 40;
constexpr std::size_t BitmapInfoHeightAt = 8;

}  // namespace

// ---- Icon images -------------------------------------------------------------

void LoadIconImage(TBitmap& Into, std::span<const std::uint8_t> Image, unsigned Width, unsigned Height,
                   const std::string& SizeFrom, const std::string& Where) {
  if (Detail::PngFormat::HasSignature(Image)) {
    Into.LoadFromBytes(Image, Where);
  } else {
    TByteReader In(Image, Where, SysUtils::RaiseFault<EInvalidGraphic>);
    if (In.Size() < BitmapInfoHeaderSize || In.U32() != BitmapInfoHeaderSize)
      throw EInvalidGraphic(Where + ": not a bitmap or a PNG");
    const std::uint32_t ImageWidth = In.U32(), ImageHeight = In.U32();
    if (ImageWidth != Width || ImageHeight != 2 * std::uint64_t(Height))
      throw EInvalidGraphic(Where + ": " + std::to_string(ImageWidth) + " x " + std::to_string(ImageHeight) +
                            " pixels, where " + SizeFrom + " says " + std::to_string(Width) + " x " +
                            std::to_string(Height) + " and its mask");
    const std::uint64_t MaskSize = (std::uint64_t(Width) + 31) / 32 * 4 * Height;
    if (MaskSize >= Image.size()) throw EInvalidGraphic(Where + ": no room for the mask");
    // The colour half alone: its header's height is the icon's, and the mask
    // is cut off, which may leave less than the header, for the bitmap
    // reader to refuse.
    SysUtils::TByteWriter Colours(Image.size());
    Colours.Bytes(Image).PutU32(BitmapInfoHeightAt, Height);
    std::vector<std::uint8_t> Bytes = Colours.Take();
    Bytes.resize(Image.size() - std::size_t(MaskSize));
    Into.LoadFromBytes(BitmapResourceFile(Bytes, Where), Where);
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
  if (Data.size() >= 4 && SysUtils::Le32(Data.data()) == Data.size() - 4 && StartsWith(Data.subspan(4), Signature))
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
  TByteReader In(File, Where, SysUtils::RaiseFault<EInvalidGraphic>);
  // Reserved, then the type: 1 for an icon.
  if (In.Size() < IconHeadSize || In.U16() != 0 || In.U16() != 1) throw EInvalidGraphic(Where + ": not an icon");
  const std::size_t Count = In.U16();
  if (Count == 0) throw EInvalidGraphic(Where + ": an icon of no images");
  const std::size_t Directory = IconHeadSize + IconEntrySize * Count;
  if (In.Size() < Directory) throw EInvalidGraphic(Where + ": icon directory of " + std::to_string(Count) +
                                                   " images in " + SysUtils::ByteCount(In.Size()));
  // The first image, as the icon is shown at its first size.
  const TIconEntry First = ReadIconEntry(In);
  if (First.Offset < Directory || !In.Holds(First.Offset, First.Size))
    throw EInvalidGraphic(Where + ": icon image of " + SysUtils::ByteCount(First.Size) + " at offset " +
                          std::to_string(First.Offset) + " past the end of " + SysUtils::ByteCount(In.Size()));
  LoadIconImage(Into, File.subspan(First.Offset, First.Size), First.Width ? First.Width : 256,
                First.Height ? First.Height : 256, "the icon's directory", Where);
}

std::span<const std::uint8_t> TJPEGImage::FileIn(std::span<const std::uint8_t> Data, const std::string& Where) const {
  return Payload(Data, JpegSignature, Where, "a JPEG image");
}

std::vector<std::uint8_t> TJPEGImage::Encode(std::span<const std::uint8_t> File) const {
  // Its length first, as stored forms keep it.
  return SysUtils::TByteWriter(File.size() + 4).U32(std::uint32_t(File.size())).Bytes(File).Take();
}

void TJPEGImage::Decode(std::span<const std::uint8_t> File, TBitmap& Into, const std::string& Where) const {
  Into.SetImage(Detail::ReadJpeg(File, Where));
}

std::span<const std::uint8_t> TPngImage::FileIn(std::span<const std::uint8_t> Data, const std::string& Where) const {
  return Payload(Data, Detail::PngFormat::Signature, Where, "a PNG image");
}

void TPngImage::Decode(std::span<const std::uint8_t> File, TBitmap& Into, const std::string& Where) const {
  Into.SetImage(Detail::ReadPng(File, Where));
}

}  // namespace Graphics
