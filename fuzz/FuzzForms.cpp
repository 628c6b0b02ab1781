// The form file targets: the readers' trees, then components read as a host
// that keeps what it does not know reads them.
#include <cstdlib>
#include <memory>

#include "Classes.hpp"
#include "Classes/FormFile.hpp"
#include "ExtCtrls.hpp"
#include "Forms.hpp"
#include "FuzzTargets.hpp"
#include "LvFltImg.hpp"
#include "Menus.hpp"

namespace Fuzz {

namespace {

// Whatever tree a form file gives, its text reads back to the same text,
// and its binary to the same binary.
void CheckTree(const Classes::Form::TObject& Tree) {
  using namespace Classes::Form;
  const std::string Text = WriteText(Tree);
  if (WriteText(ReadText(Text, "again")) != Text) std::abort();
  const std::vector<std::uint8_t> Binary = WriteBinary(Tree);
  if (WriteBinary(ReadBinary(Binary, "again")) != Binary) std::abort();
}

// The classes a form may name: the framework's and the filter image.
void RegisterFormClasses() {
  static const bool Registered = [] {
    for (const TypInfo::TClassInfo* Class : {&Forms::TForm::ClassInfo(), &ExtCtrls::TImage::ClassInfo(),
                                             &Menus::TPopupMenu::ClassInfo(), &LvFltImg::TLvFilterImage::ClassInfo()})
      TypInfo::RegisterClass(*Class);
    return true;
  }();
  (void)Registered;
}

// As a host without the form's code reads it: every class, property and
// value it does not know kept, handler names unbound.
Classes::TReadOptions Keeping() {
  Classes::TReadOptions Options;
  Options.OnError = [](const Classes::EReadError&) { return Classes::TReadAnswer::Keep; };
  Options.KeepUnboundHandlers = true;
  return Options;
}

std::vector<std::uint8_t> Stored(Classes::TComponent& Root) {
  Classes::TMemoryStream Stream;
  Stream.WriteComponent(&Root);
  return Stream.Memory();
}

// A form read keeping what the host does not know stores what reads back
// to the same form: storing it again gives the same bytes.
void CheckComponents(Classes::TComponent& Root) {
  const std::vector<std::uint8_t> First = Stored(Root);
  Forms::TForm Again(nullptr);
  Classes::TMemoryStream Stream(First);
  try {
    Stream.ReadComponent(&Again, Keeping());
  } catch (const Classes::EReadError&) {
    std::abort();
  }
  if (Stored(Again) != First) std::abort();
}

}  // namespace

int FormBinary(const std::uint8_t* Data, std::size_t Size) {
  const TFuzzLimits Limits;
  RegisterFormClasses();
  try {
    CheckTree(Classes::Form::ReadBinary({Data, Size}, "fuzz.dfm"));
    Forms::TForm Root(nullptr);
    Classes::TMemoryStream Stream(std::vector<std::uint8_t>(Data, Data + Size));
    Stream.ReadComponent(&Root, Keeping());
    CheckComponents(Root);
  } catch (const Classes::EReadError&) {
  }
  return 0;
}

int FormText(const std::uint8_t* Data, std::size_t Size) {
  const TFuzzLimits Limits;
  RegisterFormClasses();
  try {
    CheckTree(Classes::Form::ReadText({reinterpret_cast<const char*>(Data), Size}, "fuzz.txt"));
    Forms::TForm Root(nullptr);
    Classes::TMemoryStream Stream(std::vector<std::uint8_t>(Data, Data + Size));
    Classes::ReadComponentText(Stream, &Root, Keeping());
    CheckComponents(Root);
  } catch (const Classes::EReadError&) {
  }
  return 0;
}

}  // namespace Fuzz
