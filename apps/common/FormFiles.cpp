#include "FormFiles.hpp"

#include <ostream>

#include "ExtCtrls.hpp"
#include "Forms.hpp"
#include "Menus.hpp"
#include "SysUtils.hpp"
#include "Tool.hpp"

namespace Tool {

namespace {

// A fault that names no source is told as the file's.
template <class F>
auto Naming(const std::string& FileName, F Read) {
  try {
    return Read();
  } catch (const Classes::EReadError& E) {
    if (!E.Source().empty()) throw;
    throw Classes::EReadError(FileName, E.Where(), E.Fault(), E.Kind());
  }
}

bool IsBinaryForm(const std::vector<std::uint8_t>& Data) {
  return Data.size() >= 4 && std::equal(Data.begin(), Data.begin() + 4, "TPF0");
}

std::string Extension(const std::string& FileName) {
  const std::string Name = SysUtils::ExtractFileName(FileName);
  const std::size_t Dot = Name.find_last_of('.');
  return Dot == std::string::npos ? std::string() : SysUtils::LowerCase(Name.substr(Dot));
}

}  // namespace

void LoadForm(const std::string& FileName, Classes::TComponent* Root, const Classes::TReadOptions& Options) {
  Classes::TMemoryStream File;
  File.LoadFromFile(FileName);
  LoadFormBytes(FileName, File, Root, Options);
}

void LoadFormBytes(const std::string& FileName, Classes::TMemoryStream& File, Classes::TComponent* Root,
                   const Classes::TReadOptions& Options) {
  const auto& Data = File.Memory();
  Classes::TReadOptions Named = Options;
  Named.SourceName = FileName;
  Naming(FileName, [&] {
    return IsBinaryForm(Data) ? File.ReadComponent(Root, Named) : Classes::ReadComponentText(File, Root, Named);
  });
}

int ParseCodePage(const std::string& Text) {
  const int CodePage = int(ParseInteger("--codepage", Text, 0, 65535));
  if (!SysUtils::IsSingleByteCodePage(CodePage)) {
    std::string Known;
    for (const int Number : SysUtils::SingleByteCodePages()) Known += (Known.empty() ? "" : ", ") + std::to_string(Number);
    throw TBadInput("--codepage: " + Text + " is no single-byte code page (" + Known + ")");
  }
  return CodePage;
}

const char* const CodePageHelp =
    "The code page a text form that is not UTF-8 was written in: 1252 (Western, the default), 1250 (Central "
    "European), 1251 (Cyrillic), 1253 (Greek), 1254 (Turkish), 1255 (Hebrew), 1256 (Arabic), 1257 (Baltic), "
    "1258 (Vietnamese) or 874 (Thai)";

void ConvertFormFile(const std::string& FileName, std::ostream& Out, bool AsText, int CodePage) {
  // What the converter writes goes straight out, a piece at a time.
  class TOutput : public Classes::TStream {
  public:
    explicit TOutput(std::ostream& Out) : FOut(Out) {}
    std::size_t Read(void*, std::size_t) override { return 0; }
    std::size_t Write(const void* Buffer, std::size_t Count) override {
      FOut.write(static_cast<const char*>(Buffer), std::streamsize(Count));
      FWritten += std::int64_t(Count);
      return FOut ? Count : 0;
    }
    std::int64_t Seek(std::int64_t, Classes::TSeekOrigin) override { return FWritten; }

  private:
    std::ostream& FOut;
    std::int64_t FWritten = 0;
  };
  Classes::TMemoryStream File;
  File.LoadFromFile(FileName);
  TOutput Output(Out);
  Naming(FileName, [&] {
    Classes::ConvertForm(File, Output, AsText, FileName, CodePage);
    return 0;
  });
}

bool IsTextFormName(const std::string& FileName) {
  const std::string Ext = Extension(FileName);
  if (Ext != ".txt" && Ext != ".dfm")
    throw TBadInput(FileName + ": a form file is named .dfm (binary) or .txt (text)");
  return Ext == ".txt";
}

std::string FormText(const std::vector<std::uint8_t>& Binary) {
  Classes::TMemoryStream In(Binary), Out;
  Classes::ObjectBinaryToText(In, Out);
  return {Out.Memory().begin(), Out.Memory().end()};
}

void WriteFormBytes(const std::vector<std::uint8_t>& Binary, bool AsText, Classes::TFileWriter& File) {
  if (AsText) {
    const std::string Text = FormText(Binary);
    File.Stream().write(Text.data(), std::streamsize(Text.size()));
  } else {
    File.Stream().write(reinterpret_cast<const char*>(Binary.data()), std::streamsize(Binary.size()));
  }
}

void SaveForm(Classes::TComponent* Root, Classes::TFileWriter& File) {
  Classes::TMemoryStream Binary;
  Binary.WriteComponent(Root);
  WriteFormBytes(Binary.Memory(), IsTextFormName(File.FileName()), File);
}

void RegisterFormClasses() {
  for (const TypInfo::TClassInfo* Class :
       {&Forms::TForm::ClassInfo(), &ExtCtrls::TImage::ClassInfo(), &Menus::TPopupMenu::ClassInfo()})
    TypInfo::RegisterClass(*Class);
}

}  // namespace Tool
