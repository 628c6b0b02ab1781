// PNG and JPEG pictures through the system's imaging codecs.
//
// The codecs only decode and encode; what a file becomes is decided here,
// the same way as on Linux: which pixel format, how grey and 16-bit samples
// are widened or narrowed, how CMYK becomes light. Before a codec sees a
// file its structure is walked, for what the codecs do not report: a size
// past the limits (a codec may allocate the whole image when it opens the
// file), a file cut short (the JPEG codec fills the missing rows with grey
// and answers success), and a JPEG of thousands of tiny scans.
#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>

#include "Graphics/Codecs.hpp"
#include "SysUtils.hpp"
#include "os/Os.hpp"
#include "os/win32/JpegWalk.hpp"
#include "os/win32/Win32.hpp"
// After Win32.hpp, which sets up <windows.h> for them.
#include <objbase.h>
#include <wincodec.h>

namespace Graphics::Detail {

namespace {

// As many as a real progressive encoder writes, ten times over; each scan
// walks the whole image again.
constexpr int MaxScans = 100;

// " (0x88982F07)": the code as the system's documentation gives it.
std::string CodeText(HRESULT Result) {
  char Code[16];
  std::snprintf(Code, sizeof Code, " (0x%08lX)", static_cast<unsigned long>(Result));
  return Code;
}

std::string ResultText(HRESULT Result) {
  static const struct {
    HRESULT Code;
    const char* Text;
  } Known[] = {
      {WINCODEC_ERR_BADHEADER, "damaged header"},
      {WINCODEC_ERR_BADIMAGE, "damaged image data"},
      {WINCODEC_ERR_BADSTREAMDATA, "damaged data"},
      {WINCODEC_ERR_STREAMREAD, "data ends early"},
      {WINCODEC_ERR_UNKNOWNIMAGEFORMAT, "unknown image format"},
      {WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT, "unsupported pixel format"},
      {WINCODEC_ERR_COMPONENTNOTFOUND, "the system has no codec for it"},
      {WINCODEC_ERR_PALETTEUNAVAILABLE, "no palette"},
      {WINCODEC_ERR_FRAMEMISSING, "no image in the file"},
      {E_OUTOFMEMORY, "out of memory"},
  };
  for (const auto& Entry : Known)
    if (Entry.Code == Result) return Entry.Text + CodeText(Result);
  return Os::Win32::ErrorText(DWORD(Result)) + CodeText(Result);
}

// Turns a failed call into EInvalidGraphic, its message led by Prefix.
// Walked: the file's structure was checked first, so a codec that calls it
// of an unknown format (as Wine's does at any fault of its libpng) means
// its image data.
struct TCheck {
  std::string Prefix;
  bool Walked = false;
  [[noreturn]] void Fail(const std::string& Fault) const { throw EInvalidGraphic(Prefix + Fault); }
  void operator()(HRESULT Result) const {
    if (Walked && Result == WINCODEC_ERR_UNKNOWNIMAGEFORMAT) Fail("damaged image data" + CodeText(Result));
    if (FAILED(Result)) Fail(ResultText(Result));
  }
};

// One reference to a COM object, released when the holder goes.
template <class T>
class TComRef {
public:
  TComRef() = default;
  // Takes over the reference the caller holds.
  explicit TComRef(T* Object) : FObject(Object) {}
  ~TComRef() { Reset(); }
  TComRef(const TComRef&) = delete;
  TComRef& operator=(const TComRef&) = delete;
  T* operator->() const { return FObject; }
  T* Get() const { return FObject; }
  // Where a creating call stores the new object.
  T** Put() {
    Reset();
    return &FObject;
  }
  void** PutVoid() { return reinterpret_cast<void**>(Put()); }

private:
  void Reset() {
    if (FObject) FObject->Release();
    FObject = nullptr;
  }
  T* FObject = nullptr;
};

// COM for the length of one call. A thread that already runs COM in the
// other threading model answers RPC_E_CHANGED_MODE; the imaging objects
// work in either, so it is used as it is and left alone.
class TComApartment {
public:
  explicit TComApartment(const TCheck& Check) : FResult(::CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {
    if (FResult != RPC_E_CHANGED_MODE) Check(FResult);
  }
  ~TComApartment() {
    if (SUCCEEDED(FResult)) ::CoUninitialize();
  }
  TComApartment(const TComApartment&) = delete;
  TComApartment& operator=(const TComApartment&) = delete;

private:
  HRESULT FResult;
};

// The apartment is a member ahead of the factory, so it is left only after
// the factory is released, even when creating the factory fails.
struct TImaging {
  explicit TImaging(const TCheck& Check) : Apartment(Check) {
    Check(::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                             Factory.PutVoid()));
  }
  TComApartment Apartment;
  TComRef<IWICImagingFactory> Factory;
};

std::uint32_t Crc32(const std::uint8_t* Bytes, std::size_t Count) {
  static const auto Table = [] {
    std::array<std::uint32_t, 256> Entries{};
    for (std::uint32_t I = 0; I < 256; ++I) {
      std::uint32_t C = I;
      for (int K = 0; K < 8; ++K) C = C & 1 ? 0xEDB88320u ^ (C >> 1) : C >> 1;
      Entries[I] = C;
    }
    return Entries;
  }();
  std::uint32_t C = 0xFFFFFFFFu;
  for (std::size_t I = 0; I < Count; ++I) C = Table[(C ^ Bytes[I]) & 0xFF] ^ (C >> 8);
  return C ^ 0xFFFFFFFFu;
}

// An IHDR that libpng takes: sides from 1 to 2^31 - 1, a bit depth its
// colour type has, and the one compression and filter method.
bool ValidHeader(std::span<const std::uint8_t> Header) {
  if (Header.size() != 13) return false;
  const std::uint32_t Width = SysUtils::Be32(&Header[0]), Height = SysUtils::Be32(&Header[4]);
  const unsigned Depth = Header[8], Colour = Header[9];
  const auto Depths = [Depth](std::initializer_list<unsigned> Allowed) {
    return std::find(Allowed.begin(), Allowed.end(), Depth) != Allowed.end();
  };
  const bool DepthFits = Colour == 0   ? Depths({1, 2, 4, 8, 16})
                         : Colour == 3 ? Depths({1, 2, 4, 8})
                                       : (Colour == 2 || Colour == 4 || Colour == 6) && Depths({8, 16});
  return Width > 0 && Height > 0 && Width <= 0x7FFFFFFFu && Height <= 0x7FFFFFFFu && DepthFits && Header[10] == 0 &&
         Header[11] == 0 && Header[12] <= 1;
}

// The IHDR's sides are checked first, for the same message as any other
// oversized picture. Then the chunks are walked to IEND, refusing what
// libpng refuses and the codec may not: a file cut anywhere, a chunk type
// that is not four letters, a length past 2^31, a damaged critical chunk,
// an IHDR libpng refuses, no image data.
// A damaged ancillary chunk is dropped, as libpng drops it: the answer is
// then the file without such chunks, and empty when it has none.
std::vector<std::uint8_t> CheckPngChunks(std::span<const std::uint8_t> Data, const std::string& Name) {
  if (Data.size() >= 24 && std::memcmp(Data.data() + 12, "IHDR", 4) == 0)
    CheckImageSize(SysUtils::Be32(Data.data() + 16), SysUtils::Be32(Data.data() + 20), Name);
  const std::string Fault = Name + ": PNG decoding failed: ";
  std::vector<std::uint8_t> Kept;
  std::size_t KeptUpTo = 0;  // where the bytes not yet copied to Kept start
  bool SeenData = false;
  for (std::size_t Position = 8;;) {
    if (Data.size() - Position < 8) throw EInvalidGraphic(Name + ": truncated PNG data");
    const std::uint8_t* Chunk = Data.data() + Position;
    const std::uint32_t Length = SysUtils::Be32(Chunk);
    const std::string Type(reinterpret_cast<const char*>(Chunk + 4), 4);
    if (Length > 0x7FFFFFFFu) throw EInvalidGraphic(Fault + "chunk length out of range");
    if (!std::all_of(Type.begin(), Type.end(), [](char C) { return (C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z'); }))
      throw EInvalidGraphic(Fault + "invalid chunk type");
    if (std::uint64_t(Data.size() - Position - 8) < std::uint64_t(Length) + 4)
      throw EInvalidGraphic(Name + ": truncated PNG data");
    const std::size_t End = Position + 12 + Length;
    if (Crc32(Chunk + 4, std::size_t(Length) + 4) != SysUtils::Be32(Chunk + 8 + Length)) {
      if (Type[0] <= 'Z') throw EInvalidGraphic(Fault + Type + ": CRC error");
      Kept.insert(Kept.end(), Data.begin() + KeptUpTo, Data.begin() + Position);
      KeptUpTo = End;
    }
    if (Type == "IHDR" && !ValidHeader({Chunk + 8, Length})) throw EInvalidGraphic(Fault + "Invalid IHDR data");
    SeenData |= Type == "IDAT";
    if (Type == "IEND") {
      // libpng's words for a file with no image data.
      if (!SeenData) throw EInvalidGraphic(Fault + "IEND: out of place");
      if (!Kept.empty()) Kept.insert(Kept.end(), Data.begin() + KeptUpTo, Data.begin() + End);
      return Kept;
    }
    Position = End;
  }
}

// The first image of a file, opened and checked against the limits.
struct TFrame {
  TComRef<IWICStream> Stream;
  TComRef<IWICBitmapDecoder> Decoder;
  TComRef<IWICBitmapFrameDecode> Image;
  UINT Width = 0, Height = 0;
  WICPixelFormatGUID Format{};
};

void OpenFrame(TImaging& Imaging, std::span<const std::uint8_t> Data, const GUID& Container, const TCheck& Check,
               const std::string& Name, TFrame& Frame) {
  // A memory stream holds at most 4 GB.
  if constexpr (sizeof(std::size_t) > sizeof(DWORD))
    if (Data.size() > std::numeric_limits<DWORD>::max()) Check.Fail("the file is too large");
  Check(Imaging.Factory->CreateStream(Frame.Stream.Put()));
  // The stream only reads the memory; the interface is not const-correct.
  Check(Frame.Stream->InitializeFromMemory(const_cast<BYTE*>(Data.data()), DWORD(Data.size())));
  Check(Imaging.Factory->CreateDecoder(Container, nullptr, Frame.Decoder.Put()));
  Check(Frame.Decoder->Initialize(Frame.Stream.Get(), WICDecodeMetadataCacheOnDemand));
  Check(Frame.Decoder->GetFrame(0, Frame.Image.Put()));
  Check(Frame.Image->GetSize(&Frame.Width, &Frame.Height));
  CheckImageSize(Frame.Width, Frame.Height, Name);
  if (Frame.Width == 0 || Frame.Height == 0) Check.Fail("the picture has no pixels");
  Check(Frame.Image->GetPixelFormat(&Frame.Format));
}

// How rows of a codec's pixel format become rows of a bitmap.
enum class TRowKind {
  Copy,    // the bitmap format's own bytes
  Grey,    // 1, 2, 4 or 16-bit grey, widened or narrowed to 8 bits
  TwoBit,  // 2-bit indices, spread to 4 bits
  Wide,    // 16-bit RGB or RGBA, low byte first, narrowed to BGR or BGRA
  Cmyk,    // ink amounts, turned into light
};

struct TRowLayout {
  const GUID* Source;
  int Bits;  // per pixel in the codec's rows
  TPixelFormat Target;
  TRowKind Kind;
  bool Palette;  // indices into the frame's palette
};

const TRowLayout RowLayouts[] = {
    {&GUID_WICPixelFormat1bppIndexed, 1, pf1bit, TRowKind::Copy, true},
    {&GUID_WICPixelFormat2bppIndexed, 2, pf4bit, TRowKind::TwoBit, true},
    {&GUID_WICPixelFormat4bppIndexed, 4, pf4bit, TRowKind::Copy, true},
    {&GUID_WICPixelFormat8bppIndexed, 8, pf8bit, TRowKind::Copy, true},
    {&GUID_WICPixelFormatBlackWhite, 1, pf8bit, TRowKind::Grey, false},
    {&GUID_WICPixelFormat2bppGray, 2, pf8bit, TRowKind::Grey, false},
    {&GUID_WICPixelFormat4bppGray, 4, pf8bit, TRowKind::Grey, false},
    {&GUID_WICPixelFormat8bppGray, 8, pf8bit, TRowKind::Copy, false},
    {&GUID_WICPixelFormat16bppGray, 16, pf8bit, TRowKind::Grey, false},
    {&GUID_WICPixelFormat24bppBGR, 24, pf24bit, TRowKind::Copy, false},
    {&GUID_WICPixelFormat32bppBGRA, 32, pf32bit, TRowKind::Copy, false},
    {&GUID_WICPixelFormat48bppRGB, 48, pf24bit, TRowKind::Wide, false},
    {&GUID_WICPixelFormat64bppRGBA, 64, pf32bit, TRowKind::Wide, false},
    {&GUID_WICPixelFormat32bppCMYK, 32, pf24bit, TRowKind::Cmyk, false},
};
const TRowLayout ConvertedToBgr = {&GUID_WICPixelFormat24bppBGR, 24, pf24bit, TRowKind::Copy, false};
const TRowLayout ConvertedToBgra = {&GUID_WICPixelFormat32bppBGRA, 32, pf32bit, TRowKind::Copy, false};

const TRowLayout* FindRowLayout(const GUID& Format) {
  for (const TRowLayout& Layout : RowLayouts)
    if (IsEqualGUID(*Layout.Source, Format)) return &Layout;
  return nullptr;
}

// No colour management, as on Linux: light is what the ink leaves.
void CmykToBgr(const std::uint8_t* In, std::uint8_t* Out, int Width) {
  for (int X = 0; X < Width; ++X, In += 4, Out += 3) {
    const unsigned K = 255u - In[3];
    Out[0] = std::uint8_t(((255u - In[2]) * K + 127) / 255);
    Out[1] = std::uint8_t(((255u - In[1]) * K + 127) / 255);
    Out[2] = std::uint8_t(((255u - In[0]) * K + 127) / 255);
  }
}

void ConvertRow(const TRowLayout& Layout, const std::uint8_t* In, std::uint8_t* Out, int Width) {
  switch (Layout.Kind) {
    case TRowKind::Copy:  // read straight into the bitmap
      break;
    case TRowKind::Grey:
      if (Layout.Bits == 16) {
        for (int X = 0; X < Width; ++X) Out[X] = Widen(In[2 * X] | In[2 * X + 1] << 8, 16);
      } else {
        const int Bits = Layout.Bits;
        const unsigned Mask = (1u << Bits) - 1;
        for (int X = 0; X < Width; ++X) {
          const std::size_t Bit = std::size_t(X) * Bits;
          Out[X] = Widen((In[Bit / 8] >> (8 - Bits - Bit % 8)) & Mask, Bits);
        }
      }
      break;
    case TRowKind::TwoBit:
      for (std::size_t I = 0; I < (std::size_t(Width) + 3) / 4; ++I) {
        const unsigned B = In[I];
        Out[2 * I] = std::uint8_t((B >> 6) << 4 | ((B >> 4) & 3));
        Out[2 * I + 1] = std::uint8_t(((B >> 2) & 3) << 4 | (B & 3));
      }
      break;
    case TRowKind::Wide: {
      const int Channels = Layout.Bits / 16;
      const auto Sample = [In](std::size_t I) { return Widen(In[2 * I] | In[2 * I + 1] << 8, 16); };
      for (std::size_t X = 0; X < std::size_t(Width); ++X) {
        const std::size_t I = X * Channels;
        Out[X * Channels] = Sample(I + 2);
        Out[X * Channels + 1] = Sample(I + 1);
        Out[X * Channels + 2] = Sample(I);
        if (Channels == 4) Out[X * 4 + 3] = Sample(I + 3);
      }
      break;
    }
    case TRowKind::Cmyk:
      CmykToBgr(In, Out, Width);
      break;
  }
}

std::vector<WICColor> ReadPalette(TImaging& Imaging, TFrame& Frame, const TCheck& Check) {
  TComRef<IWICPalette> Palette;
  Check(Imaging.Factory->CreatePalette(Palette.Put()));
  Check(Frame.Image->CopyPalette(Palette.Get()));
  UINT Count = 0;
  Check(Palette->GetColorCount(&Count));
  std::vector<WICColor> Colours(std::min(Count, 256u));
  UINT Read = 0;
  if (!Colours.empty()) Check(Palette->GetColors(UINT(Colours.size()), Colours.data(), &Read));
  Colours.resize(std::min<std::size_t>(Read, Colours.size()));
  return Colours;
}

// A codec copies whole bytes, so the bits after the last pixel of a 1, 2
// or 4-bit row hold whatever its buffer held there; the bitmap keeps them
// zero, as it keeps all padding.
void ClearPadding(TDib& Image, int Y) {
  const std::size_t Bits = std::size_t(Image.Width) * BitsPerPixel(Image.Format);
  std::uint8_t* Row = Image.Row(Y);
  if (Bits % 8) Row[Bits / 8] &= std::uint8_t(0xFF00u >> (Bits % 8));
  const std::size_t Used = (Bits + 7) / 8;
  std::memset(Row + Used, 0, Image.Stride - Used);
}

// Reads the frame's rows into a new bitmap, through a format converter
// when the layout's source is not the frame's own format.
TDib ReadRows(TImaging& Imaging, TFrame& Frame, const TRowLayout& Layout, const TCheck& Check,
              const std::string& Name) {
  TComRef<IWICFormatConverter> Converter;
  IWICBitmapSource* Source = Frame.Image.Get();
  if (!IsEqualGUID(*Layout.Source, Frame.Format)) {
    Check(Imaging.Factory->CreateFormatConverter(Converter.Put()));
    Check(Converter->Initialize(Frame.Image.Get(), *Layout.Source, WICBitmapDitherTypeNone, nullptr, 0.0,
                                WICBitmapPaletteTypeCustom));
    Source = Converter.Get();
  }
  ChargeFormPixels(Frame.Width, Frame.Height, Name);
  TDib Image = MakeDib(int(Frame.Width), int(Frame.Height), Layout.Target, Name);
  std::vector<std::uint8_t> Line(Layout.Kind == TRowKind::Copy ? 0 : BytesPerScanline(Image.Width, Layout.Bits));
  for (int Y = 0; Y < Image.Height; ++Y) {
    const WICRect Row{0, Y, Image.Width, 1};
    if (Line.empty()) {
      Check(Source->CopyPixels(&Row, UINT(Image.Stride), UINT(Image.Stride), Image.Row(Y)));
    } else {
      Check(Source->CopyPixels(&Row, UINT(Line.size()), UINT(Line.size()), Line.data()));
      ConvertRow(Layout, Line.data(), Image.Row(Y), Image.Width);
    }
    ClearPadding(Image, Y);
  }
  return Image;
}

// The bitmap's palette as WIC takes it, padded to every index in use, as a
// PNG's palette must be.
std::vector<WICColor> PaletteToWrite(const TDib& Image) {
  std::vector<WICColor> Palette;
  for (const TRGBQuad& C : PaddedPalette(Image))
    Palette.push_back(0xFF000000u | WICColor(C.rgbRed) << 16 | WICColor(C.rgbGreen) << 8 | C.rgbBlue);
  return Palette;
}

struct TEncoding {
  const GUID* Container;
  const GUID* Format;
  bool Decoded;   // rows go through DecodeRow and are packed as 24-bit BGR
  float Quality;  // the JPEG encoder's ImageQuality, 0 to 1; below 0 for none
};

// Collects what an encoder writes, growing as a vector grows. The system's
// stream on global memory grows by each write's size, so a picture of tens
// of megabytes would cost gigabytes of copying.
class TByteStream final : public IStream {
public:
  std::vector<std::uint8_t> Bytes;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID Id, void** Object) override {
    if (!Object) return E_POINTER;
    if (!IsEqualIID(Id, IID_IUnknown) && !IsEqualIID(Id, IID_ISequentialStream) && !IsEqualIID(Id, IID_IStream)) {
      *Object = nullptr;
      return E_NOINTERFACE;
    }
    *Object = static_cast<IStream*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++FReferences; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG Left = --FReferences;
    if (Left == 0) delete this;
    return Left;
  }
  HRESULT STDMETHODCALLTYPE Read(void* Out, ULONG Count, ULONG* Done) override {
    const ULONG Copied = ULONG(std::min<std::size_t>(Count, Bytes.size() - std::min(FPosition, Bytes.size())));
    if (Copied) std::memcpy(Out, Bytes.data() + FPosition, Copied);
    FPosition += Copied;
    if (Done) *Done = Copied;
    return Copied < Count ? S_FALSE : S_OK;
  }
  HRESULT STDMETHODCALLTYPE Write(const void* In, ULONG Count, ULONG* Done) override {
    if (Done) *Done = 0;
    if (Count > Bytes.max_size() - FPosition || !Fit(FPosition + Count)) return STG_E_MEDIUMFULL;
    if (Count) std::memcpy(Bytes.data() + FPosition, In, Count);
    FPosition += Count;
    if (Done) *Done = Count;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER Move, DWORD Origin, ULARGE_INTEGER* Result) override {
    std::size_t Base;
    switch (Origin) {
      case STREAM_SEEK_SET:
        Base = 0;
        break;
      case STREAM_SEEK_CUR:
        Base = FPosition;
        break;
      case STREAM_SEEK_END:
        Base = Bytes.size();
        break;
      default:
        return STG_E_INVALIDFUNCTION;
    }
    const std::int64_t By = Move.QuadPart;
    if (By < 0 ? std::uint64_t(-(By + 1)) >= Base : std::uint64_t(By) > Bytes.max_size() - Base)
      return STG_E_INVALIDFUNCTION;
    FPosition = std::size_t(std::int64_t(Base) + By);
    if (Result) Result->QuadPart = FPosition;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER Size) override {
    if (Size.QuadPart > Bytes.max_size()) return STG_E_MEDIUMFULL;
    if (Size.QuadPart < Bytes.size()) Bytes.resize(std::size_t(Size.QuadPart));
    return Fit(std::size_t(Size.QuadPart)) ? S_OK : STG_E_MEDIUMFULL;
  }
  HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Revert() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
  HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
    return STG_E_INVALIDFUNCTION;
  }
  HRESULT STDMETHODCALLTYPE Stat(STATSTG* Status, DWORD) override {
    if (!Status) return STG_E_INVALIDPOINTER;
    *Status = STATSTG{};
    Status->type = STGTY_STREAM;
    Status->cbSize.QuadPart = Bytes.size();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(IStream**) override { return E_NOTIMPL; }

private:
  ~TByteStream() = default;
  // Grows the bytes to at least Size; no exception may leave a COM method.
  bool Fit(std::size_t Size) {
    if (Size <= Bytes.size()) return true;
    try {
      Bytes.resize(Size);
    } catch (const std::bad_alloc&) {
      return false;
    }
    return true;
  }
  std::atomic<ULONG> FReferences{1};
  std::size_t FPosition = 0;
};

std::vector<std::uint8_t> Encode(const TDib& Image, const TEncoding& Encoding, const TCheck& Check) {
  TImaging Imaging(Check);
  TComRef<TByteStream> Stream(new TByteStream);
  TComRef<IWICBitmapEncoder> Encoder;
  Check(Imaging.Factory->CreateEncoder(*Encoding.Container, nullptr, Encoder.Put()));
  Check(Encoder->Initialize(Stream.Get(), WICBitmapEncoderNoCache));
  TComRef<IWICBitmapFrameEncode> Frame;
  TComRef<IPropertyBag2> Options;
  Check(Encoder->CreateNewFrame(Frame.Put(), Options.Put()));
  if (Encoding.Quality >= 0) {
    PROPBAG2 Option{};
    Option.pstrName = const_cast<LPOLESTR>(L"ImageQuality");
    VARIANT Value{};
    Value.vt = VT_R4;
    Value.fltVal = Encoding.Quality;
    Check(Options->Write(1, &Option, &Value));
  }
  Check(Frame->Initialize(Options.Get()));
  Check(Frame->SetSize(UINT(Image.Width), UINT(Image.Height)));
  // The encoder answers the format it will write, which may not be the one
  // asked for.
  WICPixelFormatGUID Format = *Encoding.Format;
  Check(Frame->SetPixelFormat(&Format));
  if (!IsEqualGUID(Format, *Encoding.Format)) Check.Fail("the system's encoder cannot write this pixel format");
  if (IsIndexed(Image.Format)) {
    std::vector<WICColor> Colours = PaletteToWrite(Image);
    TComRef<IWICPalette> Palette;
    Check(Imaging.Factory->CreatePalette(Palette.Put()));
    Check(Palette->InitializeCustom(Colours.data(), UINT(Colours.size())));
    Check(Frame->SetPalette(Palette.Get()));
  }
  std::vector<TRGBQuad> Decoded(Encoding.Decoded ? std::size_t(Image.Width) : 0);
  std::vector<std::uint8_t> Packed(Encoding.Decoded ? BytesPerScanline(Image.Width, 24) : 0);
  for (int Y = 0; Y < Image.Height; ++Y) {
    const std::uint8_t* Row = Image.Row(Y);
    UINT Bytes = UINT(Image.Stride);
    if (Encoding.Decoded) {
      DecodeRow(Image, Y, Decoded.data());
      for (std::size_t X = 0; X < Decoded.size(); ++X) {
        Packed[3 * X] = Decoded[X].rgbBlue;
        Packed[3 * X + 1] = Decoded[X].rgbGreen;
        Packed[3 * X + 2] = Decoded[X].rgbRed;
      }
      Row = Packed.data();
      Bytes = UINT(Packed.size());
    }
    // The encoder only reads the row; the interface is not const-correct.
    Check(Frame->WritePixels(1, Bytes, Bytes, const_cast<BYTE*>(Row)));
  }
  Check(Frame->Commit());
  Check(Encoder->Commit());
  return std::move(Stream->Bytes);
}

}  // namespace

TDib ReadPng(std::span<const std::uint8_t> Data, const std::string& Name) {
  if (SniffFormat(Data) != TFileFormat::Png) throw EInvalidGraphic(Name + ": not a PNG picture");
  const std::vector<std::uint8_t> Repaired = CheckPngChunks(Data, Name);
  if (!Repaired.empty()) Data = Repaired;
  const TCheck Check{Name + ": PNG decoding failed: ", true};
  TImaging Imaging(Check);
  TFrame Frame;
  OpenFrame(Imaging, Data, GUID_ContainerFormatPng, Check, Name, Frame);

  // The codec gives grey, palette, BGR or BGRA rows of 8 or 16 bits, with
  // any transparency already turned into alpha; anything else is brought
  // to BGRA.
  const TRowLayout* Layout = FindRowLayout(Frame.Format);
  if (!Layout || Layout->Kind == TRowKind::Cmyk) Layout = &ConvertedToBgra;
  std::vector<WICColor> Colours;
  if (Layout->Palette) {
    Colours = ReadPalette(Imaging, Frame, Check);
    // The bitmap's palette has no alpha, so a palette with see-through
    // entries reads as 32 bits.
    if (std::any_of(Colours.begin(), Colours.end(), [](WICColor C) { return C >> 24 != 0xFF; }))
      Layout = &ConvertedToBgra;
  }
  TDib Image = ReadRows(Imaging, Frame, *Layout, Check, Name);
  if (Layout->Palette) {
    Colours.resize(std::min<std::size_t>(Colours.size(), std::size_t(1) << BitsPerPixel(Image.Format)));
    Image.Palette.resize(Colours.size());
    for (std::size_t I = 0; I < Colours.size(); ++I)
      Image.Palette[I] = {std::uint8_t(Colours[I]), std::uint8_t(Colours[I] >> 8), std::uint8_t(Colours[I] >> 16), 0};
  } else if (Image.Format == pf8bit) {
    Image.Palette = GreyPalette();
  }
  return Image;
}

// WIC's PNG encoder has no compression level: every level writes what it
// writes.
std::vector<std::uint8_t> WritePng(const TDib& Image, TPngCompression) {
  if (Image.Empty()) throw EInvalidGraphic("an empty picture cannot be saved as PNG");
  TEncoding Encoding{&GUID_ContainerFormatPng, &GUID_WICPixelFormat24bppBGR, false, -1};
  switch (Image.Format) {
    case pf1bit:
      Encoding.Format = &GUID_WICPixelFormat1bppIndexed;
      break;
    case pf4bit:
      Encoding.Format = &GUID_WICPixelFormat4bppIndexed;
      break;
    case pf8bit:
      Encoding.Format = &GUID_WICPixelFormat8bppIndexed;
      break;
    case pf24bit:
      break;
    case pf32bit:
      Encoding.Format = &GUID_WICPixelFormat32bppBGRA;
      break;
    default:
      // The device surface's fourth byte is not treated as transparency.
      Encoding.Decoded = true;
      break;
  }
  return Encode(Image, Encoding, TCheck{"PNG encoding failed: "});
}

TDib ReadJpeg(std::span<const std::uint8_t> Data, const std::string& Name) {
  if (SniffFormat(Data) != TFileFormat::Jpeg) throw EInvalidGraphic(Name + ": not a JPEG picture");
  const Os::Win32::TJpegLayout Layout =
      Os::Win32::WalkJpeg(Data, [&Name](std::uint32_t Width, std::uint32_t Height) { CheckImageSize(Width, Height, Name); });
  if (Layout.Scans > MaxScans) throw EInvalidGraphic(Name + ": JPEG decoding failed: too many scans");
  if (Layout.CutShort) throw EInvalidGraphic(Name + ": truncated JPEG data");
  if (!Layout.Corrupt.empty()) throw EInvalidGraphic(Name + ": JPEG decoding failed: " + Layout.Corrupt);
  const TCheck Check{Name + ": JPEG decoding failed: "};
  TImaging Imaging(Check);
  TFrame Frame;
  OpenFrame(Imaging, Data, GUID_ContainerFormatJpeg, Check, Name, Frame);

  // Grey, BGR or CMYK from the codec; anything else is brought to BGR.
  const TRowLayout* Rows = FindRowLayout(Frame.Format);
  const bool Grey = IsEqualGUID(Frame.Format, GUID_WICPixelFormat8bppGray);
  if (!Grey && (!Rows || Rows->Target != pf24bit)) Rows = &ConvertedToBgr;
  TDib Image = ReadRows(Imaging, Frame, *Rows, Check, Name);
  if (Grey) Image.Palette = GreyPalette();
  return Image;
}

std::vector<std::uint8_t> WriteJpeg(const TDib& Image, int Quality) {
  if (Image.Empty()) throw EInvalidGraphic("an empty picture cannot be saved as JPEG");
  // JPEG has no alpha and the codec takes no 32-bit rows: every format but
  // 24-bit is decoded a row at a time. Quality is clamped as libjpeg does.
  const float Scale = float(std::clamp(Quality, 1, 100)) / 100.0f;
  const TEncoding Encoding{&GUID_ContainerFormatJpeg, &GUID_WICPixelFormat24bppBGR, Image.Format != pf24bit, Scale};
  return Encode(Image, Encoding, TCheck{"JPEG encoding failed: "});
}

}  // namespace Graphics::Detail
