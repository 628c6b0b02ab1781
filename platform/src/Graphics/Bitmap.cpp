#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <utility>

#include "Codecs.hpp"
#include "Dib.hpp"
#include "SysUtils.hpp"
#include "os/Os.hpp"

namespace Graphics {

using Detail::TDib;

// ---- TGraphic --------------------------------------------------------------

void TGraphic::SetTransparent(bool Value) {
  if (Value == FTransparent) return;
  FTransparent = Value;
  Changed();
}

void TGraphic::Changed() {
  if (OnChange) OnChange(this);
}

void TGraphic::LoadFromFile(const std::string& FileName) {
  // The mapping reads only what is touched: the head first, whose header
  // must be good, then no more than the picture it describes can need. A
  // bad file costs a page, not its size.
  const Os::TMappedFile File(FileName, SysUtils::MaxFileSize);
  const std::span<const std::uint8_t> Bytes(File.Data(), File.Size());
  const std::uint64_t Extent =
      Detail::PictureExtent(Bytes.first(std::min(Bytes.size(), Detail::PictureHeadBytes)), Bytes.size(), FileName);
  LoadFromBytes(Bytes.first(std::size_t(Extent)), FileName);
}

void TGraphic::SaveToFile(const std::string& FileName) const {
  // The name's format is checked before the file is created.
  Detail::FormatForFileName(FileName);
  Classes::TFileWriter File(FileName);
  SaveToFile(File);
  File.Commit();
}

void TGraphic::SaveToFile(Classes::TFileWriter& File) const {
  std::vector<std::uint8_t> Bytes;
  try {
    Bytes = SaveToBytes(File.FileName());
  } catch (const EInvalidGraphic& E) {
    // Encoders speak of the picture; the user wants to know which file.
    if (E.Message().rfind(File.FileName() + ":", 0) == 0) throw;
    throw EInvalidGraphic(File.FileName() + ": " + E.Message());
  }
  File.Stream().write(reinterpret_cast<const char*>(Bytes.data()), std::streamsize(Bytes.size()));
}

// ---- TBitmap ---------------------------------------------------------------

TBitmap::TBitmap() : FImage(std::make_shared<TDib>()) {}

TBitmap::~TBitmap() {
  if (FHandle) Os::DestroyHandle(FHandle);
}

const TDib& TBitmap::Image() const { return *FImage; }

TDib& TBitmap::Writable() {
  if (FImage.use_count() > 1) FImage = std::make_shared<TDib>(*FImage);
  return *FImage;
}

void TBitmap::SetImage(TDib Image) {
  FImage = std::make_shared<TDib>(std::move(Image));
  FRowsExposed = false;
  Changed();
}

void TBitmap::Assign(const Classes::TPersistent* Source) {
  if (Source == this) return;
  if (Source == nullptr) {
    SetImage(TDib{});
    return;
  }
  if (const auto* Other = dynamic_cast<const TBitmap*>(Source)) {
    // Rows handed out by the source may still be written through, so such
    // an image is copied rather than shared.
    FImage = Other->FRowsExposed ? std::make_shared<TDib>(*Other->FImage) : Other->FImage;
    FRowsExposed = false;
    FTransparentColor = Other->FTransparentColor;
    FTransparentMode = Other->FTransparentMode;
    SetTransparent(Other->Transparent());
    Changed();
    return;
  }
  if (const auto* Picture = dynamic_cast<const TPicture*>(Source)) {
    Assign(Picture->Graphic());
    return;
  }
  if (const auto* Encoded = dynamic_cast<const TEncodedGraphic*>(Source)) {
    Assign(&Encoded->Pixels());
    return;
  }
  TGraphic::Assign(Source);
}

int TBitmap::Width() const { return FImage->Width; }
int TBitmap::Height() const { return FImage->Height; }
void TBitmap::SetWidth(int Value) { SetSize(Value, Height()); }
void TBitmap::SetHeight(int Value) { SetSize(Width(), Value); }

void TBitmap::SetSize(int AWidth, int AHeight) {
  if (AWidth == Width() && AHeight == Height()) return;
  SetImage(Detail::Resize(*FImage, AWidth, AHeight));
}

TPixelFormat TBitmap::PixelFormat() const { return FImage->Format; }

void TBitmap::SetPixelFormat(TPixelFormat Value) {
  if (Value == PixelFormat()) return;
  if (Value == pfCustom || unsigned(Value) > pfCustom)
    throw EInvalidGraphicOperation("bitmap: cannot convert to " + std::string(PixelFormatName(Value)));
  SetImage(Detail::Convert(*FImage, Value));
}

std::vector<TRGBQuad> TBitmap::Palette() const { return FImage->Palette; }

void TBitmap::SetPalette(std::vector<TRGBQuad> Entries) {
  if (!Detail::IsIndexed(PixelFormat()))
    throw EInvalidGraphicOperation("bitmap: a " + std::string(PixelFormatName(PixelFormat())) +
                                   " bitmap has no palette");
  const std::size_t Capacity = std::size_t(1) << BitsPerPixel(PixelFormat());
  if (Entries.empty() || Entries.size() > Capacity)
    throw EInvalidGraphicOperation("bitmap: a palette of " + std::to_string(Entries.size()) +
                                   " entries does not fit " + PixelFormatName(PixelFormat()));
  Writable().Palette = std::move(Entries);
  Changed();
}

std::uint8_t* TBitmap::ScanLine(int Y) {
  if (Y < 0 || Y >= Height()) throw EInvalidGraphicOperation("Scan line index out of range");
  FRowsExposed = true;
  return Writable().Row(Y);
}

const std::uint8_t* TBitmap::ScanLine(int Y) const {
  if (Y < 0 || Y >= Height()) throw EInvalidGraphicOperation("Scan line index out of range");
  return Image().Row(Y);
}

void TBitmap::Dormant() {
  if (FHandle) {
    Os::DestroyHandle(FHandle);
    FHandle = 0;
  }
}

void TBitmap::FreeImage() { Writable(); }

Windows::HBITMAP TBitmap::Handle() {
  if (FHandle) return FHandle;
  FHandle = Os::CreateBitmapHandle(Detail::NativeImage(Image()));
  return FHandle;
}

bool TBitmap::HandleAllocated() const { return FHandle != 0; }

Windows::HBITMAP TBitmap::ReleaseHandle() { return std::exchange(FHandle, 0); }

TColor TBitmap::TransparentColor() const {
  if (FTransparentMode == TTransparentMode::tmFixed && FTransparentColor != clDefault) return FTransparentColor;
  return Pixel(0, Height() - 1);
}

void TBitmap::SetTransparentColor(TColor Value) {
  FTransparentColor = Value;
  FTransparentMode = Value == clDefault ? TTransparentMode::tmAuto : TTransparentMode::tmFixed;
  Changed();
}

void TBitmap::SetTransparentMode(TTransparentMode Value) {
  FTransparentMode = Value;
  Changed();
}

TCanvas* TBitmap::Canvas() {
  if (!FCanvas) FCanvas = std::make_unique<TCanvas>(*this);
  return FCanvas.get();
}

TColor TBitmap::Pixel(int X, int Y) const {
  const TDib& Image = *FImage;
  if (X < 0 || Y < 0 || X >= Image.Width || Y >= Image.Height) return clNone;
  std::vector<TRGBQuad> Line(std::size_t(Image.Width));
  Detail::DecodeRow(Image, Y, Line.data());
  return RGB(Line[X].rgbRed, Line[X].rgbGreen, Line[X].rgbBlue);
}

void TBitmap::LoadFromStream(std::istream& Stream, const std::string& SourceName) {
  std::vector<std::uint8_t> Data;
  char Buffer[65536];
  while (Stream.read(Buffer, sizeof Buffer) || Stream.gcount() > 0) {
    Data.insert(Data.end(), Buffer, Buffer + Stream.gcount());
    if (Data.size() > (std::size_t(1) << 30))
      throw EInvalidGraphic(SourceName + ": more than 1 GiB of data");
  }
  LoadFromBytes(Data, SourceName);
}

void TBitmap::SaveToStream(std::ostream& Stream) const {
  const std::vector<std::uint8_t> Data = Detail::WriteBmp(*FImage);
  Stream.write(reinterpret_cast<const char*>(Data.data()), std::streamsize(Data.size()));
  if (!Stream) throw Classes::EWriteError("stream: cannot write bitmap");
}

void TBitmap::LoadFromBytes(std::span<const std::uint8_t> Data, const std::string& SourceName) {
  // Decode first: a failure leaves this bitmap as it was.
  SetImage(Detail::ReadImage(Data, SourceName));
}

void TBitmap::SaveToFile(Classes::TFileWriter& File) const {
  if (Detail::FormatForFileName(File.FileName()) != Detail::TFileFormat::Bmp) {
    TGraphic::SaveToFile(File);
    return;
  }
  // The framework's own format goes to the file row by row, without a copy
  // of the whole image in memory.
  Detail::WriteBmp(*FImage, File.Stream());
}

std::vector<std::uint8_t> TBitmap::SaveToBytes(const std::string& FileName) const {
  return Detail::WriteImage(*FImage, Detail::FormatForFileName(FileName));
}

// ---- TCanvas ---------------------------------------------------------------

TColor TCanvas::Pixels(int X, int Y) const { return FTarget.Pixel(X, Y); }

void TCanvas::SetPixels(int X, int Y, TColor Color) {
  const auto [Left, Top, Right, Bottom] = Visible({X, Y, X + 1, Y + 1});
  if (Left >= Right || Top >= Bottom) return;
  TDib& Target = FTarget.Writable();
  std::vector<TRGBQuad> Line(std::size_t(Target.Width));
  Detail::DecodeRow(Target, Y, Line.data());
  Line[std::size_t(X)] = {GetBValue(Color), GetGValue(Color), GetRValue(Color), 255};
  Detail::TNearestColor Nearest(Target.Palette);
  Detail::EncodeRow(Target, Y, Line.data(), &Nearest);
  FTarget.Modified();
}

void TCanvas::SetClipRect(const TRect& Rect) {
  FClip = Rect;
  FClipped = true;
}

TRect TCanvas::ClipRect() const { return FClipped ? FClip : TRect{0, 0, FTarget.Width(), FTarget.Height()}; }

// The part of Rect that lies on the bitmap and inside the clip rectangle.
TRect TCanvas::Visible(const TRect& R) const {
  TRect Result{std::max(R.Left, 0), std::max(R.Top, 0), std::min(R.Right, FTarget.Width()),
               std::min(R.Bottom, FTarget.Height())};
  if (FClipped)
    Result = {std::max(Result.Left, FClip.Left), std::max(Result.Top, FClip.Top),
              std::min(Result.Right, FClip.Right), std::min(Result.Bottom, FClip.Bottom)};
  return Result;
}

void TCanvas::FillRect(const TRect& R) {
  const auto [Left, Top, Right, Bottom] = Visible(R);
  if (Left >= Right || Top >= Bottom) return;
  TDib& Target = FTarget.Writable();
  const TRGBQuad Colour{GetBValue(Brush.Color), GetGValue(Brush.Color), GetRValue(Brush.Color), 255};
  if (Target.Format == pf32bit || Target.Format == pfDevice) {
    std::uint32_t Word;
    std::memcpy(&Word, &Colour, 4);
    for (int Y = Top; Y < Bottom; ++Y) {
      auto* Row = reinterpret_cast<std::uint32_t*>(Target.Row(Y));
      std::fill(Row + Left, Row + Right, Word);
    }
  } else {
    std::vector<TRGBQuad> Line(std::size_t(Target.Width));
    Detail::TNearestColor Nearest(Target.Palette);
    for (int Y = Top; Y < Bottom; ++Y) {
      Detail::DecodeRow(Target, Y, Line.data());
      std::fill(Line.begin() + Left, Line.begin() + Right, Colour);
      Detail::EncodeRow(Target, Y, Line.data(), &Nearest);
    }
  }
  FTarget.Modified();
}

void TCanvas::Draw(int X, int Y, const TGraphic& Graphic) {
  StretchDraw({X, Y, X + Graphic.Width(), Y + Graphic.Height()}, Graphic);
}

void TCanvas::StretchDraw(const TRect& R, const TGraphic& Graphic) {
  const auto* Encoded = dynamic_cast<const TEncodedGraphic*>(&Graphic);
  const auto* Source = Encoded ? &Encoded->Pixels() : dynamic_cast<const TBitmap*>(&Graphic);
  if (!Source || Source->Empty() || R.Width() <= 0 || R.Height() <= 0) return;
  Blit(R, *Source);
}

// The common paint of a true-colour picture onto a 32-bit surface, one row
// at a time without decoding. Answers false for the formats it leaves to the
// general path.
static bool CopyUnscaled(const TDib& From, TDib& Target, const TRect& Area, int OriginX, int OriginY) {
  const bool Target32 = Target.Format == pf32bit || Target.Format == pfDevice;
  if (!Target32 || (From.Format != pf24bit && From.Format != pf32bit && From.Format != pfDevice)) return false;
  const int Count = Area.Right - Area.Left;
  for (int Y = Area.Top; Y < Area.Bottom; ++Y) {
    const std::uint8_t* In = From.Row(Y - OriginY) + std::size_t(Area.Left - OriginX) * (From.Format == pf24bit ? 3 : 4);
    std::uint8_t* Out = Target.Row(Y) + std::size_t(Area.Left) * 4;
    if (From.Format == pf24bit) {
      // Four bytes read per pixel, the fourth replaced by opaque alpha; the
      // last pixel is read in three so as not to read past the row.
      for (int X = 0; X + 1 < Count; ++X) {
        std::uint32_t Pixel;
        std::memcpy(&Pixel, In + 3 * X, 4);
        Pixel |= 0xFF000000u;
        std::memcpy(Out + 4 * X, &Pixel, 4);
      }
      const int Last = Count - 1;
      const std::uint8_t Tail[4] = {In[3 * Last], In[3 * Last + 1], In[3 * Last + 2], 255};
      std::memcpy(Out + 4 * Last, Tail, 4);
    } else {
      std::memcpy(Out, In, std::size_t(Count) * 4);
    }
  }
  return true;
}

// Maps every target pixel of Dest that lies on the bitmap to the nearest
// source pixel, leaving out the source's transparent colour when it is
// transparent.
void TCanvas::Blit(const TRect& Dest, const TBitmap& Source) {
  const auto [Left, Top, Right, Bottom] = Visible(Dest);
  if (Left >= Right || Top >= Bottom) return;
  const TDib& From = Source.Image();
  TDib& Target = FTarget.Writable();
  const bool Transparent = Source.Transparent();
  if (!Transparent && Dest.Width() == From.Width && Dest.Height() == From.Height &&
      CopyUnscaled(From, Target, {Left, Top, Right, Bottom}, Dest.Left, Dest.Top)) {
    FTarget.Modified();
    return;
  }
  const TColor Key = Transparent ? Source.TransparentColor() : clNone;
  std::vector<TRGBQuad> SourceLine(std::size_t(From.Width)), TargetLine(std::size_t(Target.Width));
  Detail::TNearestColor Nearest(Target.Palette);
  const std::int64_t DW = Dest.Width(), DH = Dest.Height();
  int DecodedRow = -1;
  for (int Y = Top; Y < Bottom; ++Y) {
    const int SY = int((Y - std::int64_t(Dest.Top)) * From.Height / DH);
    if (SY != DecodedRow) {
      Detail::DecodeRow(From, SY, SourceLine.data());
      DecodedRow = SY;
    }
    Detail::DecodeRow(Target, Y, TargetLine.data());
    for (int X = Left; X < Right; ++X) {
      const TRGBQuad P = SourceLine[std::size_t((X - std::int64_t(Dest.Left)) * From.Width / DW)];
      if (Transparent && RGB(P.rgbRed, P.rgbGreen, P.rgbBlue) == Key) continue;
      TargetLine[X] = {P.rgbBlue, P.rgbGreen, P.rgbRed, 255};
    }
    Detail::EncodeRow(Target, Y, TargetLine.data(), &Nearest);
  }
  FTarget.Modified();
}

// ---- TPicture --------------------------------------------------------------

TPicture::TPicture() = default;
TPicture::~TPicture() = default;

void TPicture::Adopt(std::unique_ptr<TGraphic> Graphic) {
  FGraphic = std::move(Graphic);
  if (FGraphic) {
    FGraphic->OnChange = [this](System::TObject*) { Changed(); };
    FGraphic->OnProgress = [this](System::TObject* Sender) {
      if (OnProgress) OnProgress(Sender);
    };
  }
  Changed();
}

void TPicture::Changed() {
  if (OnChange) OnChange(this);
}

void TPicture::SetGraphic(const TGraphic* Value) {
  if (!Value) {
    Adopt(nullptr);
    return;
  }
  // A picture kept in another class's data stays in it.
  if (const auto* Encoded = dynamic_cast<const TEncodedGraphic*>(Value)) {
    Adopt(Encoded->Copy());
    return;
  }
  auto Copy = std::make_unique<TBitmap>();
  Copy->Assign(Value);
  Adopt(std::move(Copy));
}

TBitmap* TPicture::Bitmap() {
  if (auto* Existing = dynamic_cast<TBitmap*>(FGraphic.get())) return Existing;
  // Another kind of graphic becomes a bitmap of its pixels, never an empty
  // one that throws them away.
  auto Made = std::make_unique<TBitmap>();
  if (FGraphic) Made->Assign(FGraphic.get());
  Adopt(std::move(Made));
  return static_cast<TBitmap*>(FGraphic.get());
}

void TPicture::SetBitmap(const TBitmap* Value) { SetGraphic(Value); }

int TPicture::Width() const { return FGraphic ? FGraphic->Width() : 0; }
int TPicture::Height() const { return FGraphic ? FGraphic->Height() : 0; }

void TPicture::Assign(const Classes::TPersistent* Source) {
  if (Source == this) return;
  if (!Source) {
    SetGraphic(nullptr);
  } else if (const auto* Other = dynamic_cast<const TPicture*>(Source)) {
    SetGraphic(Other->Graphic());
  } else if (const auto* Graphic = dynamic_cast<const TGraphic*>(Source)) {
    SetGraphic(Graphic);
  } else {
    TPersistent::Assign(Source);
  }
}

void TPicture::LoadFromFile(const std::string& FileName) {
  auto Loaded = std::make_unique<TBitmap>();
  Loaded->LoadFromFile(FileName);
  Adopt(std::move(Loaded));
}

void TPicture::SaveToFile(const std::string& FileName) const {
  if (!FGraphic) throw EInvalidGraphicOperation(FileName + ": the picture is empty");
  FGraphic->SaveToFile(FileName);
}

void TPicture::SaveToFile(Classes::TFileWriter& File) const {
  if (!FGraphic) throw EInvalidGraphicOperation(File.FileName() + ": the picture is empty");
  FGraphic->SaveToFile(File);
}

// ---- Bitmap resources -------------------------------------------------------

std::vector<std::uint8_t> BitmapResourceFile(std::span<const std::uint8_t> Data, const std::string& Where) {
  SysUtils::TByteReader In(Data, Where, SysUtils::RaiseFault<EInvalidGraphic>);
  // The fields of the 40-byte header that say where the pixels begin.
  SysUtils::TByteReader Info = In.Sub(40, "bitmap header");
  const std::uint32_t HeaderSize = Info.U32();
  Info.Skip(10);  // width, height, planes
  const unsigned Bits = Info.U16();
  const std::uint32_t Compression = Info.U32();
  Info.Skip(12);  // image size, resolution
  std::uint64_t Colours = Info.U32();
  if (Colours == 0 && Bits <= 8) Colours = std::uint64_t(1) << Bits;
  const std::uint64_t Masks = HeaderSize == 40 && Compression == 3 ? 12 : HeaderSize == 40 && Compression == 6 ? 16 : 0;
  const std::uint64_t Offset = 14 + std::uint64_t(HeaderSize) + Masks + 4 * Colours;
  if (Offset > 14 + Data.size()) In.Fail("bitmap resource header past its end");
  SysUtils::TByteWriter File(14 + Data.size());
  File.U8('B').U8('M').U32(std::uint32_t(Data.size() + 14)).U32(0).U32(std::uint32_t(Offset)).Bytes(Data);
  return File.Take();
}

void TBitmap::LoadFromResourceName(Windows::HMODULE Instance, const std::string& ResName) {
  const Windows::HMODULE Module = SysUtils::FindResourceHInstance(Instance);
  const std::string Where = Windows::GetModuleFileName(Instance) + ": resource BITMAP/" + ResName;
  const auto Data = Windows::FindResourceData(Module, ResName.c_str(), Windows::RT_BITMAP);
  if (Data.empty()) throw EInvalidGraphic(Where + ": no such resource");
  LoadFromBytes(BitmapResourceFile(Data, Where), Where);
}

}  // namespace Graphics
