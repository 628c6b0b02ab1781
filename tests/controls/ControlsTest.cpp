#include <gtest/gtest.h>

#include <sstream>

#include "Dialogs.hpp"
#include "ExtCtrls.hpp"
#include "Forms.hpp"
#include "os/Os.hpp"

using namespace Graphics;
using Controls::TControl;
using ExtCtrls::TImage;
using Forms::TForm;

namespace {

// A 4 x 2 picture: red, green, blue, white on top; black, yellow, aqua,
// fuchsia below.
std::unique_ptr<TBitmap> Sample() {
  auto Bitmap = std::make_unique<TBitmap>();
  Bitmap->SetPixelFormat(pf24bit);
  Bitmap->SetSize(4, 2);
  const TColor Colours[2][4] = {{clRed, clLime, clBlue, clWhite}, {clBlack, clYellow, RGB(0, 255, 255), RGB(255, 0, 255)}};
  for (int Y = 0; Y < 2; ++Y)
    for (int X = 0; X < 4; ++X) Bitmap->Canvas()->SetPixels(X, Y, Colours[Y][X]);
  return Bitmap;
}

struct FormWithImage {
  std::unique_ptr<TForm> Form = std::make_unique<TForm>(nullptr);
  TImage* Image = new TImage(Form.get());
  FormWithImage(int W, int H) {
    Form->SetClientSize(20, 10);
    Form->Show();
    Image->SetParent(Form.get());
    Image->SetBounds(2, 1, W, H);
    Image->Picture()->SetBitmap(Sample().get());
  }
  TColor At(int X, int Y) {
    Form->PaintPending();
    return Form->Surface().Pixel(X, Y);
  }
};

}  // namespace

TEST(Components, OwnerDestroysWhatItOwnsAndFreedComponentsLeave) {
  int Destroyed = 0;
  struct Counted : Classes::TComponent {
    int& Count;
    Counted(TComponent* Owner, int& C) : TComponent(Owner), Count(C) {}
    ~Counted() override { ++Count; }
  };
  auto Owner = std::make_unique<Classes::TComponent>(nullptr);
  auto* A = new Counted(Owner.get(), Destroyed);
  new Counted(Owner.get(), Destroyed);
  new Counted(A, Destroyed);  // owned in turn
  EXPECT_EQ(Owner->ComponentCount(), 2);
  delete A;  // takes its own with it and leaves the owner's list
  EXPECT_EQ(Destroyed, 2);
  EXPECT_EQ(Owner->ComponentCount(), 1);
  Owner.reset();
  EXPECT_EQ(Destroyed, 3);
}

TEST(Components, FreedPopupMenuClearsTheReference) {
  TForm Form(nullptr);
  auto* Image = new TImage(&Form);
  auto* Menu = new Menus::TPopupMenu(&Form);
  Image->SetPopupMenu(Menu);
  delete Menu;
  EXPECT_EQ(Image->PopupMenu(), nullptr);
  // And the other way round: the control going first leaves the menu be.
  auto* Other = new Menus::TPopupMenu(nullptr);
  Image->SetPopupMenu(Other);
  delete Image;
  delete Other;
}

TEST(Components, NamesAreUniqueAmongSiblings) {
  TForm Form(nullptr);
  auto* A = new TImage(&Form);
  auto* B = new TImage(&Form);
  A->SetName("Image1");
  EXPECT_THROW(B->SetName("Image1"), Classes::EComponentError);
  EXPECT_EQ(Form.FindComponent("Image1"), A);
}

TEST(Painting, ImageShowsItsPicturePlainCentredStretchedAndTransparent) {
  const TColor Bg = ColorToRGB(clBtnFace);
  struct Case {
    const char* Name;
    bool Center, Stretch, Transparent;
    int W, H;
    // Expected colour at a few form points.
    std::vector<std::tuple<int, int, TColor>> Points;
  };
  const Case Cases[] = {
      {"plain", false, false, false, 6, 4,
       {{2, 1, clRed}, {5, 1, clWhite}, {2, 2, clBlack}, {6, 1, Bg}, {2, 3, Bg}, {8, 1, Bg}, {1, 1, Bg}}},
      {"centred", true, false, false, 6, 4, {{3, 2, clRed}, {6, 3, RGB(255, 0, 255)}, {2, 1, Bg}, {7, 2, Bg}}},
      {"stretched", false, true, false, 8, 4,
       {{2, 1, clRed}, {3, 2, clRed}, {4, 1, clLime}, {9, 4, RGB(255, 0, 255)}, {10, 1, Bg}}},
      {"transparent", false, false, true, 6, 4, {{2, 2, Bg}, {3, 2, clYellow}, {2, 1, clRed}}},
  };
  for (const Case& C : Cases) {
    FormWithImage F(C.W, C.H);
    F.Image->SetCenter(C.Center);
    F.Image->SetStretch(C.Stretch);
    F.Image->SetTransparent(C.Transparent);
    for (const auto& [X, Y, Colour] : C.Points) EXPECT_EQ(F.At(X, Y), Colour) << C.Name << " at " << X << "," << Y;
  }
}

TEST(Painting, RefreshShowsPixelsWrittenThroughScanLine) {
  FormWithImage F(4, 2);
  EXPECT_EQ(F.At(2, 1), clRed);
  std::uint8_t* Row = F.Image->Picture()->Bitmap()->ScanLine(0);
  Row[0] = 255;  // red becomes fuchsia
  F.Form->PaintPending();
  EXPECT_EQ(F.Form->Surface().Pixel(2, 1), clRed) << "nothing told the control yet";
  F.Image->Refresh();
  EXPECT_EQ(F.Form->Surface().Pixel(2, 1), RGB(255, 0, 255));
}

TEST(Painting, AutoSizeTakesThePicturesSizeAndHidingRepaints) {
  FormWithImage F(10, 10);
  F.Image->SetAutoSize(true);
  EXPECT_EQ(F.Image->Width(), 4);
  EXPECT_EQ(F.Image->Height(), 2);
  F.Image->SetVisible(false);
  EXPECT_EQ(F.At(2, 1), ColorToRGB(clBtnFace));
}

TEST(Painting, ScreenshotIsWhatTheFormShows) {
  FormWithImage F(4, 2);
  const std::string Path = testing::TempDir() + "/shot.bmp";
  F.Form->SaveScreenshot(Path);
  TBitmap Shot;
  Shot.LoadFromFile(Path);
  EXPECT_EQ(Shot.Width(), 20);
  EXPECT_EQ(Shot.Pixel(3, 1), clLime);
  EXPECT_EQ(Shot.Pixel(0, 0), ColorToRGB(clBtnFace));
}

TEST(Mouse, InputReachesTheControlUnderThePointInItsCoordinates) {
  FormWithImage F(4, 2);
  auto* Top = new TImage(F.Form.get());  // later in z-order: on top
  Top->SetParent(F.Form.get());
  Top->SetBounds(5, 0, 3, 3);
  std::vector<std::string> Log;
  auto Record = [&](const char* What) {
    return [&, What](System::TObject* Sender, Controls::TMouseButton, Controls::TShiftState, int X, int Y) {
      Log.push_back(std::string(What) + (Sender == Top ? " top " : " image ") + std::to_string(X) + "," +
                    std::to_string(Y));
    };
  };
  F.Image->OnMouseDown = Record("down");
  F.Image->OnMouseUp = Record("up");
  Top->OnMouseDown = Record("down");
  F.Image->OnClick = [&](System::TObject*) { Log.push_back("click image"); };
  Top->OnClick = [&](System::TObject*) { Log.push_back("click top"); };

  F.Form->ClickAt(3, 2);
  F.Form->ClickAt(5, 1);  // both cover it; the top one gets it
  F.Form->MouseDownAt(Controls::mbLeft, 0, 2, 1);
  F.Form->MouseUpAt(Controls::mbLeft, 0, 15, 8);  // released elsewhere: no click
  F.Form->ClickAt(15, 8);                          // on the bare form
  const std::vector<std::string> Expected = {"down image 1,1", "up image 1,1", "click image",
                                             "down top 0,1",   "click top",    "down image 0,0"};
  EXPECT_EQ(Log, Expected);
}

TEST(Mouse, RightButtonPopsUpTheMenu) {
  FormWithImage F(4, 2);
  auto* Menu = new Menus::TPopupMenu(F.Form.get());
  F.Image->SetPopupMenu(Menu);
  F.Form->MouseDownAt(Controls::mbRight, 0, 3, 1);
  EXPECT_TRUE(Menu->PoppedUp());
}

TEST(ClassInfo, ImagePublishesTheFrameworksThirtySeven) {
  const auto& Info = TImage::ClassInfo();
  EXPECT_EQ(Info.ClassName, "TImage");
  EXPECT_EQ(Info.UnitName, "ExtCtrls");
  EXPECT_EQ(Info.Parent, &Controls::TGraphicControl::ClassInfo());
  const auto Props = Info.PublishedProperties();
  ASSERT_EQ(Props.size(), 37u);
  const std::vector<std::string> Inherited = {"Name", "Tag", "Left", "Top", "Width", "Height", "Cursor", "Hint"};
  for (std::size_t I = 0; I < Props.size(); ++I) {
    const std::string Declarer = Props[I]->DeclaringClass->ClassName;
    const char* Expected = I < 2 ? "TComponent" : I < 8 ? "TControl" : "TImage";
    EXPECT_EQ(Declarer, Expected) << Props[I]->Name;
    if (I < 8) {
      EXPECT_EQ(Props[I]->Name, Inherited[I]);
    }
  }
  // Name, type, default, storage rule.
  const std::tuple<const char*, const char*, std::optional<std::int64_t>, const char*> Rows[] = {
      {"DragCursor", "TCursor", -12, ""},         {"Enabled", "Boolean", 1, "IsEnabledStored"},
      {"ShowHint", "Boolean", std::nullopt, "IsShowHintStored"}, {"Visible", "Boolean", 1, "IsVisibleStored"},
      {"OnClick", "TNotifyEvent", std::nullopt, "IsOnClickStored"}, {"Picture", "TPicture", std::nullopt, ""},
      {"ParentShowHint", "Boolean", 1, ""},       {"OnProgress", "TProgressEvent", std::nullopt, ""},
  };
  for (const auto& [Name, Type, Default, Stored] : Rows) {
    const TypInfo::TPropInfo* P = Info.FindProperty(Name);
    ASSERT_NE(P, nullptr) << Name;
    EXPECT_EQ(P->TypeName, Type);
    EXPECT_EQ(P->Default, Default) << Name;
    EXPECT_EQ(P->Stored.Predicate, Stored) << Name;
  }
}

TEST(ClassInfo, PropertiesReadAndWriteThroughTheTable) {
  TForm Form(nullptr);
  TypInfo::RegisterClass(TImage::ClassInfo());
  Classes::TComponent* Made = TypInfo::FindClass("TImage").Create(&Form);
  auto* Image = dynamic_cast<TImage*>(Made);
  ASSERT_NE(Image, nullptr);
  const auto& Info = Image->ClassType();
  Info.FindProperty("Stretch")->Set(Image, std::any(true));
  EXPECT_TRUE(Image->Stretch());
  EXPECT_EQ(std::any_cast<int>(Info.FindProperty("Width")->Get(Image)), 105);
  EXPECT_FALSE(Info.FindProperty("ShowHint")->Stored.Stored(Image)) << "follows the parent";
  Image->SetShowHint(true);
  EXPECT_TRUE(Info.FindProperty("ShowHint")->Stored.Stored(Image));
  EXPECT_THROW(TypInfo::FindClass("TNoSuchThing"), TypInfo::EClassNotFound);
}

TEST(Windows, WindowHandlesComeOnFirstRequestAndGoWithTheControl) {
  const int Before = Os::LiveHandleCount(Os::THandleKind::Window);
  {
    TForm Form(nullptr);
    EXPECT_FALSE(Form.HandleAllocated());
    EXPECT_NE(Form.Handle(), 0u);
    EXPECT_EQ(Os::LiveHandleCount(Os::THandleKind::Window), Before + 1);
  }
  EXPECT_EQ(Os::LiveHandleCount(Os::THandleKind::Window), Before);
}

#ifndef _WIN32
// Without a display a modal form is refused, naming it, and the answer
// stays the same: nothing is shown, no window made, no message box offered.
TEST(Windows, ShowModalWithoutADisplayIsRefusedNamingTheForm) {
  for (const char* Name : {"DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER"}) unsetenv(Name);
  const int Before = Os::LiveHandleCount(Os::THandleKind::Window);
  TForm Form(nullptr);
  Form.SetName("Form1");
  // Caption, what the fault names.
  const std::pair<const char*, const char*> Cases[] = {{"Lonely", "Lonely"}, {"", "Form1"}};
  for (const auto& [Caption, Named] : Cases) {
    Form.SetCaption(Caption);
    try {
      Form.ShowModal();
      ADD_FAILURE() << "shown without a display";
    } catch (const Classes::EComponentError& E) {
      EXPECT_EQ(std::string(E.what()), std::string(Named) + ": cannot show the form: no display");
    }
    EXPECT_FALSE(Form.Visible());
    EXPECT_FALSE(Os::WindowSystemOpen());
    EXPECT_FALSE(Os::HasSystemMessageBox());
  }
  EXPECT_EQ(Os::LiveHandleCount(Os::THandleKind::Window), Before);
  // The first answer is kept, even once a display would be there.
  setenv("DISPLAY", ":0", 1);
  std::string Why;
  EXPECT_FALSE(Os::OpenWindowSystem(&Why));
  EXPECT_EQ(Why, "no display");
  unsetenv("DISPLAY");
}
#endif

TEST(MessageBox, ResponderAnswersAndRecords) {
  auto Script = std::make_shared<Dialogs::TScriptedResponder>();
  Dialogs::SetMessageBoxResponder(Script);
  Script->Queue(Windows::IDCANCEL);
  EXPECT_EQ(Windows::MessageBoxA(42, "Text", "Caption", Windows::MB_OKCANCEL), Windows::IDCANCEL);
  EXPECT_EQ(Windows::MessageBoxA(0, "Again", "C", Windows::MB_OK), 0) << "queue empty: the box fails";
  ASSERT_EQ(Script->Calls().size(), 2u);
  EXPECT_EQ(Script->Calls()[0].Window, 42u);
  EXPECT_EQ(Script->Calls()[0].Text, "Text");
  EXPECT_EQ(Script->Calls()[0].Caption, "Caption");
  EXPECT_EQ(Script->Calls()[0].Type, Windows::MB_OKCANCEL);

  Dialogs::SetMessageBoxResponder(std::make_shared<Dialogs::TNoResponder>());
  EXPECT_EQ(Windows::MessageBoxA(0, "x", "y", Windows::MB_OKCANCEL), 0);
  Dialogs::SetMessageBoxResponder(nullptr);
}

TEST(MessageBox, ConsolePromptReadsTheChoice) {
  // Input, box type, expected answer.
  const std::tuple<const char*, Windows::UINT, int> Cases[] = {
      {"\n", Windows::MB_OKCANCEL, Windows::IDOK},        {"ok\n", Windows::MB_OKCANCEL, Windows::IDOK},
      {"c\n", Windows::MB_OKCANCEL, Windows::IDCANCEL},   {"CANCEL\n", Windows::MB_OKCANCEL, Windows::IDCANCEL},
      {"", Windows::MB_OKCANCEL, Windows::IDCANCEL},      {"maybe\no\n", Windows::MB_OKCANCEL, Windows::IDOK},
      {"n\n", Windows::MB_YESNO, Windows::IDNO},          {"", Windows::MB_YESNO, Windows::IDNO},
      {"", Windows::MB_OK, Windows::IDOK},
      // People answer yes and no at a terminal, in any case.
      {"yes\n", Windows::MB_OKCANCEL, Windows::IDOK},     {"No\n", Windows::MB_OKCANCEL, Windows::IDCANCEL},
      {"Y\n", Windows::MB_OKCANCEL, Windows::IDOK},       {"n\n", Windows::MB_OKCANCEL, Windows::IDCANCEL},
      {"YES\n", Windows::MB_YESNO, Windows::IDYES},       {"no\n", Windows::MB_YESNOCANCEL, Windows::IDNO},
      {"c\n", Windows::MB_YESNOCANCEL, Windows::IDCANCEL}, {"r\n", Windows::MB_RETRYCANCEL, Windows::IDRETRY},
  };
  for (const auto& [Input, Type, Expected] : Cases) {
    std::istringstream In(Input);
    std::ostringstream Out;
    Dialogs::TConsoleResponder Console(In, Out);
    EXPECT_EQ(Console.Answer({0, "The text", "The caption", Type}), Expected) << '"' << Input << '"';
    EXPECT_NE(Out.str().find("[The caption] The text"), std::string::npos);
  }
  std::istringstream In("maybe\n");
  std::ostringstream Out;
  Dialogs::TConsoleResponder(In, Out).Answer({0, "The text", "The caption", Windows::MB_YESNOCANCEL});
  EXPECT_NE(Out.str().find("Please answer Yes / No / Cancel."), std::string::npos) << Out.str();
}

TEST(Painting, AnOpaqueImageHidesWhatLiesBeneathAndOnlyThat) {
  FormWithImage F(4, 2);  // the picture covers the control: opaque
  EXPECT_TRUE(F.Image->Opaque());
  auto* Under = new TImage(F.Form.get());
  Under->SetParent(F.Form.get());
  Under->SetBounds(0, 0, 20, 10);
  Under->Picture()->SetBitmap(Sample().get());  // 4 x 2 in a 20 x 10 control: not opaque
  EXPECT_FALSE(Under->Opaque());
  // The later control is on top of the first.
  EXPECT_EQ(F.At(0, 0), clRed);
  EXPECT_EQ(F.At(10, 5), ColorToRGB(clBtnFace));
  F.Image->Repaint();  // on its own: covered by the one above, which shows where it lies
  EXPECT_EQ(F.Form->Surface().Pixel(2, 1), RGB(0, 255, 255)) << "the top control's picture at (2,1)";
  F.Image->SetTransparent(true);
  EXPECT_FALSE(F.Image->Opaque());
}
