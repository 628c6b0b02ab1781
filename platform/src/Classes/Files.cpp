// Files: read through a mapping with the size cap, written all or nothing
// through pending files.
#include <ostream>
#include <streambuf>

#include "Classes.hpp"
#include "SysUtils.hpp"
#include "os/Os.hpp"

namespace Classes {

std::vector<std::uint8_t> ReadFileBytes(const std::string& FileName) {
  const Os::TMappedFile File(FileName, SysUtils::MaxFileSize);
  return {File.Data(), File.Data() + File.Size()};
}

// Buffers a file's bytes on their way to the pending file, so that rows of
// a big picture go out in few system calls.
class TPendingBuffer : public std::streambuf {
public:
  explicit TPendingBuffer(Os::TPendingFile& File) : FFile(File), FBuffer(std::size_t(1) << 20) {
    setp(FBuffer.data(), FBuffer.data() + FBuffer.size());
  }
  int Flush() {
    const bool Written = FFile.Write(pbase(), std::size_t(pptr() - pbase()));
    setp(FBuffer.data(), FBuffer.data() + FBuffer.size());
    return Written ? 0 : -1;
  }

protected:
  int_type overflow(int_type C) override {
    if (Flush() != 0) return traits_type::eof();
    if (!traits_type::eq_int_type(C, traits_type::eof())) sputc(traits_type::to_char_type(C));
    return traits_type::not_eof(C);
  }
  int sync() override { return Flush(); }

private:
  Os::TPendingFile& FFile;
  std::vector<char> FBuffer;
};

struct TFileWriter::TImpl {
  explicit TImpl(const std::string& FileName) : File(FileName), Buffer(File), Stream(&Buffer) {}
  Os::TPendingFile File;
  TPendingBuffer Buffer;
  std::ostream Stream;
};

TFileWriter::TFileWriter(const std::string& FileName)
    : FFileName(FileName), FImpl(std::make_unique<TImpl>(FileName)) {}

TFileWriter::~TFileWriter() = default;

std::ostream& TFileWriter::Stream() { return FImpl->Stream; }

void TFileWriter::Commit() {
  // A failed write is reported by the pending file with its reason.
  FImpl->Buffer.Flush();
  FImpl->File.Commit();
}

void CommitFiles(std::initializer_list<TFileWriter*> Files) {
  std::vector<Os::TPendingFile*> Pending;
  for (TFileWriter* File : Files)
    if (File) {
      File->FImpl->Buffer.Flush();
      Pending.push_back(&File->FImpl->File);
    }
  Os::CommitAll(Pending);
}

void WriteFile(const std::string& FileName, const std::function<void(std::ostream&)>& Write) {
  TFileWriter File(FileName);
  Write(File.Stream());
  File.Commit();
}

void WriteFileBytes(const std::string& FileName, std::span<const std::uint8_t> Data) {
  WriteFile(FileName, [&](std::ostream& Out) {
    Out.write(reinterpret_cast<const char*>(Data.data()), std::streamsize(Data.size()));
  });
}

}  // namespace Classes
