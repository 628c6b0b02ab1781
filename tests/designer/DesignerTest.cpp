// The design host's model, driven through its actions as a script or the
// window would drive it.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <fstream>
#include <iterator>
#include <sstream>

#include "Actions.hpp"
#include "Designer.hpp"
#include "FormFiles.hpp"

namespace {

using Design::TDesigner;

class DesignerTest : public testing::Test {
protected:
  static void SetUpTestSuite() {
    Tool::RegisterFormClasses();
    Packages = new Design::TPackages;
    Packages->Install(TESSORIN_BPL);
  }
  static void TearDownTestSuite() { delete Packages; }
  // A test that takes the package away puts it back, even when it fails
  // half-way, so that the tests after it still have its class.
  void TearDown() override {
    if (Packages->Installed().empty()) Packages->Install(TESSORIN_BPL);
  }

  // What the actions print; a failed action fails the test.
  std::string Run(const std::string& Script) {
    std::ostringstream Out;
    Design::RunActions(D, *Packages, Script, Out, Clipboard);
    return Out.str();
  }
  std::string Fault(const std::string& Script) {
    try {
      Run(Script);
    } catch (const Design::EDesignError& E) {
      return E.what();
    }
    return "(no fault)";
  }
  // One row of inspect's output for the selection.
  std::string Row(const std::string& Path) {
    for (const auto& Rows : {D.Properties(), D.Events()})
      for (const Design::TInspectorRow& R : Rows)
        if (R.Path == Path) return R.Value;
    return "(no row " + Path + ")";
  }
  std::string Bounds(const std::string& Name) {
    Run("select " + Name);
    return Row("Left") + " " + Row("Top") + " " + Row("Width") + " " + Row("Height");
  }
  static std::string Scratch(const std::string& Name) {
    return (std::filesystem::path(testing::TempDir()) / ("designer-" + Name)).string();
  }

  static Design::TPackages* Packages;
  TDesigner D;
  std::string Clipboard;
};
Design::TPackages* DesignerTest::Packages = nullptr;

TEST_F(DesignerTest, PaletteIsWhatRegisterRegisteredWithItsBitmap) {
  EXPECT_EQ(Run("palette"), "Lorvane\tTLvFilterImage\n");
  const auto Buttons = Packages->Palette();
  ASSERT_EQ(Buttons.size(), 1u);
  ASSERT_TRUE(Buttons[0].Glyph);
  EXPECT_EQ(Buttons[0].Glyph->Width(), 24);
  EXPECT_EQ(Buttons[0].Glyph->Height(), 24);
}

TEST_F(DesignerTest, PlacingSnapsToTheGridAndNamesInTurn) {
  Run("place TLvFilterImage 13 21; place TLvFilterImage 10 10 50 30; place tlvfilterimage 3 4");
  EXPECT_EQ(Bounds("LvFilterImage1"), "16 24 105 105");  // a click: the class's own size
  EXPECT_EQ(Bounds("LvFilterImage2"), "8 8 56 32");     // a drag: both corners snap
  EXPECT_EQ(Bounds("LvFilterImage3"), "0 8 105 105");
  EXPECT_EQ(D.Form().ComponentCount(), 3);
  EXPECT_EQ(D.Title(), "Unit1 *");
}

// Each edit, undone, leaves the form as its text was before; redone, as
// after: side effects of a setter included, nudges in a row being one step.
TEST_F(DesignerTest, EveryEditUndoesAndRedoesExactly) {
  const std::string Picture = std::string(TESSORIN_SOURCE_DIR) + "/samples/picture.bmp";
  const std::string Filter = std::string(TESSORIN_SOURCE_DIR) + "/samples/vignette.bmp";
  const std::string Setup = "place TLvFilterImage 8 8; place TLvFilterImage 200 8; select LvFilterImage1";
  const struct {
    std::string Prepare, Edit;  // the edit is one step
  } Edits[] = {
      {"", "place TLvFilterImage 40 160 80 40"},
      {"", "set Stretch True"},
      {"", "set Hint 'a hint; with a semicolon'"},
      {"", "set Name 'Stamp'"},
      {"select Form1", "set Font.Style [fsBold, fsItalic]"},
      {"select Form1", "set Caption 'Ünïcode ☺'"},
      {"", "set Anchors.akBottom True"},
      {"", "event OnClick LvFilterImage1Click"},
      {"", "move 1 0; move 1 0; move 0 1"},
      {"", "size 20 30"},
      {"select LvFilterImage1,LvFilterImage2", "move 8 8"},
      {"", "delete"},
      {"select LvFilterImage1,LvFilterImage2", "cut"},
      {"copy", "paste"},
      {"", "load-picture '" + Picture + "'"},
      {"", "load-filter " + Filter},
      {"load-picture " + Picture, "clear-picture"},
      {"", "set ShowHint True"},
      {"load-picture " + Picture, "set AutoSize True"},
      {"set AutoSize True", "load-picture " + Picture},
      {"", "set Align alClient"},
      {"select LvFilterImage2; size 40 24; select LvFilterImage2,LvFilterImage1", "align-bottoms"},
      {"select LvFilterImage2; size 40 24; select LvFilterImage2,LvFilterImage1", "same-width"},
      {"select-all", "centre"},
      {"", "bring-to-front"},
      {"select Form1", "form-size 320 200"},
      // A framework image beside the package's: what both have.
      {"paste; select Plain,LvFilterImage1", "set Tag 7"},
      {"paste; select Plain,LvFilterImage1", "move 0 8"},
  };
  D.New();
  const std::string Empty = D.Text();
  for (const auto& Row : Edits) {
    SCOPED_TRACE(Row.Prepare + " / " + Row.Edit);
    D.New();
    Clipboard = "object Plain: TImage\n  Left = 320\n  Top = 200\nend\n";
    Run(Setup + (Row.Prepare.empty() ? "" : "; " + Row.Prepare));
    const std::string Before = D.Text();
    Run(Row.Edit);
    const std::string After = D.Text();
    EXPECT_NE(Before, After);
    Run("undo");
    EXPECT_EQ(D.Text(), Before);
    Run("redo");
    EXPECT_EQ(D.Text(), After);
    while (D.CanUndo()) D.Undo();
    EXPECT_EQ(D.Text(), Empty);
    EXPECT_FALSE(D.Modified());
  }
}

// An edit that would make a form the reader refuses is refused with the
// reader's words, and leaves the form and the history as they were.
TEST_F(DesignerTest, NoEditMakesAFormTheReaderRefuses) {
  const std::string Picture = std::string(TESSORIN_SOURCE_DIR) + "/samples/picture.bmp";  // 320 x 240
  const Graphics::TImageLimits Limits = Graphics::GetImageLimits();
  Graphics::TImageLimits Small = Limits;
  Small.MaxFormPixels = 100000;  // room for one picture, not two
  Graphics::SetImageLimits(Small);
  const struct {
    std::string Prepare, Edit, Fault;
  } Cases[] = {
      {"", "size 16385 10", "Width: 16385 x 105 pixels is larger than a form can show"},
      {"", "place TLvFilterImage 8 8 1000000 1000000", "pixels is larger than a form can show"},
      {"select Form1", "form-size 20000 100", "20000 x 100 pixels is larger than"},
      {"", "set Name ''", "a component on a form needs a name"},
      {"select LvFilterImage1,LvFilterImage2", "load-picture " + Picture, "Picture.Data: "},
      {"load-picture " + Picture, "copy; paste", "Picture.Data: "},
      {"", "paste", "Inner: Outer (a TLvFilterImage) cannot hold other controls"},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Edit);
    D.New();
    Clipboard = "object Outer: TLvFilterImage\n  object Inner: TLvFilterImage\n  end\nend\n";
    Run("place TLvFilterImage 8 8; place TLvFilterImage 200 8; select LvFilterImage1" +
        (Case.Prepare.empty() ? "" : "; " + Case.Prepare));
    const std::string Before = D.Text(), Label = D.UndoLabel();
    const std::string Got = Fault(Case.Edit);
    EXPECT_NE(Got.find(Case.Fault), std::string::npos) << Got;
    EXPECT_EQ(D.Text(), Before);
    EXPECT_EQ(D.UndoLabel(), Label);
    EXPECT_FALSE(D.CanRedo());
    Run("undo");  // the history goes on
    EXPECT_NE(D.Text(), Before);
  }
  Graphics::SetImageLimits(Limits);
  // Nor does the text view take such a form.
  const std::string Before = D.Text();
  EXPECT_THROW(D.SetText("object Form1: TForm1\n  object Outer: TLvFilterImage\n    object Inner: TLvFilterImage\n"
                         "    end\n  end\nend\n"),
               Classes::EReadError);
  EXPECT_EQ(D.Text(), Before);
}

// The reader takes 10,000 objects, the form among them: the next is refused
// when it is placed or pasted, not when the form is opened again.
TEST_F(DesignerTest, TheObjectAfterTheLastAFormHoldsIsRefused) {
  std::string Text = "object Form1: TForm1\n";
  for (int I = 1; I < 10000; ++I) Text += "  object I" + std::to_string(I) + ": TLvFilterImage\n  end\n";
  D.SetText(Text + "end\n");
  EXPECT_NE(Fault("place TLvFilterImage 8 8").find("more than 10000 objects"), std::string::npos);
  Clipboard = "object A: TLvFilterImage end\n";
  EXPECT_NE(Fault("paste").find("more than 10000 objects"), std::string::npos);
  EXPECT_EQ(D.Form().ComponentCount(), 9999);
  Run("select I1; delete; paste");
  EXPECT_EQ(D.Form().ComponentCount(), 9999);
}

// The text view leaves a picture's data out and puts it back.
TEST_F(DesignerTest, TheTextViewFoldsPictures) {
  Run("place TLvFilterImage 8 8; load-picture " + std::string(TESSORIN_SOURCE_DIR) + "/samples/picture.bmp");
  const std::string Whole = D.Text(), Folded = D.FoldedText();
  EXPECT_LT(Folded.size(), 1000u);
  ASSERT_NE(Folded.find("Picture.Data = FoldedData1\n"), std::string::npos) << Folded;
  std::string Edited = Folded;
  Edited.replace(Edited.find("Left = 8"), 8, "Left = 16");
  D.SetText(Edited);
  std::string Wanted = Whole;
  Wanted.replace(Wanted.find("    Left = 8"), 12, "    Left = 16");
  EXPECT_EQ(D.Text(), Wanted);
  Edited.replace(Edited.find("FoldedData1"), 11, "FoldedData2");
  try {
    D.SetText(Edited);
    ADD_FAILURE() << "took data it never had";
  } catch (const Classes::EReadError& E) {
    EXPECT_EQ(E.Fault(), "Picture.Data: no folded data FoldedData2");
    EXPECT_EQ(E.Where(), "line 21");
  }
  Run("undo");
  EXPECT_EQ(D.Text(), Whole);
}

TEST_F(DesignerTest, AFailedActionNamesItselfAndStopsTheRest) {
  Run("place TLvFilterImage 8 8");
  const std::string Saved = Scratch("never.dfm"), Shot = Scratch("never.png");
  const struct {
    const char* Script;
    const char* Fault;
  } Cases[] = {
      {"set Stretch Maybe", "set Stretch Maybe: LvFilterImage1: Stretch: expected True or False"},
      {"set Width 'wide'", "set Width 'wide': LvFilterImage1: Width: expected an integer, found"},
      {"set NoSuch 1", "set NoSuch 1: the selection has no property NoSuch"},
      {"set Hint 'open", "--actions: a quoted string without its closing quote"},
      {"select Nobody", "select Nobody: no component named Nobody"},
      {"place TButton 1 1", "place TButton 1 1: no palette page offers a class TButton"},
      {"place TLvFilterImage x 1", "place TLvFilterImage x 1: X: expected a whole number"},
      {"frobnicate", "frobnicate: no such action"},
      {"select Form1; set Width 100000", "set Width 100000: Form1: Width: bitmap: 99992 x 300 pixels is larger"},
      {"select LvFilterImage1,", "select LvFilterImage1,: no component named ''"},
      {"event OnClick 1x", "event OnClick 1x: OnClick: 1x is not a valid handler name"},
      {"open /nonexistent/form.dfm", "open /nonexistent/form.dfm: "},
      {"load-picture /nonexistent.png", "load-picture /nonexistent.png: "},
      {"select LvFilterImage1; load-picture 'a'#10'b.png'", "load-picture 'a'#10'b.png': a\\x0Ab.png: "},
      {"select LvFilterImage1; set Width abc", "set Width abc: LvFilterImage1: Width: abc is not an Integer"},
      {"paste", "paste: the clipboard is empty"},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Script);
    const std::string Before = D.Text();
    // What the script saved before it failed is not written either.
    const std::string Got = Fault("save " + Saved + "; screenshot " + Shot + "; " + Case.Script + "; save " + Saved);
    EXPECT_NE(Got.rfind("save ", 0), 0u) << Got;
    EXPECT_NE(Got.find(Case.Fault), std::string::npos) << Got;
    EXPECT_EQ(Got.find('\n'), std::string::npos) << Got;
    EXPECT_EQ(D.Text(), Before);
    EXPECT_FALSE(std::filesystem::exists(Saved) || std::filesystem::exists(Shot));
  }
  // Within a script, a form saved is opened as saved; the file is written at the end.
  Run("save " + Saved + "; new; open " + Saved + "; select LvFilterImage1");
  EXPECT_TRUE(std::filesystem::exists(Saved));
  std::filesystem::remove(Saved);
  EXPECT_EQ(Fault("new; undo"), "undo: nothing to undo");
}

TEST_F(DesignerTest, SettingSeveralIsAllOrNothing) {
  Run("place TLvFilterImage 8 8; place TLvFilterImage 200 8; select LvFilterImage1,LvFilterImage2");
  // The second cannot take the name the first took: the first gets its own back.
  EXPECT_NE(Fault("set Name 'Twin'"), "(no fault)");
  EXPECT_TRUE(D.FindComponent("LvFilterImage1") && D.FindComponent("LvFilterImage2"));
  EXPECT_FALSE(D.FindComponent("Twin"));
  Run("set Stretch True");
  EXPECT_EQ(Bounds("LvFilterImage2"), "200 8 105 105");
  EXPECT_EQ(Row("Stretch"), "True");
}

TEST_F(DesignerTest, PasteRenamesTakenNamesAndCascades) {
  Run("place TLvFilterImage 16 16; set Hint 'h'; copy; paste; paste");
  EXPECT_EQ(Bounds("LvFilterImage2"), "24 24 105 105");
  EXPECT_EQ(Row("Hint"), "'h'");
  EXPECT_EQ(Bounds("LvFilterImage3"), "32 32 105 105");  // each paste in a row a step further
  // A cut component pasted back keeps its name and place.
  Run("select LvFilterImage1; cut; paste");
  EXPECT_EQ(Bounds("LvFilterImage1"), "16 16 105 105");
  // Text from elsewhere: a fresh name, an unknown class refused whole.
  D.Paste("object Stamp: TLvFilterImage\n  Left = 100\n  Top = 40\nend\nobject X: TLvFilterImage end\n");
  EXPECT_EQ(Bounds("Stamp"), "100 40 105 105");
  const int Count = D.Form().ComponentCount();
  EXPECT_THROW(D.Paste("object A: TLvFilterImage end\nobject B: TNoSuchThing end\n"), Design::EDesignError);
  EXPECT_THROW(D.Paste("object F: TForm end\n"), Design::EDesignError);
  EXPECT_THROW(D.Paste("garbage"), Design::EDesignError);
  EXPECT_EQ(D.Form().ComponentCount(), Count);
}

TEST_F(DesignerTest, InspectorRowsFollowThePropertyTable) {
  Run("place TLvFilterImage 8 8; set Stretch True");
  const auto Rows = D.Properties();
  for (std::size_t I = 1; I < Rows.size(); ++I) EXPECT_LT(strcasecmp(Rows[I - 1].Name.c_str(), Rows[I].Name.c_str()), 0);
  auto Find = [&](const std::vector<Design::TInspectorRow>& List, const std::string& Path) {
    for (const auto& R : List)
      if (R.Path == Path) return R;
    ADD_FAILURE() << "no row " << Path;
    return Design::TInspectorRow{};
  };
  EXPECT_TRUE(Find(Rows, "Stretch").NotDefault);
  EXPECT_FALSE(Find(Rows, "Center").NotDefault);
  EXPECT_EQ(Find(Rows, "Cursor").Value, "crDefault");
  EXPECT_EQ(Find(Rows, "Picture").Value, "(None)");
  EXPECT_EQ(Find(Rows, "Picture").Kind, Design::TRowKind::Graphic);
  EXPECT_EQ(Find(Rows, "Align").Choices.front(), "alNone");
  // An expanded set shows an element a row.
  D.SetExpanded("Anchors", true);
  EXPECT_EQ(Find(D.Properties(), "Anchors.akTop").Value, "True");
  EXPECT_EQ(Find(D.Properties(), "Anchors.akRight").Value, "False");
  // The form's font expands into its own properties, colours by name.
  Run("select Form1; set Color clTeal");
  D.SetExpanded("Font", true);
  const auto FormRows = D.Properties();
  EXPECT_EQ(Find(FormRows, "Color").Value, "clTeal");
  EXPECT_NE(std::find(Find(FormRows, "Color").Choices.begin(), Find(FormRows, "Color").Choices.end(), "clBtnFace"),
            Find(FormRows, "Color").Choices.end());
  EXPECT_EQ(Find(FormRows, "Font.Name").Value, "'MS Sans Serif'");
  EXPECT_EQ(Find(FormRows, "Font.Name").Depth, 1);
  EXPECT_EQ(D.MakeHandler("OnCreate"), "FormCreate");
  EXPECT_EQ(Row("OnCreate"), "FormCreate");
  // Several selected: the properties all have, a value where all agree.
  D.Paste("object Plain: TImage\n  Left = 200\n  Stretch = True\nend\n");
  Run("select LvFilterImage1,Plain");
  EXPECT_EQ(Row("FilterBitMap"), "(no row FilterBitMap)");
  EXPECT_EQ(Row("Left"), "");
  EXPECT_EQ(Row("Width"), "105");
  EXPECT_EQ(Row("Stretch"), "True");
  EXPECT_TRUE(Find(D.Properties(), "Stretch").NotDefault);
  EXPECT_EQ(Row("Picture"), "(None)");
  Run("select Plain; load-picture " + std::string(TESSORIN_SOURCE_DIR) + "/samples/picture.bmp");
  Run("select LvFilterImage1,Plain");
  EXPECT_EQ(Row("Picture"), "");
}

TEST_F(DesignerTest, MouseDragsPlaceMoveAndSizeOnTheGrid) {
  D.SetTool(Packages->Palette().front().Class);
  D.MouseDown(19, 18, false), D.MouseMove(60, 50), D.MouseUp(83, 69);
  EXPECT_EQ(Bounds("LvFilterImage1"), "16 16 64 56");
  EXPECT_EQ(D.Tool(), nullptr);
  // Dragging the body moves by whole grid steps.
  D.MouseDown(30, 30, false), D.MouseMove(45, 33), D.MouseUp(45, 33);
  EXPECT_EQ(Bounds("LvFilterImage1"), "32 16 64 56");
  // The bottom-right handle sizes.
  const auto Grab = D.GrabAt(96, 72);
  EXPECT_EQ(Grab, Design::TGrab::BottomRight);
  D.MouseDown(96, 72, false), D.MouseUp(130, 100);
  EXPECT_EQ(Bounds("LvFilterImage1"), "32 16 96 88");
  Run("undo");
  EXPECT_EQ(Bounds("LvFilterImage1"), "32 16 64 56");
  // A click on the empty form selects the form; shift-click adds.
  Run("place TLvFilterImage 200 200");
  D.MouseDown(390, 10, false), D.MouseUp(390, 10);
  EXPECT_EQ(D.Selection().front(), &D.Form());
  D.MouseDown(40, 20, false), D.MouseUp(40, 20);
  D.MouseDown(210, 210, true), D.MouseUp(210, 210);
  EXPECT_EQ(D.Selection().size(), 2u);
  D.SelectNext();
  EXPECT_EQ(D.Selection().front()->Name(), "LvFilterImage2");
}

// What changes nothing is no step, and leaves what can be redone: a click
// that selects, a drag that ends where it began, a value set to itself.
TEST_F(DesignerTest, AnEditThatChangesNothingKeepsRedo) {
  Run("place TLvFilterImage 8 8; place TLvFilterImage 200 8; move 8 0; undo");
  const std::string Undone = D.Text();
  const struct {
    const char* What;
    std::function<void()> Do;
  } Cases[] = {
      {"a click on a component", [&] { D.MouseDown(220, 20, false), D.MouseUp(220, 20); }},
      {"a click on a handle", [&] { D.MouseDown(304, 60, false), D.MouseUp(304, 60); }},
      {"the same value", [&] { Run("set Left 200"); }},
      {"an align of one already aligned", [&] { Run("select LvFilterImage1,LvFilterImage2; align-tops"); }},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.What);
    Case.Do();
    EXPECT_EQ(D.Text(), Undone);
    ASSERT_TRUE(D.CanRedo());
    EXPECT_EQ(D.RedoLabel(), "Redo Move");
  }
  Run("redo");
  EXPECT_EQ(Bounds("LvFilterImage2"), "208 8 105 105");
}

TEST_F(DesignerTest, FormsRoundTripThroughBothFileKinds) {
  Run("select Form1; set Caption 'Stamps'; place TLvFilterImage 8 8; set Stretch True; event OnClick Go");
  for (const char* Name : {"form.dfm", "form.txt"}) {
    SCOPED_TRACE(Name);
    const std::string Text = D.Text();
    Run("save " + Scratch(Name));
    EXPECT_FALSE(D.Modified());
    EXPECT_EQ(D.Title(), std::string("designer-") + Name);
    Run("new; open " + Scratch(Name));
    EXPECT_EQ(D.Text(), Text);
    EXPECT_NE(Text.find("object Form1: TForm1"), std::string::npos);
  }
  // A view as text edited and read back is one step; a fault names its line.
  std::string Edited = D.Text();
  Edited.replace(Edited.find("'Stamps'"), 8, "'Edited'");
  D.SetText(Edited);
  EXPECT_EQ(D.Form().Caption(), "Edited");
  Run("undo");
  EXPECT_EQ(D.Form().Caption(), "Stamps");
  try {
    D.SetText("object Form1: TForm1\n  Caption = 'open\nend\n");
    ADD_FAILURE();
  } catch (const Classes::EReadError& E) {
    EXPECT_NE(std::string(E.what()).find("line 2: "), std::string::npos) << E.what();
  }
  EXPECT_EQ(D.Form().Caption(), "Stamps");
}

TEST_F(DesignerTest, UnknownControlsAskIgnoreIgnoreAllKeepKeepAllOrCancel) {
  const std::string File = Scratch("unknown.txt");
  std::ofstream(File) << "object Form1: TForm1\n  object Label1: TLabel\n  end\n  object Image1: TLvFilterImage\n"
                         "    Wrapped = True\n    Picture.Data = {09544D65746166696C650100000002}\n  end\n"
                         "  object Edit1: TEdit\n  end\nend\n";
  // The first answer, the questions asked (the rest answered Ignore), the components.
  for (const auto& [First, Asked, Count] : {std::tuple{Design::TIgnoreAnswer::Ignore, 4, 1},
                                            std::tuple{Design::TIgnoreAnswer::IgnoreAll, 1, 1},
                                            std::tuple{Design::TIgnoreAnswer::Keep, 4, 2},
                                            std::tuple{Design::TIgnoreAnswer::KeepAll, 1, 3},
                                            std::tuple{Design::TIgnoreAnswer::Cancel, 1, -1}}) {
    int Questions = 0;
    D.New();
    try {
      D.Open(File, [&, First = First](const std::string&) { return ++Questions == 1 ? First : Design::TIgnoreAnswer::Ignore; });
      EXPECT_EQ(D.Form().ComponentCount(), Count);
    } catch (const Classes::EReadError& E) {
      EXPECT_EQ(Count, -1) << E.what();
      EXPECT_EQ(D.Form().ComponentCount(), 0);
    }
    EXPECT_EQ(Questions, Asked);
  }
  // All kept: moved, undone and redone, copied and pasted, and saved, the
  // placeholders, the property and the picture of a class unknown here are
  // what the form held.
  D.Open(File, [](const std::string&) { return Design::TIgnoreAnswer::KeepAll; });
  Run("select Label1; move 8 0; undo; redo; copy; paste; save " + Scratch("kept.txt"));
  std::ifstream Saved(Scratch("kept.txt"));
  const std::string Text((std::istreambuf_iterator<char>(Saved)), std::istreambuf_iterator<char>());
  std::size_t From = 0;
  for (const char* Line : {"  object Label1: TLabel\n    Left = 8\n  end\n", "    Wrapped = True\n",
                           "    Picture.Data = {\n      09544D65746166696C650100000002}\n",
                           "  object Edit1: TEdit\n  end\n", "  object Label2: TLabel\n    Left = 16\n"}) {
    const std::size_t At = Text.find(Line, From);
    EXPECT_NE(At, std::string::npos) << Line << Text;
    From = At == std::string::npos ? From : At;
  }
}

TEST_F(DesignerTest, ScreenshotShowsGridOutlineAndHandles) {
  Run("place TLvFilterImage 16 16 32 32");
  // PNG keeps the alpha channel: the overlay must be opaque to show.
  const std::string Shot = Scratch("view.png");
  Run("screenshot " + Shot);
  Graphics::TBitmap View;
  View.LoadFromFile(Shot);
  EXPECT_EQ(View.Width(), 400);
  EXPECT_EQ(View.Height(), 300);
  EXPECT_EQ(View.Pixel(8, 8), Graphics::clBlack);      // a grid dot
  EXPECT_NE(View.Pixel(9, 8), Graphics::clBlack);      // the background
  EXPECT_EQ(View.Pixel(48, 48), Graphics::clBlack);    // the bottom-right handle
  EXPECT_EQ(View.Pixel(32, 15), Graphics::clBlack);    // the top handle straddles the edge
  EXPECT_EQ(View.Pixel(20, 16), Graphics::clGray);     // the outline's dash
}

TEST_F(DesignerTest, APackageInUseStays) {
  Run("place TLvFilterImage 8 8");
  const auto InUse = [&](Classes::TComponentClass Class) {
    for (Classes::TComponent* C : D.Components())
      if (&C->ClassType() == Class) return true;
    return false;
  };
  EXPECT_THROW(Packages->Remove(TESSORIN_BPL, InUse), Design::EDesignError);
  EXPECT_THROW(Packages->Install(TESSORIN_BPL), Design::EDesignError);
  EXPECT_EQ(Run("palette"), "Lorvane\tTLvFilterImage\n");
  // Once the form holds none, the package goes, and its class with it.
  Run("delete");
  Packages->Remove(TESSORIN_BPL, InUse);
  EXPECT_EQ(Run("palette"), "");
  // Its component cannot come back: the undo says so and changes nothing.
  EXPECT_EQ(Fault("undo").rfind("undo: cannot undo Delete: ", 0), 0u) << Fault("undo");
  EXPECT_EQ(D.Form().ComponentCount(), 0);
  EXPECT_EQ(D.Selection().front(), &D.Form());
  EXPECT_EQ(D.UndoLabel(), "Undo Delete");
  Run("select Form1; set Caption 'Still here'; undo");
  Packages->Install(TESSORIN_BPL);
  Run("undo");
  EXPECT_EQ(Bounds("LvFilterImage1"), "8 8 105 105");
}

}  // namespace
