#include "Tool.hpp"

#include <charconv>
#include <filesystem>
#include <iostream>
#include <streambuf>

#include "Classes.hpp"
#include "Graphics.hpp"
#include "SysUtils.hpp"
#include "Windows.hpp"

namespace Tool {

const char* const Version = TESSORIN_VERSION;

std::string ExitStatusHelp(bool AsksToConvert) {
  return std::string("Exit status: 0 done; 1 failure (such as an output that cannot be written);\n"
                     "2 bad usage or bad input (one line naming the file and the fault); 3 ") +
         (AsksToConvert ? "the\nconversion to 24-bit colour was declined. Outputs are written all or\n"
                          "nothing: unless the status is 0, no output file was created or changed."
                        : "is\nnot used, as this program converts no picture. Outputs are written all\n"
                          "or nothing: unless the status is 0, no output file was created or changed.");
}

std::string LimitsHelp() {
  const Graphics::TImageLimits Limits = Graphics::GetImageLimits();
  return "Limits: input files of at most " + std::to_string(SysUtils::MaxFileSize >> 30) + " GiB; pictures of at most " +
         std::to_string(Limits.MaxSide) + " pixels a side and " + std::to_string(Limits.MaxPixels >> 20) +
         " Mpx (" + std::to_string(Limits.MaxPixels) + " pixels) in all, and the pictures of one stored form " +
         std::to_string(Limits.MaxFormPixels >> 20) + " Mpx together.";
}

const char* const QualityHelp = "JPEG quality, 1 to 100 (default 90)";
const char* const CompressionHelp =
    "PNG compression: fast, default or best (default: default). All write the same pixels; fast and default "
    "deflate on every core";

void SetSaveOptions(const std::string& Quality, const std::string& Compression) {
  Graphics::TSaveOptions Options;
  if (!Quality.empty()) Options.JpegQuality = int(ParseInteger("--quality", Quality, 1, 100));
  if (Compression == "fast") Options.PngCompression = Graphics::TPngCompression::Fast;
  else if (Compression == "best") Options.PngCompression = Graphics::TPngCompression::Best;
  else if (!Compression.empty() && Compression != "default")
    throw TBadInput("--compression: expected fast, default or best, not '" + Compression + "'");
  Graphics::SetSaveOptions(Options);
}

void RefuseEmptyPicture(const std::string& FileName, int Width, int Height) {
  if (Width == 0 || Height == 0)
    throw TBadInput(FileName + ": the picture is empty (" + std::to_string(Width) + " x " + std::to_string(Height) +
                    " pixels)");
}

std::filesystem::path PathOf(const std::string& FileName) {
  return std::filesystem::path(std::u8string(FileName.begin(), FileName.end()));
}

std::string Utf8Of(const std::filesystem::path& Path) {
  const std::u8string Text = Path.u8string();
  return {Text.begin(), Text.end()};
}

namespace {

// What a standard stream holds, passed to the system whole characters at a
// time: a character cut at the end of the buffer waits for its rest.
class TStandardText : public std::streambuf {
public:
  explicit TStandardText(int Stream) : FStream(Stream) {}
  ~TStandardText() override { Send(true); }

protected:
  int_type overflow(int_type C) override {
    if (!traits_type::eq_int_type(C, traits_type::eof())) FPending.push_back(traits_type::to_char_type(C));
    if (FPending.size() >= 4096) Send(false);
    return traits_type::not_eof(C);
  }
  std::streamsize xsputn(const char* Text, std::streamsize Count) override {
    FPending.append(Text, std::size_t(Count));
    if (FPending.size() >= 4096) Send(false);
    return Count;
  }
  int sync() override {
    Send(false);
    return 0;
  }

private:
  void Send(bool All) {
    std::size_t End = FPending.size();
    if (!All) {
      std::size_t Lead = End;
      while (Lead > 0 && End - Lead < 3 && (std::uint8_t(FPending[Lead - 1]) & 0xC0) == 0x80) --Lead;
      if (Lead > 0) {
        const std::uint8_t First = std::uint8_t(FPending[Lead - 1]);
        const std::size_t Length = First >= 0xF0 ? 4 : First >= 0xE0 ? 3 : First >= 0xC0 ? 2 : 1;
        if (Length > End - (Lead - 1)) End = Lead - 1;
      }
    }
    SysUtils::WriteStandardText(FStream, std::string_view(FPending).substr(0, End));
    FPending.erase(0, End);
  }
  int FStream;
  std::string FPending;
};

// Whether two names reach the same file: the same file where both exist,
// else the same absolute path once links and dots are resolved.
bool SameFile(const std::string& A, const std::string& B) {
  namespace fs = std::filesystem;
  std::error_code Error;
  if (fs::exists(PathOf(A), Error) && fs::exists(PathOf(B), Error)) return fs::equivalent(PathOf(A), PathOf(B), Error) && !Error;
  // A link is followed even where it leads to no file yet, as an output
  // is written through it.
  const auto Resolved = [](const std::string& Name) {
    std::error_code Unknown;
    fs::path Path = fs::absolute(PathOf(Name), Unknown);
    for (int Hops = 0; Hops < 40 && fs::is_symlink(Path, Unknown); ++Hops) {
      const fs::path Target = fs::read_symlink(Path, Unknown);
      if (Unknown) break;
      Path = Target.is_absolute() ? Target : Path.parent_path() / Target;
    }
    const fs::path Canonical = fs::weakly_canonical(Path, Unknown);
    return Unknown ? Path.lexically_normal() : Canonical;
  };
  return SysUtils::SameFileName(Utf8Of(Resolved(A)), Utf8Of(Resolved(B)));
}
}  // namespace

void UseStandardText() {
#ifdef _WIN32
  // Each stream gets its old buffer back, flushed, before its own goes.
  static struct TStandardStreams {
    TStandardText Out{1}, Error{2};
    std::streambuf* OldOut = std::cout.rdbuf(&Out);
    std::streambuf* OldError = std::cerr.rdbuf(&Error);
    ~TStandardStreams() {
      std::cout.flush();
      std::cout.rdbuf(OldOut);
      std::cerr.rdbuf(OldError);
    }
  } Streams;
#endif
}

void RefuseSharedOutputs(const std::vector<TOutput>& Outputs) {
  for (std::size_t J = 1; J < Outputs.size(); ++J)
    for (std::size_t I = 0; I < J; ++I)
      if (!Outputs[I].FileName.empty() && !Outputs[J].FileName.empty() && SameFile(Outputs[I].FileName, Outputs[J].FileName))
        throw TBadInput(Outputs[J].FileName + ": the " + Outputs[J].Role + " would overwrite the " + Outputs[I].Role);
}

TExitStatus ExitStatusFor(const std::exception& E) {
  const bool BadInput = dynamic_cast<const TBadInput*>(&E) || dynamic_cast<const Graphics::EInvalidGraphic*>(&E) ||
                        dynamic_cast<const Classes::EFOpenError*>(&E) ||
                        dynamic_cast<const Classes::EReadError*>(&E) ||
                        dynamic_cast<const SysUtils::EPackageError*>(&E);
  return BadInput ? ExitBadInput : ExitFailed;
}

int Report(const char* ToolName, const std::exception& E) {
  // The library's own word for it says nothing to a user.
  if (dynamic_cast<const std::bad_alloc*>(&E)) {
    std::cerr << ToolName << ": out of memory\n";
    return ExitFailed;
  }
  std::cerr << ToolName << ": " << E.what() << "\n";
  return ExitStatusFor(E);
}

long ParseInteger(const std::string& Option, const std::string& Text, long Min, long Max) {
  const std::string Expected = Option + ": expected a whole number from " + std::to_string(Min) + " to " +
                               std::to_string(Max) + ", not '" + Text + "'";
  // from_chars takes a minus sign but no plus sign, and never a prefix.
  const char* First = Text.data() + (Text.size() > 1 && Text[0] == '+' ? 1 : 0);
  const char* Last = Text.data() + Text.size();
  long Value = 0;
  const auto [End, Error] = std::from_chars(First, Last, Value, 10);
  if (Text.empty() || Error != std::errc() || End != Last || Value < Min || Value > Max) throw TBadInput(Expected);
  return Value;
}

std::pair<int, int> ParseSize(const std::string& Option, const std::string& Text, int MaxSide) {
  const std::size_t Cross = Text.find_first_of("xX");
  const std::string Width = Text.substr(0, Cross), Height = Cross == std::string::npos ? "" : Text.substr(Cross + 1);
  auto Side = [&](const std::string& Part) {
    if (Part.empty() || Part[0] == '+' || Part[0] == '-')
      throw TBadInput(Option + ": expected WIDTHxHEIGHT, such as 640x480, not '" + Text + "'");
    return int(ParseInteger(Option, Part, 0, MaxSide));
  };
  if (Cross == std::string::npos) Side("");
  return {Side(Width), Side(Height)};
}

std::string DefaultPackage() {
  std::error_code Error;
  const auto Bin = PathOf(Windows::GetModuleFileName(0)).parent_path();
  const std::filesystem::path Candidates[] = {Bin / "Tessorin.bpl", Bin.parent_path() / "lib" / "Tessorin.bpl",
                                              (Bin / TESSORIN_MODULES_FROM_BIN / "Tessorin.bpl").lexically_normal()};
  for (const auto& Candidate : Candidates)
    if (std::filesystem::exists(Candidate, Error)) return Utf8Of(Candidate);
  return Utf8Of(Candidates[2]);
}

}  // namespace Tool
