// Forms as real projects hold them, written by the design environment for
// a framework with far more classes than this host has: read whole with
// what the host does not know kept, shown, and stored back as they were.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "Classes.hpp"
#include "ExtCtrls.hpp"
#include "FormHelpers.hpp"
#include "Forms.hpp"
#include "LvFltImg.hpp"
#include "Menus.hpp"

using namespace FormHelpers;
using namespace Graphics;

namespace {

void RegisterClasses() {
  for (const auto* Class : {&Forms::TForm::ClassInfo(), &ExtCtrls::TImage::ClassInfo(),
                            &LvFltImg::TLvFilterImage::ClassInfo(), &Menus::TPopupMenu::ClassInfo()})
    TypInfo::RegisterClass(*Class);
}

// What a read told, besides the form.
struct TRead {
  std::unique_ptr<Forms::TForm> Form;
  std::vector<std::string> Told;  // each fault kept and reference left unresolved
};

// Reads a form, text or binary, as a host without the form's code: with
// Keep, what it does not know is kept.
TRead Open(const std::string& Data, bool Keep, int CodePage = 1252) {
  TRead Read;
  Classes::TReadOptions Options;
  Options.KeepUnboundHandlers = true;
  Options.CodePage = CodePage;
  if (Keep)
    Options.OnError = [&](const Classes::EReadError& Fault) {
      Read.Told.push_back(Fault.what());
      return Classes::TReadAnswer::Keep;
    };
  Options.OnUnresolved = [&](const Classes::EReadError& Note) { Read.Told.push_back(Note.what()); };
  Read.Form = std::make_unique<Forms::TForm>(nullptr);
  Classes::TMemoryStream Stream(Bytes(Data.begin(), Data.end()));
  if (Data.rfind("TPF0", 0) == 0) Stream.ReadComponent(Read.Form.get(), Options);
  else Classes::ReadComponentText(Stream, Read.Form.get(), Options);
  return Read;
}

// Binary data as the text form writes it for a property indented by
// Indent: 32 bytes to a line, one level further in.
std::string Data(const Bytes& Value, int Indent) {
  static const char Digits[] = "0123456789ABCDEF";
  std::string Text = "{";
  for (std::size_t I = 0; I < Value.size(); ++I) {
    if (I % 32 == 0) Text += "\n" + std::string(std::size_t(Indent + 2), ' ');
    Text += {Digits[Value[I] >> 4], Digits[Value[I] & 15]};
  }
  return Text + "}";
}

// A picture's data: the graphic's class name, then what it stores.
Bytes PictureData(const std::string& ClassName, const Bytes& Stored) {
  return TestBytes::TBytes{}.U8(unsigned(ClassName.size())).Chars(ClassName).Raw(Stored).Data;
}

Bytes Sized(const Bytes& File) {
  Bytes Out = TStored().U32(std::uint32_t(File.size())).Data;
  Out.erase(Out.begin(), Out.begin() + 4);  // TStored starts with the signature
  Out.insert(Out.end(), File.begin(), File.end());
  return Out;
}

// A picture of one colour as a file of the format the name's extension says.
Bytes Picture(int Width, int Height, TColor Colour, const std::string& Name) {
  TBitmap Bitmap;
  Bitmap.SetPixelFormat(pf24bit);
  Bitmap.SetSize(Width, Height);
  Bitmap.Canvas()->Brush.Color = Colour;
  Bitmap.Canvas()->FillRect({0, 0, Width, Height});
  return Bitmap.SaveToBytes(Name);
}

// An icon file of one 4 x 4 image: a 32-bit bitmap of its colours, then
// the mask (all shown), with the pixel at the top left red and the rest blue.
Bytes Icon() {
  TStored File;
  File.Data.clear();
  File.U16(0).U16(1).U16(1);                                  // reserved, an icon, one image
  File.U8(4).U8(4).U8(0).U8(0).U16(1).U16(32).U32(40 + 64 + 16).U32(22);  // its entry: size, offset
  File.U32(40).U32(4).U32(8).U16(1).U16(32).U32(0).U32(64 + 16).U32(0).U32(0).U32(0).U32(0);
  for (int Y = 3; Y >= 0; --Y)                                // bottom-up rows, BGRA
    for (int X = 0; X < 4; ++X) File.U32(X == 0 && Y == 0 ? 0xFFFF0000 : 0xFF0000FF);
  for (int Row = 0; Row < 4; ++Row) File.U32(0);             // the mask: every pixel shown
  return File.Data;
}

}  // namespace

TEST(RealForms, AProjectsFormOpensWholeShowsItsControlsAndComesBackAsItWas) {
  RegisterClasses();
  const Bytes Filter = Picture(3, 3, RGB(200, 200, 200), "f.bmp");
  const Bytes Photo = Picture(40, 30, RGB(0, 0, 255), "p.jpg");
  // An inherited form: a panel of a class this host lacks holds a filter
  // image and a button; a grid shows a data module's source; an icon and a
  // JPEG photo; a popup menu placed where its icon was at design time.
  const std::string Text =
      "inherited OrderForm: TOrderForm\n"
      "  Left = 192\n  Top = 107\n  Width = 435\n  Height = 300\n  Caption = 'Orders'\n  Color = clBtnFace\n"
      "  Font.Charset = DEFAULT_CHARSET\n  Font.Color = clWindowText\n  Font.Height = -11\n"
      "  Font.Name = 'MS Sans Serif'\n  Font.Style = []\n  OldCreateOrder = True\n  PopupMenu = PopupMenu1\n"
      "  OnCreate = FormCreate\n  PixelsPerInch = 96\n  TextHeight = 13\n"
      "  object Panel1: TPanel\n"
      "    Left = 16\n    Top = 24\n    Width = 200\n    Height = 160\n    BevelOuter = bvLowered\n"
      "    Caption = 'Panel1'\n    TabOrder = 0\n"
      "    object LvFilterImage1: TLvFilterImage\n"
      "      Left = 10\n      Top = 12\n      Width = 40\n      Height = 30\n"
      "      Picture.Data = " + Data(PictureData("TBitmap", Sized(Picture(40, 30, RGB(250, 250, 250), "p.bmp"))), 6) + "\n"
      "      FilterBitMap.Data = " + Data(Sized(Filter), 6) + "\n"
      "    end\n"
      "    object Button1: TButton\n"
      "      Left = 112\n      Top = 120\n      Width = 75\n      Height = 25\n      Caption = '&OK'\n"
      "      TabOrder = 0\n      OnClick = Button1Click\n"
      "    end\n"
      "  end\n"
      "  object DBGrid1: TDBGrid\n"
      "    Left = 224\n    Top = 24\n    Width = 180\n    Height = 120\n    DataSource = DataModule1.DataSource1\n"
      "    TabOrder = 1\n    TitleFont.Style = [fsBold]\n"
      "  end\n"
      "  inherited Logo: TImage [2]\n"
      "    Left = 224\n    Top = 152\n    Width = 4\n    Height = 4\n"
      "    Picture.Data = " + Data(PictureData("TIcon", Icon()), 4) + "\n"
      "  end\n"
      "  object Photo: TImage\n"
      "    Left = 264\n    Top = 152\n    Width = 40\n    Height = 30\n"
      "    Picture.Data = " + Data(PictureData("TJPEGImage", Sized(Photo)), 4) + "\n"
      "  end\n"
      "  object PopupMenu1: TPopupMenu\n"
      "    Left = 336\n    Top = 200\n"
      "    object Open1: TMenuItem\n      Caption = '&Open'\n      OnClick = Open1Click\n    end\n"
      "  end\n"
      "end\n";

  // Without the skip option the first class it lacks refuses the form.
  try {
    Open(Text, false);
    ADD_FAILURE() << "accepted";
  } catch (const Classes::EReadError& E) {
    EXPECT_EQ(std::string(E.what()), "form: line 18: unknown class TPanel");
  }

  for (const std::string& Form : {Text, [&] {
         const Bytes Binary = AsBinary(Text);
         return std::string(Binary.begin(), Binary.end());
       }()}) {
    const bool Binary = Form.rfind("TPF0", 0) == 0;
    SCOPED_TRACE(Binary ? "binary" : "text");
    TRead Read = Open(Form, true);
    Forms::TForm& Root = *Read.Form;
    ASSERT_EQ(Read.Told.size(), 4u);
    const auto Line = [&](const std::string& Object) {
      const std::size_t At = Text.find("object " + Object);
      return "form: line " + std::to_string(1 + std::count(Text.begin(), Text.begin() + long(At), '\n')) + ": ";
    };
    if (!Binary) {
      EXPECT_EQ(Read.Told, (std::vector<std::string>{Line("Panel1") + "unknown class TPanel (Panel1)",
                                                     Line("Button1") + "unknown class TButton (Button1)",
                                                     Line("DBGrid1") + "unknown class TDBGrid (DBGrid1)",
                                                     Line("Open1") + "unknown class TMenuItem (Open1)"}));
    }

    // The panel is a control at its place, holding the filter image.
    auto* Panel = dynamic_cast<Controls::TPlaceholder*>(Root.FindComponent("Panel1"));
    auto* Image = dynamic_cast<LvFltImg::TLvFilterImage*>(Root.FindComponent("LvFilterImage1"));
    ASSERT_TRUE(Panel && Image);
    EXPECT_EQ(Panel->StoredClassName(), "TPanel");
    EXPECT_EQ(Panel->BoundsRect(), (TRect{16, 24, 216, 184}));
    EXPECT_EQ(Image->Parent(), Panel);
    EXPECT_EQ(Image->FormRect(), (TRect{26, 36, 66, 66}));
    EXPECT_EQ(Root.PopupMenu(), Root.FindComponent("PopupMenu1"));
    EXPECT_EQ(Root.FindComponent("PopupMenu1")->DesignInfo(), 200 << 16 | 336);
    EXPECT_EQ(Root.FindComponent("Open1")->Holder(), Root.FindComponent("PopupMenu1"));
    EXPECT_EQ(Root.FindComponent("Logo")->FilerFlags(), Classes::ffInherited | Classes::ffChildPos);
    // The icon and the photo, read through the codecs and kept in their class.
    const auto* Logo = dynamic_cast<ExtCtrls::TImage*>(Root.FindComponent("Logo"))->Picture()->Graphic();
    const auto* Shot = dynamic_cast<ExtCtrls::TImage*>(Root.FindComponent("Photo"))->Picture()->Graphic();
    ASSERT_TRUE(Logo && Shot);
    EXPECT_EQ(Logo->ClassName(), "TIcon");
    EXPECT_EQ(Shot->ClassName(), "TJPEGImage");
    EXPECT_EQ(Shot->Width(), 40);

    // Shown: the panel a hatched frame, the icon as it is drawn.
    Root.Show();
    const TBitmap& Surface = Root.Surface();
    EXPECT_EQ(Surface.Pixel(16, 24), RGB(96, 96, 96)) << "the frame's corner";
    EXPECT_EQ(Surface.Pixel(16 + 7, 25), RGB(160, 160, 160)) << "a hatch line";
    EXPECT_EQ(Surface.Pixel(16 + 8, 25), ColorToRGB(clBtnFace)) << "the form between the lines";
    EXPECT_EQ(Surface.Pixel(224, 152), clRed) << "the icon's top left";
    EXPECT_EQ(Surface.Pixel(227, 155), clBlue);

    // Stored, it is the form it was, text and binary.
    EXPECT_EQ(AsText(Store(&Root)), Text);
    if (Binary) {
      EXPECT_EQ(Store(&Root), Bytes(Form.begin(), Form.end()));
    }

    // A click on the filter image stamps its filter centred on the point,
    // in the image's own coordinates, as lvview's clicks do.
    Image->OnMouseDown = [Image](System::TObject*, Controls::TMouseButton, Controls::TShiftState, int X, int Y) {
      Image->Filter(Y - Image->InvertedFilter().Height() / 2, X - Image->InvertedFilter().Width() / 2);
    };
    Root.ClickAt(26 + 5, 36 + 7);
    EXPECT_EQ(Image->Picture()->Bitmap()->Pixel(5, 7), RGB(195, 195, 195)) << "stamped where clicked";
    EXPECT_EQ(Image->Picture()->Bitmap()->Pixel(3, 5), RGB(250, 250, 250)) << "and nowhere else";
    EXPECT_EQ(Surface.Pixel(26 + 5, 36 + 7), RGB(195, 195, 195)) << "and shown there";
  }
}

TEST(RealForms, WhatTheEnvironmentWritesIsReadKeptAndWrittenBack) {
  RegisterClasses();
  const std::string Head = "object F: TForm\n";
  const auto InImage = [&](const std::string& Lines) {
    return Head + "  object I: TLvFilterImage\n" + Lines + "  end\nend\n";
  };
  const auto Binary = [](const TStored& Form) { return std::string(Form.Data.begin(), Form.Data.end()); };
  const auto ImageOf = [](Forms::TForm& Form) { return dynamic_cast<LvFltImg::TLvFilterImage*>(Form.FindComponent("I")); };
  struct TRow {
    std::string Fault;               // what the environment writes
    std::string Form;                // text, or binary ("TPF0")
    std::vector<std::string> Lines;  // that the stored text holds, in order; none: refused
    std::string Told = {};           // what refusing says, or else the last fault kept or reference left unresolved
    bool Keep = false;               // with the skip option
    int CodePage = 1252;
    std::function<void(Forms::TForm&)> Check = nullptr;
  };
  std::vector<TRow> Rows = {
      {"a reference into another module", Head + "  PopupMenu = DataModule1.PopupMenu1\nend\n",
       {"  PopupMenu = DataModule1.PopupMenu1"}, "form: line 2: PopupMenu: no component named DataModule1.PopupMenu1",
       false, 1252, [](Forms::TForm& F) { EXPECT_EQ(F.PopupMenu(), nullptr); }},
      {"the same, binary",
       Binary(TStored().Str("TForm").Str("F").Str("PopupMenu").U8(7).Str("DataModule1.PopupMenu1").U8(0).U8(0)),
       {"  PopupMenu = DataModule1.PopupMenu1"}, "form: offset 12: PopupMenu: no component named DataModule1.PopupMenu1"},
      {"a reference to a placeholder",
       Head + "  object I: TLvFilterImage\n    PopupMenu = Menu2\n  end\n  object Menu2: TTntPopupMenu\n  end\nend\n",
       {"    PopupMenu = Menu2", "  object Menu2: TTntPopupMenu"}, "form: line 5: unknown class TTntPopupMenu (Menu2)", true},
      {"a popup menu's place at design time",
       Head + "  object PopupMenu1: TPopupMenu\n    Left = -8\n    Top = 200\n  end\nend\n",
       {"  object PopupMenu1: TPopupMenu", "    Left = -8", "    Top = 200"}, "", false, 1252,
       [](Forms::TForm& F) { EXPECT_EQ(F.FindComponent("PopupMenu1")->DesignInfo(), 200 << 16 | 0xFFF8); }},
      {"a place beyond 16 bits", Head + "  object PopupMenu1: TPopupMenu\n    Left = 40000\n  end\nend\n", {},
       "form: line 3: Left: 40000 is out of range"},
      {"a graphic class of control bytes",
       InImage("    Picture.Data = {0A541B5B33316D580A592D}\n"), {},
       "form: line 3: Picture.Data: unknown graphic class T\\x1B[31mX\\x0AY-"},
      {"a PNG picture", InImage("    Picture.Data = " + Data(PictureData("TPngImage", Picture(5, 3, clLime, "p.png")), 4) + "\n"),
       {"    Picture.Data = " + Data(PictureData("TPngImage", Picture(5, 3, clLime, "p.png")), 4)}, "", false, 1252,
       [&](Forms::TForm& F) {
         EXPECT_EQ(ImageOf(F)->Picture()->Graphic()->ClassName(), "TPngImage");
         EXPECT_EQ(ImageOf(F)->Picture()->Width(), 5);
       }},
      {"an icon whose mask leaves less than the colours' header",
       InImage("    Picture.Data = " + Data(PictureData("TIcon", [] {
         // One image of 32 x 10, whose 40-byte mask leaves one byte of
         // colours: a header and a byte in all.
         Bytes Cut = Icon();
         Cut.resize(22 + 41);
         Cut[6] = 32, Cut[7] = 10, Cut[14] = 41;  // the directory's size of it, and its bytes
         Cut[22 + 4] = 32, Cut[22 + 8] = 20;      // its header: the width, the height of colours and mask
         return Cut;
       }()), 4) + "\n"),
       {}, "form: line 3: Picture.Data: TIcon data: offset 0: truncated bitmap header"},
      {"a picture of a class still unknown, refused",
       InImage("    Picture.Data = {" "09544D65746166696C65" "0100000002}\n"), {},
       "form: line 3: Picture.Data: unknown graphic class TMetafile"},
      {"the same, kept", InImage("    Picture.Data = {" "09544D65746166696C65" "0100000002}\n"),
       {"    Picture.Data = {", "      09544D65746166696C650100000002}"},
       "form: line 3: Picture.Data: unknown graphic class TMetafile", true, 1252,
       [&](Forms::TForm& F) { EXPECT_EQ(ImageOf(F)->Picture()->Graphic(), nullptr); }},
      {"inherited and inline objects at their positions",
       Head + "  inherited I: TLvFilterImage [0]\n  end\n  inline J: TLvFilterImage [3]\n  end\n"
              "  inherited K: TLvFilterImage\n  end\nend\n",
       {"  inherited I: TLvFilterImage [0]", "  inline J: TLvFilterImage [3]", "  inherited K: TLvFilterImage"}},
      {"a UTF-8 string of a later writer",
       Binary(TStored().Str("TForm").Str("F").Str("Caption").U8(20).U32(3).Raw({'h', 0xC3, 0xA9}).U8(0).U8(0)),
       {"  Caption = 'h'#233"}, "", false, 1252, [](Forms::TForm& F) { EXPECT_EQ(F.Caption(), "h\u00e9"); }},
      {"text in Windows-1251", Head + "  Caption = '\xCF\xF0\xE8'\nend\n", {"  Caption = #1055#1088#1080"}, "", false,
       1251, [](Forms::TForm& F) { EXPECT_EQ(F.Caption(), "\u041f\u0440\u0438"); }},
      {"text in the default Windows-1252", Head + "  Caption = '\x80\xE9'\nend\n", {"  Caption = #8364#233"}},
      {"an end-of-file character", Head + "end\n\x1A", {"object F: TForm"}},
      {"an enumeration value of a later version, refused", Head + "  Position = poDesktopCenter\nend\n", {},
       "form: line 2: Position: poDesktopCenter is not a TPosition"},
      {"the same, kept", InImage("    Align = alCustom\n    Cursor = crHandPoint\n") ,
       {"    Align = alCustom", "    Cursor = crHandPoint"}, "form: line 3: Align: alCustom is not a TAlign", true,
       1252, [&](Forms::TForm& F) { EXPECT_EQ(ImageOf(F)->Align(), Controls::alNone); }},
      {"a float in the shortest form", InImage("    Ratio = 1.5e-3\n    Scale = 0.1s\n"),
       {"    Ratio = 0.0015", "    Scale = 0.1s"}, "form: line 4: unknown property Scale of TLvFilterImage", true},
      {"an over-long class name, told on its line", Head + "  inherited " + std::string(240, 'T') + "\n  end\nend\n",
       {}, "form: line 2: a class name of 240 bytes or more"},
  };
  // Every cursor by name; crSize is crSizeAll's old name.
  const std::pair<const char*, int> Cursors[] = {
      {"crDefault", 0},     {"crNone", -1},       {"crArrow", -2},     {"crCross", -3},      {"crIBeam", -4},
      {"crSize", -22},      {"crSizeNESW", -6},   {"crSizeNS", -7},    {"crSizeNWSE", -8},   {"crSizeWE", -9},
      {"crUpArrow", -10},   {"crHourGlass", -11}, {"crDrag", -12},     {"crNoDrop", -13},    {"crHSplit", -14},
      {"crVSplit", -15},    {"crMultiDrag", -16}, {"crSQLWait", -17},  {"crNo", -18},        {"crAppStart", -19},
      {"crHelp", -20},      {"crHandPoint", -21}, {"crSizeAll", -22}};
  for (const auto& [Name, Value] : Cursors)
    Rows.push_back({std::string("the cursor ") + Name, InImage("    Cursor = " + std::string(Name) + "\n"),
                    {Value == 0 ? "    Height = 105" : Value == -22 ? "    Cursor = crSizeAll" : "    Cursor = " + std::string(Name)},
                    "", false, 1252, [&, Value = Value](Forms::TForm& F) { EXPECT_EQ(ImageOf(F)->Cursor(), Value); }});
  // The colours of later palettes, by value or from the system's scheme.
  const std::pair<const char*, TColor> Colours[] = {{"clCream", 0xF0FBFF},    {"clMoneyGreen", 0xC0DCC0},
                                                    {"clSkyBlue", 0xF0CAA6},  {"clMedGray", 0xA4A0A0},
                                                    {"clHotLight", clSystemColor | 26}, {"clMenuBar", clSystemColor | 30}};
  for (const auto& [Name, Value] : Colours)
    Rows.push_back({std::string("the colour ") + Name, Head + "  Color = " + Name + "\nend\n",
                    {"  Color = " + std::string(Name)}, "", false, 1252,
                    [Value = Value](Forms::TForm& F) { EXPECT_EQ(F.Color(), Value); }});

  for (const TRow& Row : Rows) {
    SCOPED_TRACE(Row.Fault);
    TRead Read;
    try {
      Read = Open(Row.Form, Row.Keep, Row.CodePage);
    } catch (const Classes::EReadError& E) {
      const std::string Message = E.what();
      EXPECT_TRUE(Row.Lines.empty()) << Message;
      EXPECT_EQ(Message, Row.Told);
      // One line of printable text, whatever the form held.
      EXPECT_TRUE(std::all_of(Message.begin(), Message.end(), [](char C) { return C >= 0x20 && C < 0x7F; }));
      continue;
    }
    ASSERT_FALSE(Row.Lines.empty()) << "accepted";
    EXPECT_EQ(Read.Told.empty() ? "" : Read.Told.back(), Row.Told);
    if (Row.Check) Row.Check(*Read.Form);
    // Stored, it holds the lines in order; read and stored again, it is the same.
    const Bytes Stored = Store(Read.Form.get());
    const std::string Text = AsText(Stored);
    std::size_t From = 0;
    for (const std::string& Line : Row.Lines) {
      const std::size_t At = Text.find(Line + "\n", From);
      EXPECT_NE(At, std::string::npos) << Line << "\n" << Text;
      From = At == std::string::npos ? From : At + Line.size();
    }
    EXPECT_EQ(Store(Open(std::string(Stored.begin(), Stored.end()), true).Form.get()), Stored);
  }
}
