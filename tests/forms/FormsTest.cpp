// Forms stored and read back: the binary and text form files, and the
// component's published properties with their defaults and storage rules.
#include <gtest/gtest.h>

#include <random>

#include "Classes.hpp"
#include "FormHelpers.hpp"
#include "Forms.hpp"
#include "LvFltImg.hpp"
#include "Menus.hpp"

using namespace Graphics;
using LvFltImg::TLvFilterImage;
using TypInfo::TTypeKind;
using namespace FormHelpers;

namespace {

// A form as made, stored.
const std::string FreshForm =
    "object Form1: TForm\n  Left = 0\n  Top = 0\n  Width = 0\n  Height = 0\n  Color = clBtnFace\n"
    "  Font.Charset = DEFAULT_CHARSET\n"
    "  Font.Color = clWindowText\n  Font.Height = -11\n  Font.Name = 'MS Sans Serif'\n  Font.Style = []\n"
    "  OldCreateOrder = False\n  PixelsPerInch = 96\n  TextHeight = 13\n";

}  // namespace

namespace {

struct TRegistered {
  TRegistered() {
    for (const TypInfo::TClassInfo* Class : {&Forms::TForm::ClassInfo(), &TLvFilterImage::ClassInfo(),
                                             &Menus::TPopupMenu::ClassInfo(), &ExtCtrls::TImage::ClassInfo()})
      TypInfo::RegisterClass(*Class);
  }
};
const TRegistered Registered;

// A picture of the given format with every pixel different.
void Paint(TBitmap& Bitmap, TPixelFormat Format, int W, int H, unsigned Seed) {
  Bitmap.SetPixelFormat(pf24bit);
  Bitmap.SetSize(W, H);
  std::mt19937 Random(Seed);
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X) Bitmap.Canvas()->SetPixels(X, Y, TColor(Random() & 0xFFFFFF));
  Bitmap.SetPixelFormat(Format);
}

bool SamePixels(TBitmap& A, TBitmap& B) {
  if (A.Width() != B.Width() || A.Height() != B.Height() || A.PixelFormat() != B.PixelFormat()) return false;
  for (int Y = 0; Y < A.Height(); ++Y)
    for (int X = 0; X < A.Width(); ++X)
      if (A.Pixel(X, Y) != B.Pixel(X, Y)) return false;
  return true;
}

// A form holding one filter image, as a design host would make it.
struct TDesign {
  TDesign() : Form(std::make_unique<Forms::TForm>(nullptr)) {
    Form->SetName("Form1");
    Image = new TLvFilterImage(Form.get());
    Image->SetName("LvFilterImage1");
    Image->SetParent(Form.get());
  }
  std::unique_ptr<Forms::TForm> Form;
  TLvFilterImage* Image;
};

// Reads a stored design into a fresh form, whose host has named the
// handlers Methods has; answers its image.
TLvFilterImage* Reload(const Bytes& Data, std::unique_ptr<Forms::TForm>& Into, const Forms::TForm* Methods = nullptr) {
  Into = std::make_unique<Forms::TForm>(nullptr);
  if (Methods)
    for (const TypInfo::TPropInfo* P : TLvFilterImage::ClassInfo().PublishedProperties())
      if (const std::any* Handler = Methods->MethodAddress("Handle" + P->Name)) Into->SetMethod("Handle" + P->Name, *Handler);
  Load(Data, Into.get());
  return dynamic_cast<TLvFilterImage*>(Into->FindComponent("LvFilterImage1"));
}

}  // namespace

TEST(Forms, WriteReadWriteGivesTheSameBytesAndTextRoundTrips) {
  TDesign D;
  D.Image->SetBounds(8, 16, 40, 30);
  Paint(*D.Image->Picture()->Bitmap(), pf24bit, 40, 30, 1);
  TBitmap Filter;
  Paint(Filter, pf8bit, 20, 10, 2);
  D.Image->SetFilterBitMap(&Filter);
  D.Image->SetStretch(true);
  D.Image->SetHint("It's a #1 picture");
  const Bytes First = Store(D.Form.get());
  std::unique_ptr<Forms::TForm> Again;
  ASSERT_NE(Reload(First, Again), nullptr);
  EXPECT_EQ(Store(Again.get()), First);

  const std::string Text = AsText(First);
  EXPECT_EQ(AsText(AsBinary(Text)), Text);
  EXPECT_EQ(AsBinary(Text), First) << "the writer's own value types come back from text";
  EXPECT_EQ(Text.rfind("object Form1: TForm\n  Left = 0\n", 0), 0u) << Text;
  EXPECT_NE(Text.find("  TextHeight = 13\n  object LvFilterImage1: TLvFilterImage\n    Left = 8\n"), std::string::npos) << Text;
  EXPECT_NE(Text.find("    Hint = 'It''s a #1 picture'\n"), std::string::npos) << Text;
  EXPECT_NE(Text.find("    Picture.Data = {\n      07544269746D6170"), std::string::npos) << Text;
  EXPECT_NE(Text.find("    FilterBitMap.Data = {\n"), std::string::npos) << Text;
  EXPECT_NE(Text.find("    Stretch = True\n    FilterBitMap.Data = {"), std::string::npos) << "published order" << Text;
  EXPECT_EQ(Text.substr(Text.size() - 12), "}\n  end\nend\n") << Text;
}

TEST(Forms, EveryPublishedPropertyAwayFromItsDefaultReadsBack) {
  const auto Properties = TLvFilterImage::ClassInfo().PublishedProperties();
  ASSERT_EQ(Properties.size(), 38u);
  int Checked = 0;
  for (const TypInfo::TPropInfo* P : Properties) {
    TDesign D;
    auto* Menu = new Menus::TPopupMenu(D.Form.get());
    Menu->SetName("Menu1");
    TBitmap Filter;
    Paint(Filter, pf24bit, 3, 2, 3);
    std::string Stored;  // what the read-back value must be, as text
    switch (P->Kind) {
      case TTypeKind::tkInteger:
      case TTypeKind::tkEnumeration:
      case TTypeKind::tkSet: {
        const std::int64_t Default = P->Default.value_or(0);
        std::int64_t Value = P->Kind == TTypeKind::tkSet ? Default ^ 0b1100
                             : P->TypeName == "Boolean"  ? !Default
                             : P->Kind == TTypeKind::tkEnumeration ? (Default + 1) % 2
                                                                  : Default + 7;
        P->SetOrd(D.Image, Value);
        if (P->Name == "ShowHint") D.Image->SetParentShowHint(false);  // stored only then
        Stored = std::to_string(P->GetOrd(D.Image));
        break;
      }
      case TTypeKind::tkString:
        if (P->Name == "Name") continue;  // the name is the object's own, not a property
        P->SetStr(D.Image, "away");
        Stored = "away";
        break;
      case TTypeKind::tkMethod:
        // The host names a handler; the one here is an empty one of the event's type.
        D.Form->SetMethod("Handle" + P->Name, P->Get(D.Image));
        D.Image->AssignEvent(P->Name, "Handle" + P->Name);
        Stored = "Handle" + P->Name;
        break;
      case TTypeKind::tkClass:
        if (P->Name == "Picture") Paint(*D.Image->Picture()->Bitmap(), pf8bit, 5, 4, 4), Stored = "5x4";
        if (P->Name == "PopupMenu") D.Image->SetPopupMenu(Menu), Stored = "Menu1";
        if (P->Name == "FilterBitMap") D.Image->SetFilterBitMap(&Filter), Stored = "3x2";
        // Constraints publishes nothing of its own: there is nothing to store.
        if (P->Name == "Constraints") continue;
        break;
    }
    const Bytes Data = Store(D.Form.get());
    EXPECT_NE(AsText(Data).find(P->Name + (P->Kind == TTypeKind::tkClass && P->Name != "PopupMenu" ? ".Data" : " =")),
              std::string::npos)
        << P->Name << "\n" << AsText(Data);
    std::unique_ptr<Forms::TForm> Again;
    TLvFilterImage* Read = Reload(Data, Again, D.Form.get());
    ASSERT_NE(Read, nullptr) << P->Name;
    std::string Value;
    if (P->GetOrd) Value = std::to_string(P->GetOrd(Read));
    if (P->Kind == TTypeKind::tkString) Value = P->GetStr(Read);
    if (P->Kind == TTypeKind::tkMethod) Value = Read->EventName(P->Name);
    if (P->Name == "Picture") Value = std::to_string(Read->Picture()->Width()) + "x" + std::to_string(Read->Picture()->Height());
    if (P->Name == "PopupMenu") Value = Read->PopupMenu() ? Read->PopupMenu()->Name() : "nil";
    if (P->Name == "FilterBitMap")
      Value = std::to_string(Read->FilterBitMap()->Width()) + "x" + std::to_string(Read->FilterBitMap()->Height());
    EXPECT_EQ(Value, Stored) << P->Name;
    ++Checked;
  }
  EXPECT_EQ(Checked, 36) << "all but Name (the object's own) and Constraints (nothing published)";
}

TEST(Forms, DefaultsAreAbsentAndStoragePredicatesDecide) {
  TDesign D;
  D.Image->SetBounds(0, 0, 0, 0);
  // What declares no default is always written, as the design environment
  // writes it: a control's place and size, the form's font and its own.
  EXPECT_EQ(AsText(Store(D.Form.get())), FreshForm + "  object LvFilterImage1: TLvFilterImage\n    Left = 0\n    Top = 0\n"
                                                     "    Width = 0\n    Height = 0\n  end\nend\n");

  // Setting, whether the property appears.
  const std::tuple<const char*, std::function<void(TLvFilterImage&)>, bool> Cases[] = {
      {"Enabled = False", [](TLvFilterImage& I) { I.SetEnabled(false); }, true},
      {"Visible = False", [](TLvFilterImage& I) { I.SetVisible(false); }, true},
      // ShowHint is stored only where the control does not take its parent's.
      {"ShowHint = ", [](TLvFilterImage& I) { I.SetShowHint(true), I.SetParentShowHint(true); }, false},
      {"ShowHint = True", [](TLvFilterImage& I) { I.SetShowHint(true); }, true},
      {"OnClick = ", [](TLvFilterImage& I) { I.OnClick = [](System::TObject*) {}; }, false},  // a handler with no name
      {"DragCursor = crHandPoint", [](TLvFilterImage& I) { I.SetDragCursor(Controls::crHandPoint); }, true},
      {"Anchors = [akLeft, akTop, akRight]",
       [](TLvFilterImage& I) { I.SetAnchors(Controls::AnchorSet({Controls::akLeft, Controls::akTop, Controls::akRight})); },
       true},
  };
  for (const auto& [Line, Set, Present] : Cases) {
    TDesign Case;
    Case.Image->SetBounds(0, 0, 0, 0);
    Set(*Case.Image);
    const std::string Text = AsText(Store(Case.Form.get()));
    EXPECT_EQ(Text.find(std::string("    ") + Line) != std::string::npos, Present) << Line << "\n" << Text;
  }
}

TEST(Forms, PicturesAndTheFilterRoundTripPixelForPixel) {
  for (TPixelFormat Format : {pf1bit, pf4bit, pf8bit, pf24bit, pf32bit}) {
    TDesign D;
    D.Image->SetBounds(0, 0, 9, 7);
    Paint(*D.Image->Picture()->Bitmap(), Format, 9, 7, 5);
    TBitmap Filter;
    Paint(Filter, Format, 6, 5, 6);
    D.Image->SetFilterBitMap(&Filter);
    std::unique_ptr<Forms::TForm> Again;
    TLvFilterImage* Read = Reload(Store(D.Form.get()), Again);
    ASSERT_NE(Read, nullptr);
    EXPECT_TRUE(SamePixels(*Read->Picture()->Bitmap(), *D.Image->Picture()->Bitmap())) << Format;
    ASSERT_NE(Read->FilterBitMap(), nullptr);
    EXPECT_TRUE(SamePixels(*Read->FilterBitMap(), Filter)) << Format;
    EXPECT_TRUE(SamePixels(const_cast<TBitmap&>(Read->InvertedFilter()), const_cast<TBitmap&>(D.Image->InvertedFilter())));

    // The stored filter blends as the original did.
    D.Image->Picture()->Bitmap()->SetPixelFormat(pf24bit);
    Read->Picture()->Bitmap()->SetPixelFormat(pf24bit);
    D.Image->Filter(1, 2);
    Read->Filter(1, 2);
    EXPECT_TRUE(SamePixels(*Read->Picture()->Bitmap(), *D.Image->Picture()->Bitmap())) << Format;
  }
}

namespace {

// A component with data of its own beside its published properties.
class TCounter : public Classes::TComponent {
public:
  using TComponent::TComponent;
  static const TypInfo::TClassInfo& ClassInfo() {
    static const TypInfo::TClassInfo Info{"TCounter", "FormsTest", &Classes::TComponent::ClassInfo(),
                                          [](Classes::TComponent* AOwner) { return new TCounter(AOwner); }, {}};
    return Info;
  }
  const TypInfo::TClassInfo& ClassType() const override { return ClassInfo(); }
  void DefineProperties(Classes::TFiler& Filer) override {
    Filer.DefineProperty(
        "Count", [this](Classes::TReader& R) { Count = R.ReadInteger(); },
        [this](Classes::TWriter& W) { W.WriteInteger(Count); }, Count != 0);
    Filer.DefineProperty(
        "Label", [this](Classes::TReader& R) { Label = R.ReadString(); },
        [this](Classes::TWriter& W) { W.WriteString(Label); }, !Label.empty());
  }
  void Loaded() override { ++LoadedCalls; }
  std::int64_t Count = 0;
  std::string Label;
  int LoadedCalls = 0;
};

}  // namespace

TEST(Forms, DefinedPropertiesAreStoredWhereTheyHaveDataAndLoadedIsCalledOnce) {
  TypInfo::RegisterClass(TCounter::ClassInfo());
  Forms::TForm Form(nullptr);
  Form.SetName("Form1");
  auto* Counter = new TCounter(&Form);
  Counter->SetName("Counter1");
  Counter->Count = 70000;
  EXPECT_EQ(AsText(Store(&Form)), FreshForm + "  object Counter1: TCounter\n    Count = 70000\n  end\nend\n");
  Counter->Label = "x";
  const Bytes Data = Store(&Form);
  Forms::TForm Again(nullptr);
  Load(Data, &Again);
  auto* Read = dynamic_cast<TCounter*>(Again.FindComponent("Counter1"));
  ASSERT_NE(Read, nullptr);
  EXPECT_EQ(Read->Count, 70000);
  EXPECT_EQ(Read->Label, "x");
  EXPECT_EQ(Read->LoadedCalls, 1);
  // A defined property of the wrong type names itself.
  try {
    Load(AsBinary("object Form1: TForm\n  object Counter2: TCounter\n    Count = 'many'\n  end\nend\n"), &Again);
    ADD_FAILURE() << "accepted";
  } catch (const Classes::EReadError& E) {
    EXPECT_NE(E.Message().find("Count: expected an integer, found a string"), std::string::npos) << E.Message();
  }
  EXPECT_EQ(Again.FindComponent("Counter2"), nullptr);
}
