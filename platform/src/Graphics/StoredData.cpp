// A bitmap and a picture as stored forms hold them: the defined property
// Data, the picture's class name and its BMP file with its length.
#include "Codecs.hpp"
#include "Graphics.hpp"
#include "SysUtils.hpp"

namespace Graphics {

void TBitmap::WriteData(Classes::TStream& Stream) const {
  const std::vector<std::uint8_t> File = Detail::WriteBmp(*FImage);
  const std::vector<std::uint8_t> Length = SysUtils::TByteWriter().U32(std::uint32_t(File.size())).Take();
  Stream.WriteBuffer(Length.data(), Length.size());
  Stream.WriteBuffer(File.data(), File.size());
}

void TBitmap::ReadData(Classes::TStream& Stream) {
  std::uint8_t Length[4];
  Stream.ReadBuffer(Length, 4);
  const std::uint64_t Size = SysUtils::Le32(Length);
  if (std::int64_t(Size) > Stream.Size() - Stream.Position())
    throw Classes::EReadError("bitmap data of " + SysUtils::ByteCount(Size) + " runs past its end");
  std::vector<std::uint8_t> File(Size);
  Stream.ReadBuffer(File.data(), File.size());
  LoadFromBytes(File, "bitmap data");
}

void TBitmap::DefineProperties(Classes::TFiler& Filer) {
  Filer.DefineBinaryProperty(
      "Data", [this](Classes::TStream& S) { ReadData(S); }, [this](Classes::TStream& S) { WriteData(S); }, !Empty());
}

namespace {
// The graphic classes a picture's data may name, with what makes one.
std::unique_ptr<TGraphic> MakeGraphic(const std::string& ClassName) {
  if (ClassName == "TBitmap") return std::make_unique<TBitmap>();
  if (ClassName == "TIcon") return std::make_unique<TIcon>();
  if (ClassName == "TJPEGImage") return std::make_unique<TJPEGImage>();
  if (ClassName == "TPngImage") return std::make_unique<TPngImage>();
  return nullptr;
}
}  // namespace

void TPicture::DefineProperties(Classes::TFiler& Filer) {
  const auto Read = [this](Classes::TStream& S) {
    std::uint8_t Length = 0;
    S.ReadBuffer(&Length, 1);
    std::string ClassName(Length, '\0');
    S.ReadBuffer(ClassName.data(), Length);
    std::unique_ptr<TGraphic> Loaded = MakeGraphic(ClassName);
    // A host that keeps what it does not know keeps such data whole.
    if (!Loaded)
      throw Classes::EReadError("", "", "unknown graphic class " + SysUtils::PrintableText(ClassName),
                                Classes::EReadError::TKind::UnknownClass, ClassName);
    Loaded->ReadData(S);
    Adopt(std::move(Loaded));
  };
  const auto Write = [this](Classes::TStream& S) {
    const std::string ClassName = FGraphic->ClassName();
    const std::uint8_t Length = std::uint8_t(ClassName.size());
    S.WriteBuffer(&Length, 1);
    S.WriteBuffer(ClassName.data(), Length);
    FGraphic->WriteData(S);
  };
  Filer.DefineBinaryProperty("Data", Read, Write, FGraphic && !FGraphic->Empty());
}

}  // namespace Graphics
