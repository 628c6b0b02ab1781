// Stored forms through the programs: lvfilter stores the form it built,
// lvview opens, clicks and stores forms, pkgtool prints and converts them.
#include <array>
#include <fcntl.h>
#include <sstream>
#include <sys/resource.h>
#include <sys/wait.h>

#include "Programs.hpp"

using namespace Graphics;
using namespace Programs;

namespace {

using FormToolsTest = TProgramTest;

bool SamePixels(const std::string& A, const std::string& B) {
  TBitmap First, Second;
  First.LoadFromFile(A);
  Second.LoadFromFile(B);
  if (First.Width() != Second.Width() || First.Height() != Second.Height()) return false;
  for (int Y = 0; Y < First.Height(); ++Y)
    for (int X = 0; X < First.Width(); ++X)
      if (First.Pixel(X, Y) != Second.Pixel(X, Y)) return false;
  return true;
}

}  // namespace

TEST_F(FormToolsTest, AStoredFormShowsAndConvertsAsItWasMade) {
  for (const char* Form : {"made.dfm", "made.txt"}) {
    TResult R = Shell(Lvfilter + " " + Q("picture8.bmp") + " " + Q("filter.png") + " -o " + Q("out.png") +
                      " --yes --top 1 --screenshot " + Q("lvfilter.png") + " --save-form " + Q(Form));
    ASSERT_EQ(R.Status, 0) << R.Output;
    // The form as text, whichever way it was stored.
    R = Shell(Pkgtool + " form " + Q(Form));
    ASSERT_EQ(R.Status, 0) << R.Output;
    EXPECT_EQ(R.Output.rfind("object Form1: TForm\n", 0), 0u) << R.Output;
    for (const char* Line : {"  object LvFilterImage1: TLvFilterImage\n", "    Width = 6\n", "    Picture.Data = {\n",
                             "    FilterBitMap.Data = {\n"})
      EXPECT_NE(R.Output.find(Line), std::string::npos) << Line << R.Output;
    // Opened again, it shows what lvfilter showed.
    R = Shell(Lvview + " --form " + Q(Form) + " --screenshot " + Q("lvview.png"));
    ASSERT_EQ(R.Status, 0) << R.Output;
    EXPECT_TRUE(SamePixels(Path("lvfilter.png"), Path("lvview.png"))) << Form;
  }
  // Binary to text to binary gives the same bytes; --text and --binary override the name.
  ASSERT_EQ(Shell(Pkgtool + " form " + Q("made.dfm") + " -o " + Q("again.txt")).Status, 0);
  ASSERT_EQ(Shell(Pkgtool + " form " + Q("again.txt") + " -o " + Q("again.dfm")).Status, 0);
  EXPECT_EQ(Content(Path("again.dfm")), Content(Path("made.dfm")));
  ASSERT_EQ(Shell(Pkgtool + " form " + Q("made.dfm") + " -o " + Q("text.dfm") + " --text").Status, 0);
  EXPECT_EQ(Content(Path("text.dfm")), Content(Path("again.txt")));
}

TEST_F(FormToolsTest, ClicksOnAStoredFormAccumulateAcrossStoring) {
  ASSERT_EQ(Shell(Lvview + " " + Q("picture24.bmp") + " " + Q("filter.png") + " --click 3,2 --save-form " +
                  Q("one.dfm")).Status, 0);
  ASSERT_EQ(Shell(Lvview + " --form " + Q("one.dfm") + " --click 3,2 --screenshot " + Q("twice.png")).Status, 0);
  ASSERT_EQ(Shell(Lvview + " " + Q("picture24.bmp") + " " + Q("filter.png") + " --click 3,2 --click 3,2 --screenshot " +
                  Q("direct.png")).Status, 0);
  EXPECT_TRUE(SamePixels(Path("twice.png"), Path("direct.png")));
}

TEST_F(FormToolsTest, BadFormsAndNamesAreRefusedWithOneLine) {
  std::ofstream(Path("broken.txt")) << "object F: TForm\n  Width = 'six'\n  Height = {ABC\nend\n";
  std::ofstream(Path("unknown.txt")) << "object F: TForm\n  object X: TNoSuchThing\n  end\nend\n";
  std::ofstream(Path("cut.dfm"), std::ios::binary) << std::string("TPF0\x05TForm\x01", 11);
  // Wider, or more in all, than a form's surface may be.
  std::ofstream(Path("wide.txt")) << "object F: TForm\n  Width = 20000\n  Height = 240\nend\n";
  std::ofstream(Path("many.txt")) << "object F: TForm\n  ClientWidth = 16384\n  ClientHeight = 8193\nend\n";
  std::ofstream(Path("wide-image.txt"))
      << "object F: TForm\n  Width = 320\n  object I: TLvFilterImage\n    Width = 16385\n  end\nend\n";
  // A form stored without a size gets the one its controls need, unless they reach too far.
  std::ofstream(Path("far.txt")) << "object F: TForm\n  object I: TLvFilterImage\n    Left = 16000\n    Width = 400\n"
                                    "    Height = 10\n  end\nend\n";
  std::ofstream(Path("farthest.txt")) << "object F: TForm\n  object I: TLvFilterImage\n    Left = 2147483647\n"
                                         "    Width = 10\n    Height = 10\n  end\nend\n";
  // Command, what the one line says after the file's name.
  const std::pair<std::string, std::string> Cases[] = {
      {Pkgtool + " form " + Q("broken.txt"), Path("broken.txt") + ": line 4: expected a hex digit or '}'"},
      {Pkgtool + " form " + Q("cut.dfm"), Path("cut.dfm") + ": offset 11: truncated component name"},
      {Pkgtool + " form " + Q("cut.dfm") + " -o " + Q("x.gif"), "x.gif: a form file is named .dfm (binary) or .txt (text)"},
      {Lvview + " --form " + Q("broken.txt") + " --screenshot " + Q("v.png"), Path("broken.txt") + ": line 4"},
      {Lvview + " --form " + Q("unknown.txt") + " --screenshot " + Q("v.png"), Path("unknown.txt") + ": line 2: unknown class TNoSuchThing"},
      {Lvview + " --form " + Q("wide.txt") + " --screenshot " + Q("v.png"), Path("wide.txt") + ": line 2: Width: a client area of 19992 x "},
      {Lvview + " --form " + Q("many.txt") + " --screenshot " + Q("v.png"), Path("many.txt") + ": line 3: ClientHeight: a client area of 16384 x 8193 pixels is larger than a form can show"},
      {Lvview + " --form " + Q("wide-image.txt") + " --screenshot " + Q("v.png"), Path("wide-image.txt") + ": line 4: Width: 16385 x "},
      {Lvview + " --form " + Q("far.txt") + " --screenshot " + Q("v.png"), Path("far.txt") + ": its controls reach 16400 x 10 pixels"},
      {Lvview + " --form " + Q("farthest.txt") + " --screenshot " + Q("v.png"), Path("farthest.txt") + ": its controls reach 2147483657 x 10 pixels"},
      {Lvfilter + " " + Q("picture24.bmp") + " " + Q("filter.png") + " -o " + Q("o.png") + " --save-form " + Q("f.frm"),
       "f.frm: a form file is named .dfm (binary) or .txt (text)"},
  };
  for (const auto& [Command, Text] : Cases) {
    const TResult R = Shell(Command);
    EXPECT_EQ(R.Status, 2) << Command << "\n" << R.Output;
    EXPECT_NE(R.Output.find(Text), std::string::npos) << Command << "\n" << R.Output;
    EXPECT_EQ(Lines(R.Output), 1) << R.Output;
  }
  EXPECT_FALSE(fs::exists(Path("v.png")) || fs::exists(Path("o.png")) || fs::exists(Path("x.gif")));
}

namespace {

std::string WithCrLf(const std::string& Text) {
  std::string Out;
  for (const char C : Text) Out += C == '\n' ? std::string("\r\n") : std::string(1, C);
  return Out;
}

const std::string Font = "  Font.Charset = DEFAULT_CHARSET\n  Font.Color = clWindowText\n  Font.Height = -11\n"
                         "  Font.Name = 'MS Sans Serif'\n";

}  // namespace

TEST_F(FormToolsTest, FormsAsTheDesignEnvironmentWritesThemOpenAndStoreBack) {
  // A picture and its filter as lvfilter stores them, in forms as the
  // environment writes them.
  ASSERT_EQ(Shell(Lvfilter + " " + Q("picture24.bmp") + " " + Q("filter.png") + " -o " + Q("out.png") +
                  " --save-form " + Q("made.txt")).Status, 0);
  const std::string Made = Content(Path("made.txt"));
  const std::string Image = Made.substr(Made.find("  object LvFilterImage1: TLvFilterImage\n"));
  struct TCase {
    const char* Name;
    std::string Header;  // the form's own lines
    int Width, Height;   // of the client area
    TColor Background;
  };
  const TCase Cases[] = {
      {"sizeable",
       "object Form1: TForm1\n  Left = 192\n  Top = 107\n  Width = 435\n  Height = 300\n  Caption = 'Form1'\n"
       "  Color = clBtnFace\n" + Font + "  Font.Style = []\n  OldCreateOrder = False\n  PixelsPerInch = 96\n"
       "  TextHeight = 13\n",
       427, 273, ColorToRGB(clBtnFace)},
      {"client",
       "object MainForm: TMainForm\n  Left = 0\n  Top = 0\n  AutoScroll = False\n  BorderStyle = bsSingle\n"
       "  Caption = 'Main'\n  ClientHeight = 50\n  ClientWidth = 60\n  Color = clTeal\n" + Font +
       "  Font.Style = [fsBold, fsUnderline]\n  OldCreateOrder = True\n  Position = poScreenCenter\n"
       "  OnClick = FormClick\n  OnCreate = FormCreate\n  PixelsPerInch = 96\n  TextHeight = 13\n",
       60, 50, clTeal},
      {"numbered",
       "object Form2: TForm2\n  Left = 0\n  Top = 0\n  Width = 100\n  Height = 80\n  Color = 1193046\n" + Font +
       "  Font.Style = [fsItalic]\n  OldCreateOrder = False\n  PixelsPerInch = 96\n  TextHeight = 13\n",
       92, 53, 0x123456},
  };
  for (const TCase& C : Cases) {
    const std::string Text = C.Header + Image;
    const std::string Name = C.Name;
    std::ofstream(Path(Name + ".txt"), std::ios::binary) << WithCrLf(Text);
    ASSERT_EQ(Shell(Pkgtool + " form " + Q(Name + ".txt") + " -o " + Q(Name + ".dfm")).Status, 0) << Name;
    for (const std::string& Form : {Name + ".txt", Name + ".dfm"}) {
      TResult R = Shell(Lvview + " --form " + Q(Form) + " --screenshot " + Q("shot.png") + " --save-form " +
                        Q("stored.txt"));
      ASSERT_EQ(R.Status, 0) << Form << "\n" << R.Output;
      EXPECT_EQ(R.Output, "");
      TBitmap Shot;
      Shot.LoadFromFile(Path("shot.png"));
      EXPECT_EQ(Shot.Width(), C.Width) << Form;
      EXPECT_EQ(Shot.Height(), C.Height) << Form;
      EXPECT_EQ(Shot.Pixel(C.Width - 1, C.Height - 1), C.Background) << Form;
      EXPECT_EQ(Shot.Pixel(0, 0), RGB(0, 100, 0)) << Form << ": the blended picture";
      // Every property the file had, the class name included; and storing
      // the stored form changes nothing.
      EXPECT_EQ(Content(Path("stored.txt")), Text) << Form;
      R = Shell(Lvview + " --form " + Q("stored.txt") + " --screenshot " + Q("again.png") + " --save-form " +
                Q("again.txt"));
      ASSERT_EQ(R.Status, 0) << R.Output;
      EXPECT_EQ(Content(Path("again.txt")), Text) << Form;
    }
  }
}

TEST_F(FormToolsTest, UnknownControlsAreRefusedOrKeptWithAWarningEach) {
  const std::string Text = "object Form1: TForm1\n  Width = 100\n  Height = 80\n  Ctl3D = False\n"
                           "  object Label1: TLabel\n    Caption = 'Hi'\n    object Inner: TLvFilterImage\n    end\n  end\n"
                           "end\n";
  std::ofstream(Path("labelled.txt"), std::ios::binary) << WithCrLf(Text);
  ASSERT_EQ(Shell(Pkgtool + " form " + Q("labelled.txt") + " -o " + Q("labelled.dfm")).Status, 0);
  // Form, where each fault is, in order.
  const std::pair<std::string, std::array<std::string, 2>> Cases[] = {
      {"labelled.txt", {"line 4", "line 5"}},
      {"labelled.dfm", {"offset 34", "offset 42"}},
  };
  for (const auto& [Form, Where] : Cases) {
    const std::string Command = Lvview + " --form " + Q(Form) + " --screenshot " + Q("v.png");
    TResult R = Shell(Command);
    EXPECT_EQ(R.Status, 2) << R.Output;
    EXPECT_EQ(R.Output, "lvview: " + Path(Form) + ": " + Where[0] + ": unknown property Ctl3D of TForm1\n");
    EXPECT_FALSE(fs::exists(Path("v.png")));
    // Kept: the label with the image inside it, and the property where it stood.
    R = Shell(Command + " --ignore-unknown --save-form " + Q("kept.txt"));
    EXPECT_EQ(R.Status, 0) << R.Output;
    EXPECT_EQ(R.Output, "lvview: warning: " + Path(Form) + ": " + Where[0] +
                            ": unknown property Ctl3D of TForm1: kept\n"
                            "lvview: warning: " + Path(Form) + ": " + Where[1] +
                            ": unknown class TLabel (Label1): kept as a placeholder\n");
    EXPECT_EQ(Content(Path("kept.txt")),
              "object Form1: TForm1\n  Left = 0\n  Top = 0\n  Width = 100\n  Height = 80\n  Ctl3D = False\n"
              "  Color = clBtnFace\n" + Font + "  Font.Style = []\n  OldCreateOrder = False\n  PixelsPerInch = 96\n"
              "  TextHeight = 13\n  object Label1: TLabel\n    Caption = 'Hi'\n    object Inner: TLvFilterImage\n"
              "      Left = 0\n      Top = 0\n      Width = 105\n      Height = 105\n    end\n  end\nend\n");
    fs::remove(Path("v.png"));
  }
}

TEST_F(FormToolsTest, AFilterImageOnAPanelTheViewerLacksStampsWhereItIsClickedAndStoresBack) {
  // The image lvview makes of a picture and a filter, clicked; and the same
  // image on a panel at (20, 30) of a form, clicked at the same point of it.
  ASSERT_EQ(Shell(Lvview + " " + Q("picture24.bmp") + " " + Q("filter.png") + " --click 3,2 --screenshot " +
                  Q("alone.png") + " --save-form " + Q("alone.txt")).Status, 0);
  const std::string Alone = Content(Path("alone.txt"));
  std::string Image;
  std::istringstream Lines(Alone.substr(Alone.find("  object LvFilterImage1")));
  for (std::string Line; std::getline(Lines, Line) && Line != "end";) Image += "  " + Line + "\n";
  const std::string Panelled = "object Form1: TForm1\n  Left = 0\n  Top = 0\n  Width = 160\n  Height = 120\n"
                               "  Color = clBtnFace\n" + Font + "  Font.Style = []\n  OldCreateOrder = False\n"
                               "  PixelsPerInch = 96\n  TextHeight = 13\n  object Panel1: TPanel\n    Left = 20\n"
                               "    Top = 30\n    Width = 100\n    Height = 50\n    BevelOuter = bvNone\n"
                               "    TabOrder = 0\n" + Image + "  end\nend\n";
  std::ofstream(Path("panel.txt"), std::ios::binary) << Panelled;
  // Read and stored, it is as it was.
  TResult R = Shell(Lvview + " --form " + Q("panel.txt") + " --ignore-unknown --screenshot " + Q("still.png") +
                    " --save-form " + Q("again.txt"));
  ASSERT_EQ(R.Status, 0) << R.Output;
  EXPECT_EQ(Content(Path("again.txt")), Panelled);
  // Before the click, the form shows the panel as a hatched frame.
  TBitmap Still;
  Still.LoadFromFile(Path("still.png"));
  EXPECT_EQ(Still.Pixel(20, 79), RGB(96, 96, 96)) << "the panel's frame";
  EXPECT_EQ(Still.Pixel(119, 30), RGB(96, 96, 96));
  EXPECT_EQ(Still.Pixel(121, 30), ColorToRGB(clBtnFace)) << "beyond it";
  // Clicked, it stamps the filter where it stamps on the image alone.
  R = Shell(Lvview + " --form " + Q("panel.txt") + " --ignore-unknown --click 23,32 --screenshot " +
            Q("stamped.png") + " --save-form " + Q("stamped.txt"));
  ASSERT_EQ(R.Status, 0) << R.Output;
  const std::string Stamped = Content(Path("stamped.txt"));
  const auto PictureOf = [](const std::string& Form) {
    const std::size_t At = Form.find("Picture.Data = {");
    return Form.substr(At, Form.find('}', At) - At);
  };
  std::string Expected = PictureOf(Alone);
  for (std::size_t At = 0; (At = Expected.find('\n', At)) != std::string::npos; At += 3) Expected.insert(At + 1, "  ");
  EXPECT_EQ(PictureOf(Stamped), Expected);
  TBitmap Shot, Direct;
  Shot.LoadFromFile(Path("stamped.png"));
  Direct.LoadFromFile(Path("alone.png"));
  for (int Y = 0; Y < Direct.Height(); ++Y)
    for (int X = 0; X < Direct.Width(); ++X) ASSERT_EQ(Shot.Pixel(20 + X, 30 + Y), Direct.Pixel(X, Y)) << X << "," << Y;
}

TEST_F(FormToolsTest, ConvertingALongFormHoldsItLessThanThreeTimesOver) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer's shadow and quarantine weigh on every allocation";
#else
  // A form that is one long string, converted every way: the peak memory
  // of each run, for a string of 60 MB, stays under three times its size.
  const std::size_t Size = 60u << 20;
  std::ofstream(Path("long.txt")) << "object F: TForm\n  Hint = '" << std::string(Size, 'x') << "'\nend\n";
  const std::vector<std::vector<std::string>> Runs = {
      {"form", Path("long.txt"), "-o", Path("long.dfm")},
      {"form", Path("long.dfm"), "-o", Path("again.txt")},
      {"form", Path("long.dfm")},
  };
  for (const auto& Arguments : Runs) {
    const pid_t Child = fork();
    if (Child == 0) {
      const int Null = open("/dev/null", O_WRONLY);
      dup2(Null, 1);
      std::vector<char*> Argv{const_cast<char*>(Pkgtool.c_str())};
      for (const std::string& A : Arguments) Argv.push_back(const_cast<char*>(A.c_str()));
      Argv.push_back(nullptr);
      execv(Pkgtool.c_str(), Argv.data());
      _exit(127);
    }
    int Status = 0;
    struct rusage Usage {};
    ASSERT_EQ(wait4(Child, &Status, 0, &Usage), Child);
    EXPECT_TRUE(WIFEXITED(Status) && WEXITSTATUS(Status) == 0) << Arguments[1];
    EXPECT_LT(std::size_t(Usage.ru_maxrss) * 1024, 3 * Size) << Arguments[1] << ": " << Usage.ru_maxrss << " KB";
  }
#endif
}
