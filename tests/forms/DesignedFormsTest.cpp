// Forms as the design environment writes them: a root of the
// application's own class, the form's own properties, fonts and colours,
// handler names without code, text in any case and line end, and
// classes the host does not have.
#include <gtest/gtest.h>

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
  for (const auto* Class : {&Forms::TForm::ClassInfo(), &LvFltImg::TLvFilterImage::ClassInfo(),
                            &Menus::TPopupMenu::ClassInfo()})
    TypInfo::RegisterClass(*Class);
}

// Reads a text form into a new TForm as a host without the form's code.
std::unique_ptr<Forms::TForm> Open(const std::string& Text, Classes::TReadOptions Options = {}) {
  Options.KeepUnboundHandlers = true;
  auto Form = std::make_unique<Forms::TForm>(nullptr);
  Classes::TMemoryStream Stream(Bytes(Text.begin(), Text.end()));
  Classes::ReadComponentText(Stream, Form.get(), Options);
  return Form;
}

std::string WithCrLf(const std::string& Text) {
  std::string Out;
  for (const char C : Text) Out += C == '\n' ? std::string("\r\n") : std::string(1, C);
  return Out;
}

const std::string Smallest =
    "object Form1: TForm1\n"
    "  Left = 192\n  Top = 107\n  Width = 435\n  Height = 300\n  Caption = 'Form1'\n  Color = clBtnFace\n"
    "  Font.Charset = DEFAULT_CHARSET\n  Font.Color = clWindowText\n  Font.Height = -11\n"
    "  Font.Name = 'MS Sans Serif'\n  Font.Style = []\n  OldCreateOrder = False\n  PixelsPerInch = 96\n"
    "  TextHeight = 13\n"
    "  object LvFilterImage1: TLvFilterImage\n    Left = 8\n    Top = 8\n    Width = 105\n    Height = 105\n"
    "  end\n"
    "end\n";

const std::string Dialog =
    "object MainForm: TMainForm\n"
    "  Left = 0\n  Top = 0\n  AutoScroll = False\n  BorderIcons = [biSystemMenu]\n  BorderStyle = bsDialog\n"
    "  Caption = 'Dialog'\n  ClientHeight = 200\n  ClientWidth = 300\n  Color = clTeal\n"
    "  Font.Charset = RUSSIAN_CHARSET\n  Font.Color = clRed\n  Font.Height = -13\n  Font.Name = 'Tahoma'\n"
    "  Font.Pitch = fpFixed\n  Font.Style = [fsBold, fsItalic]\n  KeyPreview = True\n  OldCreateOrder = True\n"
    "  Position = poScreenCenter\n  Scaled = False\n  Visible = True\n  WindowState = wsMaximized\n"
    "  OnClick = FormClick\n  OnCreate = FormCreate\n  OnKeyPress = FormKeyPress\n"
    "  PixelsPerInch = 120\n  TextHeight = 16\n"
    "end\n";

const std::string Numbered =
    "object Form2: TForm2\n"
    "  Left = 0\n  Top = 0\n  Width = 200\n  Height = 100\n  Hint = 'h'#233' '#1046#55357#56832\n"
    "  Color = 1193046\n  Font.Charset = DEFAULT_CHARSET\n  Font.Color = -2147483623\n  Font.Height = -11\n"
    "  Font.Name = 'MS Sans Serif'\n  Font.Style = []\n  OldCreateOrder = False\n  ShowHint = True\n"
    "  PixelsPerInch = 96\n  TextHeight = 13\n"
    "  object Image1: TLvFilterImage\n    Left = 0\n    Top = 0\n    Width = 10\n    Height = 10\n"
    "    OnClick = Image1Click\n  end\n"
    "end\n";

}  // namespace

TEST(DesignedForms, OpenAsTheirFormAndStoreBackAsTheyWere) {
  RegisterClasses();
  struct TCase {
    const std::string* Text;
    const char* ClassName;
    int ClientWidth, ClientHeight;
    TColor Painted;  // the form's background
  };
  const TCase Cases[] = {
      {&Smallest, "TForm1", 427, 273, ColorToRGB(clBtnFace)},
      {&Dialog, "TMainForm", 300, 200, clTeal},
      {&Numbered, "TForm2", 192, 73, 0x123456},
  };
  for (const TCase& C : Cases) {
    const auto Form = Open(WithCrLf(*C.Text));
    EXPECT_EQ(Form->ClassName(), "TForm") << "read into the host's own class";
    EXPECT_EQ(Form->ClientWidth(), C.ClientWidth) << C.ClassName;
    EXPECT_EQ(Form->ClientHeight(), C.ClientHeight) << C.ClassName;
    Form->Show();
    EXPECT_EQ(Form->Surface().Width(), C.ClientWidth) << C.ClassName;
    EXPECT_EQ(Form->Surface().Pixel(C.ClientWidth - 1, C.ClientHeight - 1), C.Painted) << C.ClassName;
    // Stored again, text and binary: every property as it was, the class
    // name included; storing what was stored changes nothing.
    const Bytes Stored = Store(Form.get());
    EXPECT_EQ(AsText(Stored), *C.Text);
    EXPECT_EQ(Stored, AsBinary(*C.Text));
    Forms::TForm Again(nullptr);
    Classes::TMemoryStream Stream(Stored);
    Classes::TReadOptions Options;
    Options.KeepUnboundHandlers = true;
    Stream.ReadComponent(&Again, Options);
    EXPECT_EQ(Store(&Again), Stored) << C.ClassName;
  }
  const auto Form = Open(Dialog);
  EXPECT_EQ(Form->Font()->Style(), 1u << fsBold | 1u << fsItalic);
  EXPECT_EQ(Form->Font()->Size(), 8) << "13 pixels at 120 pixels an inch";
  EXPECT_EQ(Form->Width(), 306) << "the dialog frame is 3 pixels and the caption 19";
  EXPECT_EQ(Form->Height(), 225);
  EXPECT_EQ(Form->EventName("OnCreate"), "FormCreate") << "kept unbound";
  EXPECT_EQ(Open(Numbered)->Hint(), "h\u00e9 \u0416\U0001F600");
}

TEST(DesignedForms, TextIsReadInAnyCaseLineEndAndNotation) {
  RegisterClasses();
  const std::string Plain = "object Form1: TForm\n  Tag = 65280\n  Caption = 'AB'\n  PopupMenu = Menu1\n"
                            "  object Menu1: TPopupMenu\n  end\nend\n";
  const std::string Variants[] = {
      WithCrLf(Plain),
      "\xEF\xBB\xBFobject Form1: TForm\r  Tag = 65280\r  Caption = 'AB'\r  PopupMenu = Menu1\r"
      "  object Menu1: TPopupMenu\r  end\rend\r",
      "OBJECT Form1: TFORM\n  tag = $0000FF00\n  caption = #$41'B'\n  popupmenu = MENU1\n"
      "  Object Menu1: tpopupmenu\n  End\nEND\n",
  };
  for (const std::string& Variant : Variants) {
    const auto Form = Open(Variant);
    EXPECT_EQ(AsText(Store(Form.get())), AsText(Store(Open(Plain).get()))) << Variant;
    EXPECT_EQ(Form->PopupMenu(), Form->FindComponent("Menu1")) << Variant;
  }
  // Lines are counted at CR alone too.
  try {
    Open("object F: TForm\r\r  Tag = x1\rend\r");
    ADD_FAILURE() << "accepted";
  } catch (const Classes::EReadError& E) {
    EXPECT_NE(E.Message().find("line 3: "), std::string::npos) << E.Message();
  }
  // Names that differ only in case are the same name.
  EXPECT_THROW(Open("object F: TForm\n  object Img1: TLvFilterImage\n  end\n  object IMG1: TLvFilterImage\n  end\nend\n"),
               Classes::EReadError);
}

TEST(DesignedForms, StringsKeepEveryCharacterAcrossEveryRoundTrip) {
  RegisterClasses();
  // The bytes of a short string are single-byte text: E9 is U+00E9.
  TStored Short;
  Short.Str("TForm").Str("F").Str("Hint").U8(6).Str("h\xE9").U8(0).U8(0);
  EXPECT_EQ(AsText(Short.Data), "object F: TForm\n  Hint = 'h'#233\nend\n");
  EXPECT_EQ(AsBinary(AsText(Short.Data)), Short.Data);
  for (const std::string& Value :
       {std::string("h\u00e9"), std::string("\u0416\U0001F600"), std::string(300, 'x') + "\u00ff"}) {
    Forms::TForm Form(nullptr);
    Form.SetName("F");
    Form.SetHint(Value);
    const Bytes First = Store(&Form);
    EXPECT_EQ(AsBinary(AsText(First)), First);
    EXPECT_EQ(AsText(AsBinary(AsText(First))), AsText(First));
    const auto Read = Open(AsText(First));
    EXPECT_EQ(Read->Hint(), Value);
    EXPECT_EQ(Store(Read.get()), First);
  }
}

TEST(DesignedForms, UnknownClassesAndPropertiesAreRefusedOrSkippedWithEverythingInside) {
  RegisterClasses();
  const std::string Text =
      "object Form1: TForm1\n"
      "  Left = 0\n  Top = 0\n  Width = 100\n  Height = 100\n  Ctl3D = False\n"
      "  object Panel1: TPanel\n    Caption = 'x'\n"
      "    object Image1: TLvFilterImage\n    end\n"
      "  end\n"
      "  object Image2: TLvFilterImage\n    Left = 3\n    Transparent2 = True\n  end\n"
      "end\n";
  try {
    Open(Text);
    ADD_FAILURE() << "accepted without a handler";
  } catch (const Classes::EReadError& E) {
    EXPECT_NE(E.Message().find("line 6: unknown property Ctl3D of TForm1"), std::string::npos) << E.Message();
  }
  std::vector<std::string> Skipped;
  Classes::TReadOptions Options;
  Options.OnError = [&](const Classes::EReadError& Fault) {
    Skipped.push_back(Fault.what());
    EXPECT_EQ(Fault.Kind(), Fault.Fault().rfind("unknown class", 0) == 0 ? Classes::EReadError::TKind::UnknownClass
                                                                          : Classes::EReadError::TKind::UnknownProperty);
    return true;
  };
  const auto Form = Open(Text, Options);
  EXPECT_EQ(Skipped, (std::vector<std::string>{"form: line 6: unknown property Ctl3D of TForm1",
                                               "form: line 7: unknown class TPanel (Panel1)",
                                               "form: line 14: unknown property Transparent2 of TLvFilterImage"}));
  EXPECT_EQ(Form->ComponentCount(), 1) << "the panel went with the image inside it";
  EXPECT_EQ(dynamic_cast<Controls::TControl*>(Form->FindComponent("Image2"))->Left(), 3);
}

TEST(DesignedForms, ANameThatCouldNotBeStoredIsRefusedAtItsLine) {
  RegisterClasses();
  for (const char* Name : {"'a b'", "'1st'", "'End'", "''''"}) {
    try {
      Open("object Form1: TForm\n  object Image1: TLvFilterImage\n    Name = " + std::string(Name) + "\n  end\nend\n");
      ADD_FAILURE() << Name << " accepted";
    } catch (const Classes::EReadError& E) {
      EXPECT_NE(E.Message().find("line 3: Name: "), std::string::npos) << E.Message();
      EXPECT_NE(E.Message().find(" is not a valid component name"), std::string::npos) << E.Message();
    }
  }
}
