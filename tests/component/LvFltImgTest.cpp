#include "Fixtures.hpp"

#include "Graphics/Dib.hpp"
#include "os/Os.hpp"

using namespace Graphics;
using namespace Testing;
using LvFltImg::TLvFilterImage;

TEST_F(ComponentTest, WorkingFilterIsAnInverted24BitCopyFromEveryFormat) {
  // Source colour, and the working filter's pixel it must give. The colours
  // survive every format (1 bit: black and white; 5 bits: 0 and 255).
  const struct { TPixelFormat Format; Pixel Source, Inverted; } Cases[] = {
      {pf24bit, {10, 20, 30}, {245, 235, 225}}, {pf32bit, {10, 20, 30}, {245, 235, 225}},
      {pfDevice, {10, 20, 30}, {245, 235, 225}}, {pf8bit, {255, 0, 255}, {0, 255, 0}},
      {pf4bit, {0, 128, 128}, {255, 127, 127}},  {pf1bit, {255, 255, 255}, {0, 0, 0}},
      {pf1bit, {0, 0, 0}, {255, 255, 255}},      {pf15bit, {255, 0, 255}, {0, 255, 0}},
      {pf16bit, {0, 255, 0}, {255, 0, 255}},
  };
  for (const auto& Case : Cases) {
    auto Source = Solid(3, 2, Case.Source, Case.Format);
    const Graphics::Detail::TPixelBuffer Before = Source->Image().Bits;
    Image->SetFilterBitMap(Source.get());
    const TBitmap& Working = Image->InvertedFilter();
    EXPECT_EQ(Working.PixelFormat(), pf24bit) << PixelFormatName(Case.Format);
    EXPECT_EQ(Working.Width(), 3);
    EXPECT_EQ(Working.Height(), 2);
    TBitmap Copy;
    Copy.Assign(&Working);
    for (int Y = 0; Y < 2; ++Y)
      for (int X = 0; X < 3; ++X) EXPECT_EQ(At(Copy, X, Y), Case.Inverted) << PixelFormatName(Case.Format);
    EXPECT_EQ(Image->FilterBitMap(), Source.get()) << "the very object assigned";
    EXPECT_EQ(Source->PixelFormat(), Case.Format);
    EXPECT_EQ(Source->Image().Bits, Before) << "the assigned bitmap is never written";
  }
}

TEST_F(ComponentTest, AssigningTwiceEqualsOnceAndLaterChangesStayOut) {
  auto Source = Solid(2, 2, {10, 20, 30});
  Image->SetFilterBitMap(Source.get());
  const Graphics::Detail::TPixelBuffer Once = Image->InvertedFilter().Image().Bits;
  Image->SetFilterBitMap(Source.get());
  EXPECT_EQ(Image->InvertedFilter().Image().Bits, Once);

  Source->ScanLine(0)[0] = 0;  // a change after the assignment
  EXPECT_EQ(Image->InvertedFilter().Image().Bits, Once);
  Image->SetFilterBitMap(Source.get());
  EXPECT_NE(Image->InvertedFilter().Image().Bits, Once) << "until it is assigned again";
}

TEST_F(ComponentTest, EmptyAndNoneGiveAnEmptyWorkingFilter) {
  auto Source = Solid(2, 2, {1, 2, 3});
  Image->SetFilterBitMap(Source.get());
  TBitmap Empty;
  Image->SetFilterBitMap(&Empty);
  EXPECT_TRUE(Image->InvertedFilter().Empty());
  Image->SetFilterBitMap(Source.get());
  Image->SetFilterBitMap(nullptr);
  EXPECT_TRUE(Image->InvertedFilter().Empty());
  EXPECT_EQ(Image->FilterBitMap(), nullptr);
}

TEST_F(ComponentTest, TheQuestionIsAskedOnceWithTheSystemsWords) {
  SetPicture(*Solid(2, 2, {1, 2, 3}, pf8bit));
  Answers->Queue(Windows::IDOK);
  EXPECT_TRUE(Image->Set24BitColor());
  EXPECT_EQ(Image->Picture()->Bitmap()->PixelFormat(), pf24bit);
  EXPECT_TRUE(Image->Set24BitColor()) << "never asked again";
  ASSERT_EQ(Answers->Calls().size(), 1u);
  const Dialogs::TMessageBoxCall& Call = Answers->Calls()[0];
  EXPECT_EQ(Call.Text, "The Imge will convert to \"24 bit color\" format");
  EXPECT_EQ(Call.Caption, "Convert");
  EXPECT_EQ(Call.Type, Windows::MB_OKCANCEL);
  EXPECT_EQ(Call.Window, Form->Handle()) << "the owner's window";
}

TEST_F(ComponentTest, AnythingButOkLeavesTheFormat) {
  for (int Answer : {Windows::IDCANCEL, 0, Windows::IDNO}) {
    SetPicture(*Solid(2, 2, {1, 2, 3}, pf8bit));
    Answers->Queue(Answer);
    EXPECT_FALSE(Image->Set24BitColor()) << Answer;
    EXPECT_EQ(Image->Picture()->Bitmap()->PixelFormat(), pf8bit) << Answer;
  }
}

TEST_F(ComponentTest, Pictures24BitAreNeverAsked) {
  SetPicture(*Solid(2, 2, {1, 2, 3}));
  EXPECT_TRUE(Image->Set24BitColor());
  EXPECT_TRUE(Answers->Calls().empty());
}

TEST(Component, WithoutAWindowedOwnerTheQuestionHasNoParentWindow) {
  auto Answers = std::make_shared<Dialogs::TScriptedResponder>(Windows::IDOK);
  Dialogs::SetMessageBoxResponder(Answers);
  Classes::TComponent PlainOwner(nullptr);
  for (Classes::TComponent* Owner : {&PlainOwner, static_cast<Classes::TComponent*>(nullptr)}) {
    auto* Image = new TLvFilterImage(Owner);
    EXPECT_TRUE(Image->Set24BitColor());
    EXPECT_EQ(Answers->Calls().back().Window, 0u);
    if (!Owner) delete Image;
  }
  EXPECT_EQ(Answers->Calls().size(), 2u);
  Dialogs::SetMessageBoxResponder(nullptr);
}

TEST(Component, DestroyingTheOwnerTakesTheComponentButNotTheFilter) {
  const int Before = Os::LiveHandleCount(Os::THandleKind::Bitmap);
  auto Source = Solid(4, 4, {9, 9, 9});
  {
    Forms::TForm Form(nullptr);
    auto* Image = new TLvFilterImage(&Form);
    Image->SetFilterBitMap(Source.get());
    const_cast<TBitmap&>(Image->InvertedFilter()).Handle();  // as if drawn once
    EXPECT_EQ(Form.ComponentCount(), 1);
  }
  EXPECT_EQ(Source->Width(), 4) << "the caller's bitmap survives";
  EXPECT_EQ(Os::LiveHandleCount(Os::THandleKind::Bitmap), Before) << "no native handle left behind";
}

TEST(Component, PublishesItsOwnTwentyFiveAndThirtyEightInAll) {
  const auto& Info = TLvFilterImage::ClassInfo();
  EXPECT_EQ(Info.ClassName, "TLvFilterImage");
  EXPECT_EQ(Info.UnitName, "LvFltImg");
  EXPECT_EQ(Info.Parent, &ExtCtrls::TImage::ClassInfo());
  // Name, type, declared default, storage rule, in declaration order.
  const std::tuple<const char*, const char*, std::optional<std::int64_t>, const char*> Expected[] = {
      {"FilterBitMap", "TBitmap", std::nullopt, ""},
      {"Align", "TAlign", 0, ""},
      {"AutoSize", "Boolean", 0, ""},
      {"Center", "Boolean", 0, ""},
      {"DragCursor", "TCursor", -12, ""},
      {"DragMode", "TDragMode", 0, ""},
      {"Enabled", "Boolean", 1, "IsEnabledStored"},
      {"IncrementalDisplay", "Boolean", 0, ""},
      {"ParentShowHint", "Boolean", 1, ""},
      {"Picture", "TPicture", std::nullopt, ""},
      {"PopupMenu", "TPopupMenu", std::nullopt, ""},
      {"ShowHint", "Boolean", std::nullopt, "IsShowHintStored"},
      {"Stretch", "Boolean", 0, ""},
      {"Transparent", "Boolean", 0, ""},
      {"Visible", "Boolean", 1, "IsVisibleStored"},
      {"OnClick", "TNotifyEvent", std::nullopt, "IsOnClickStored"},
      {"OnDblClick", "TNotifyEvent", std::nullopt, ""},
      {"OnDragDrop", "TDragDropEvent", std::nullopt, ""},
      {"OnDragOver", "TDragOverEvent", std::nullopt, ""},
      {"OnEndDrag", "TEndDragEvent", std::nullopt, ""},
      {"OnMouseDown", "TMouseEvent", std::nullopt, ""},
      {"OnMouseMove", "TMouseMoveEvent", std::nullopt, ""},
      {"OnMouseUp", "TMouseEvent", std::nullopt, ""},
      {"OnProgress", "TProgressEvent", std::nullopt, ""},
      {"OnStartDrag", "TStartDragEvent", std::nullopt, ""},
  };
  ASSERT_EQ(Info.OwnProperties.size(), std::size(Expected));
  for (std::size_t I = 0; I < std::size(Expected); ++I) {
    const auto& [Name, Type, Default, Stored] = Expected[I];
    const TypInfo::TPropInfo& P = Info.OwnProperties[I];
    EXPECT_EQ(P.Name, Name);
    EXPECT_EQ(P.TypeName, Type) << Name;
    EXPECT_EQ(P.Default, Default) << Name;
    EXPECT_EQ(P.Stored.Predicate, Stored) << Name;
    EXPECT_EQ(P.DeclaringClass, &Info) << Name;
  }
  EXPECT_EQ(Info.PublishedProperties().size(), 38u);

  // The table's accessors are the real ones.
  Forms::TForm Form(nullptr);
  auto* Image = static_cast<TLvFilterImage*>(Info.Create(&Form));
  auto Filter = Solid(1, 1, {0, 0, 0});
  Info.FindProperty("FilterBitMap")->Set(Image, std::any(Filter.get()));
  EXPECT_EQ(Image->FilterBitMap(), Filter.get());
  EXPECT_EQ(std::any_cast<TBitmap*>(Info.FindProperty("FilterBitMap")->Get(Image)), Filter.get());
}
