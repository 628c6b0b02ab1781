// Streams, and form files converted between their binary and text forms.
#include <algorithm>
#include <cstring>

#include "Classes.hpp"
#include "Classes/FormFile.hpp"
#include "os/Os.hpp"

namespace Classes {

std::int64_t TStream::Size() {
  const std::int64_t Here = Position();
  const std::int64_t End = Seek(0, soEnd);
  Seek(Here, soBeginning);
  return End;
}

void TStream::ReadBuffer(void* Buffer, std::size_t Count) {
  if (Count && Read(Buffer, Count) != Count) throw EReadError("stream read error: fewer than " + SysUtils::ByteCount(Count) + " left");
}

void TStream::WriteBuffer(const void* Buffer, std::size_t Count) {
  if (Count && Write(Buffer, Count) != Count) throw EWriteError("stream write error");
}

std::int64_t TStream::CopyFrom(TStream& Source, std::int64_t Count) {
  if (Count == 0) {
    Source.SetPosition(0);
    Count = Source.Size();
  }
  std::vector<char> Buffer(std::size_t(std::min<std::int64_t>(Count, 1 << 16)));
  for (std::int64_t Left = Count; Left > 0;) {
    const std::size_t Chunk = std::size_t(std::min<std::int64_t>(Left, std::int64_t(Buffer.size())));
    Source.ReadBuffer(Buffer.data(), Chunk);
    WriteBuffer(Buffer.data(), Chunk);
    Left -= std::int64_t(Chunk);
  }
  return Count;
}

std::size_t TMemoryStream::Read(void* Buffer, std::size_t Count) {
  const std::size_t Moved = FPosition >= FData.size() ? 0 : std::min(Count, FData.size() - FPosition);
  if (Moved) std::memcpy(Buffer, FData.data() + FPosition, Moved);
  FPosition += Moved;
  return Moved;
}

std::size_t TMemoryStream::Write(const void* Buffer, std::size_t Count) {
  if (FPosition + Count > FData.size()) FData.resize(FPosition + Count);
  if (Count) std::memcpy(FData.data() + FPosition, Buffer, Count);
  FPosition += Count;
  return Count;
}

std::int64_t TMemoryStream::Seek(std::int64_t Offset, TSeekOrigin Origin) {
  const std::int64_t Base = Origin == soBeginning ? 0 : Origin == soCurrent ? std::int64_t(FPosition) : std::int64_t(FData.size());
  // Saturating: no offset can overflow the position.
  std::int64_t Target = 0;
  if (__builtin_add_overflow(Base, Offset, &Target)) Target = Offset < 0 ? 0 : INT64_MAX;
  FPosition = std::size_t(std::max<std::int64_t>(0, Target));
  return std::int64_t(FPosition);
}

void TMemoryStream::LoadFromFile(const std::string& FileName) {
  FData = ReadFileBytes(FileName);
  FPosition = 0;
}

void TMemoryStream::SaveToFile(const std::string& FileName) const { WriteFileBytes(FileName, FData); }

std::vector<std::uint8_t> Form::Remaining(TStream& Stream) {
  std::vector<std::uint8_t> Data(std::size_t(std::max<std::int64_t>(0, Stream.Size() - Stream.Position())));
  Stream.ReadBuffer(Data.data(), Data.size());
  return Data;
}

std::span<const std::uint8_t> Form::Unread(TStream& Stream, std::vector<std::uint8_t>& Storage) {
  if (auto* Memory = dynamic_cast<TMemoryStream*>(&Stream)) {
    const std::vector<std::uint8_t>& Data = Memory->Memory();
    const std::size_t From = std::min(std::size_t(Memory->Position()), Data.size());
    Memory->Seek(0, soEnd);
    return {Data.data() + From, Data.size() - From};
  }
  Storage = Remaining(Stream);
  return Storage;
}

namespace {

// The decoded form, from either kind of file, told apart by the signature.
Form::TObject ReadEither(TStream& Input, const std::string& Source, int CodePage) {
  std::vector<std::uint8_t> Storage;
  const std::span<const std::uint8_t> Data = Form::Unread(Input, Storage);
  if (Data.size() >= 4 && std::equal(Data.begin(), Data.begin() + 4, "TPF0")) return Form::ReadBinary(Data, Source);
  return Form::ReadText(Form::Chars(Data), Source, CodePage);
}

// Writes the form to Output a piece at a time, as text or binary.
void WriteTree(const Form::TObject& Tree, TStream& Output, bool AsText) {
  const Form::TSink Write = [&](std::string_view Piece) { Output.WriteBuffer(Piece.data(), Piece.size()); };
  if (AsText) Form::WriteText(Tree, Write);
  else Form::WriteBinary(Tree, Write);
}

}  // namespace

void ObjectBinaryToText(TStream& Input, TStream& Output) {
  std::vector<std::uint8_t> Storage;
  WriteTree(Form::ReadBinary(Form::Unread(Input, Storage), "form"), Output, true);
}

void ObjectTextToBinary(TStream& Input, TStream& Output) {
  std::vector<std::uint8_t> Storage;
  WriteTree(Form::ReadText(Form::Chars(Form::Unread(Input, Storage)), "form"), Output, false);
}

void ConvertForm(TStream& Input, TStream& Output, bool AsText, const std::string& SourceName, int CodePage) {
  WriteTree(ReadEither(Input, SourceName, CodePage), Output, AsText);
}

}  // namespace Classes
