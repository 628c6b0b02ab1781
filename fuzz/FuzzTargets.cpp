#include "FuzzTargets.hpp"

#include <cstdlib>

#include "Graphics/Codecs.hpp"
#include "SysUtils.hpp"

namespace Fuzz {

namespace {
bool GProgramLimits = false;
}  // namespace

TFuzzLimits::TFuzzLimits() : FSaved(Graphics::GetImageLimits()) {
  Graphics::SetImageLimits(GProgramLimits ? Graphics::TImageLimits{} : Graphics::TImageLimits{4096, 16u << 20, 16u << 20});
}
TFuzzLimits::~TFuzzLimits() { Graphics::SetImageLimits(FSaved); }

namespace {

bool SameImage(const Graphics::Detail::TDib& A, const Graphics::Detail::TDib& B) {
  return A.Width == B.Width && A.Height == B.Height && A.Format == B.Format && A.Palette == B.Palette &&
         A.Stride == B.Stride && A.Bits == B.Bits;
}

}  // namespace

void UseProgramLimits() { GProgramLimits = true; }

int BmpReader(const std::uint8_t* Data, std::size_t Size) {
  using namespace Graphics::Detail;
  const TFuzzLimits Limits;
  TDib Image;
  try {
    Image = ReadBmp({Data, Size}, "fuzz.bmp");
  } catch (const Graphics::EInvalidGraphic&) {
    return 0;
  }
  // Whatever the reader accepts, the writer must write and the reader read
  // back unchanged.
  if (!SameImage(Image, ReadBmp(WriteBmp(Image), "written.bmp"))) std::abort();
  return 0;
}

}  // namespace Fuzz

namespace Fuzz {

namespace {

bool SamePixels(const Graphics::Detail::TDib& A, const Graphics::Detail::TDib& B) {
  using namespace Graphics::Detail;
  if (A.Width != B.Width || A.Height != B.Height) return false;
  std::vector<Graphics::TRGBQuad> RowA(std::size_t(A.Width)), RowB(std::size_t(A.Width));
  for (int Y = 0; Y < A.Height; ++Y) {
    DecodeRow(A, Y, RowA.data());
    DecodeRow(B, Y, RowB.data());
    if (RowA != RowB) return false;
  }
  return true;
}

}  // namespace

int PictureLoader(const std::uint8_t* Data, std::size_t Size) {
  using namespace Graphics::Detail;
  const TFuzzLimits Limits;
  Graphics::TBitmap Bitmap;
  try {
    Bitmap.LoadFromBytes({Data, Size}, "fuzz input");
  } catch (const Graphics::EInvalidGraphic&) {
    return 0;
  }
  // Whatever loads must save as PNG and read back with the same pixels, in
  // the same format where PNG has it, and save as JPEG and read back at the
  // same size.
  const TDib& Image = Bitmap.Image();
  if (Image.Empty()) return 0;
  const bool PngHasFormat = IsIndexed(Image.Format) || Image.Format == Graphics::pf24bit ||
                            Image.Format == Graphics::pf32bit;
  const TDib Png = ReadPng(WritePng(Image), "written.png");
  if (Png.Format != (PngHasFormat ? Image.Format : Graphics::pf24bit) || !SamePixels(Image, Png)) std::abort();
  const TDib Jpeg = ReadJpeg(WriteJpeg(Image), "written.jpg");
  if (Jpeg.Width != Image.Width || Jpeg.Height != Image.Height) std::abort();
  return 0;
}

}  // namespace Fuzz

// Windows reads PNG through the system's codecs, with no libpng to compare.
#if !defined(_WIN32)
namespace Fuzz {

namespace {

// What a read gave: the image, or the fault it raised.
struct TPngOutcome {
  Graphics::Detail::TDib Image;
  std::string Fault;
};

template <class TRead>
TPngOutcome PngOutcome(TRead Read) {
  try {
    return {Read(), {}};
  } catch (const Graphics::EInvalidGraphic& E) {
    return {{}, std::string("EInvalidGraphic: ") + E.what()};
  } catch (const Graphics::EOutOfResources& E) {
    return {{}, std::string("EOutOfResources: ") + E.what()};
  }
}

void ReadPngBothWays(std::span<const std::uint8_t> Bytes) {
  using namespace Graphics::Detail;
  const TPngOutcome Read = PngOutcome([&] { return ReadPng(Bytes, "fuzz.png"); });
  const TPngOutcome Plain = PngOutcome([&] { return ReadPngThroughLibpng(Bytes, "fuzz.png"); });
  // The one difference the readers keep: zlib refuses a Huffman code that
  // leaves codes unassigned, which ISA-L reads while the data uses none of them.
  const bool IncompleteCode = Read.Fault.empty() && (Plain.Fault.find("lengths set") != std::string::npos ||
                                                     Plain.Fault.find("distances set") != std::string::npos);
  if (IncompleteCode) return;
  if (Read.Fault != Plain.Fault || !SameImage(Read.Image, Plain.Image)) std::abort();
}

// The CRC-32 of PNG chunks, a bit at a time: inputs are small.
std::uint32_t ChunkCrc(const std::uint8_t* Bytes, std::size_t Size) {
  std::uint32_t Crc = 0xFFFFFFFF;
  for (std::size_t I = 0; I < Size; ++I) {
    Crc ^= Bytes[I];
    for (int Bit = 0; Bit < 8; ++Bit) Crc = Crc >> 1 ^ (0xEDB88320 & (0 - (Crc & 1)));
  }
  return ~Crc;
}

// The same bytes with every whole chunk's CRC made right, so that a
// mutation inside a chunk reaches what follows the CRC check.
std::vector<std::uint8_t> WithRightCrcs(const std::uint8_t* Data, std::size_t Size) {
  std::vector<std::uint8_t> Out(Data, Data + Size);
  for (std::size_t At = 8; At + 12 <= Size;) {
    const std::size_t Length = std::size_t(Data[At]) << 24 | Data[At + 1] << 16 | Data[At + 2] << 8 | Data[At + 3];
    if (Length > Size - At - 12) break;
    const std::uint32_t Crc = ChunkCrc(Data + At + 4, Length + 4);
    for (int I = 0; I < 4; ++I) Out[At + 8 + Length + I] = std::uint8_t(Crc >> (24 - 8 * I));
    At += 12 + Length;
  }
  return Out;
}

}  // namespace

int PngReader(const std::uint8_t* Data, std::size_t Size) {
  const TFuzzLimits Limits;
  ReadPngBothWays({Data, Size});
  ReadPngBothWays(WithRightCrcs(Data, Size));
  return 0;
}

}  // namespace Fuzz
#endif

namespace Fuzz {

int PackageRecords(const std::uint8_t* Data, std::size_t Size) {
  // The first byte picks the record, so one target covers both readers.
  if (Size == 0) return 0;
  const std::span<const std::uint8_t> Rest(Data + 1, Size - 1);
  try {
    if (Data[0] & 1) {
      const SysUtils::TVersionInfo Info = SysUtils::DecodeVersionInfo(Rest, "fuzz");
      // What the reader accepts, the writer writes back identically.
      if (SysUtils::DecodeVersionInfo(SysUtils::EncodeVersionInfo(Info), "again").Strings != Info.Strings) std::abort();
    } else {
      const SysUtils::TPackageInfo Info = SysUtils::DecodePackageInfo(Rest, "fuzz");
      if (!(SysUtils::DecodePackageInfo(SysUtils::EncodePackageInfo(Info), "again") == Info)) std::abort();
    }
  } catch (const SysUtils::EPackageError&) {
  }
  return 0;
}

}  // namespace Fuzz

#include "Classes.hpp"
#include "os/Os.hpp"
#include "System/ModuleExports.hpp"
#include "System/PeFile.hpp"

namespace Fuzz {

int ModuleFile(const std::uint8_t* Data, std::size_t Size) {
  // The first byte picks the reader: the resource file alone, or a whole
  // module file, whose resources are then decoded too.
  if (Size == 0) return 0;
  const std::span<const std::uint8_t> Rest(Data + 1, Size - 1);
  try {
    const auto Entries =
        Data[0] & 1 ? SysUtils::DecodeResources(Rest, "fuzz.bpl") : Os::ReadModule(Rest, "fuzz.bpl").Resources;
    // What the reader accepts, the writer writes back to the same entries.
    const std::vector<std::uint8_t> Encoded = SysUtils::EncodeResources(Entries);
    const auto Again = SysUtils::DecodeResources(Encoded, "again");  // its data points into Encoded
    if (Again.size() != Entries.size()) std::abort();
    for (std::size_t I = 0; I < Entries.size(); ++I)
      if (Again[I].Name != Entries[I].Name || Again[I].Type != Entries[I].Type ||
          !std::equal(Again[I].Data.begin(), Again[I].Data.end(), Entries[I].Data.begin(), Entries[I].Data.end()))
        std::abort();
  } catch (const SysUtils::EPackageError&) {
  }
  return 0;
}

int ModuleFilePe(const std::uint8_t* Data, std::size_t Size) {
  if (Size == 0) return 0;
  const std::span<const std::uint8_t> Rest(Data + 1, Size - 1);
  const std::string Where = "fuzz.bpl";
  try {
    const SysUtils::Pe::TReader Reader(Rest, Data[0] & 1 ? SysUtils::Pe::TLayout::Image : SysUtils::Pe::TLayout::File, Where);
    const std::vector<SysUtils::Pe::TExport> Exports = Reader.Exports();
    for (const SysUtils::Pe::TExport& Export : Exports) {
      // Refused names never come out, and a name is demangled only when
      // what it could print is bounded; the bound must hold.
      if (Export.Name.empty() || Export.Name.find_first_of("\n\r\x1B") != std::string::npos) std::abort();
      const std::string Shown = SysUtils::NameExports({Export.Name}).front();
      if (Shown != Export.Name && Shown.size() > SysUtils::DemangledBound(Export.Name)) std::abort();
    }
    SysUtils::Pe::ExportNames(Exports);
    for (const Windows::TResourceEntry& Entry : Reader.Resources()) {
      if (Entry.Data.data() < Rest.data() || Entry.Data.data() + Entry.Data.size() > Rest.data() + Rest.size())
        std::abort();
      try {
        if (Entry.Type == Windows::RT_VERSION) SysUtils::DecodeVersionInfo(Entry.Data, Where);
        if (Entry.Type == Windows::RT_RCDATA && Entry.Name == "PACKAGEINFO")
          SysUtils::DecodePackageInfo(Entry.Data, Where);
      } catch (const SysUtils::EPackageError&) {
      }
    }
  } catch (const SysUtils::EPackageError&) {
  }
  return 0;
}

}  // namespace Fuzz
