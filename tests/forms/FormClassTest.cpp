// Form classes of an application's own, read from the form linked into the
// program (tests/forms/designed, as the build links it).
#include <gtest/gtest.h>

#include "ExtCtrls.hpp"
#include "Forms.hpp"
#include "LvFltImg.hpp"

namespace {

// What the class declares of what its form names.
struct TDeclared {
  bool Image = true, Handler = true;
  bool ImageAsFilterImage = false;  // the field is of another class
  const char* Resource = "TBoundForm";
};

class TBoundForm : public Forms::TForm {
public:
  TBoundForm(Classes::TComponent* AOwner, const TDeclared& Declared) : TForm(AOwner) {
    if (Declared.Image && !Declared.ImageAsFilterImage) DeclareField("Image1", Image1);
    if (Declared.ImageAsFilterImage) DeclareField("Image1", Stamp1);
    DeclareField("Stamp1", Stamp1);
    if (Declared.Handler) DeclareMethod("Image1MouseDown", &TBoundForm::Image1MouseDown);
    InitInheritedComponent(this, Declared.Resource);
  }
  ExtCtrls::TImage* Image1 = nullptr;
  LvFltImg::TLvFilterImage* Stamp1 = nullptr;
  int Pressed = 0, PressedX = -1, PressedY = -1;
  void Image1MouseDown(System::TObject* Sender, Controls::TMouseButton, Controls::TShiftState, int X, int Y) {
    EXPECT_EQ(Sender, Image1);
    ++Pressed, PressedX = X, PressedY = Y;
  }
};

}  // namespace

TEST(FormClass, ItsFormIsReadWithFieldsAndHandlersBound) {
  Forms::TForm Owner(nullptr);
  auto* Form = new TBoundForm(&Owner, {});
  EXPECT_EQ(Form->Name(), "BoundForm");
  EXPECT_EQ(Form->Caption(), "Bound");
  EXPECT_EQ(Form->StoredClassName(), "TBoundForm");
  ASSERT_NE(Form->Image1, nullptr);
  ASSERT_NE(Form->Stamp1, nullptr);
  EXPECT_EQ(Form->Image1->Name(), "Image1");
  EXPECT_EQ(Form->Image1->Owner(), Form);
  EXPECT_EQ(Form->Stamp1->Parent(), Form);
  EXPECT_EQ(Form->Stamp1->Width(), Form->ClientWidth());  // aligned along the bottom
  Form->Show();
  Form->ClickAt(10, 12);
  EXPECT_EQ(Form->Pressed, 1);
  EXPECT_EQ(Form->PressedX, 2);
  EXPECT_EQ(Form->PressedY, 4);
}

TEST(FormClass, WhatTheClassLacksIsRefusedNamingTheFormAndTheName) {
  struct TCase {
    TDeclared Declared;
    const char* Fault;
  } Cases[] = {
      {{.Resource = "TMissingForm"}, "TMissingForm: no form resource TMISSINGFORM in "},
      {{.Image = false}, "Image1: the class TBoundForm has no field Image1"},
      {{.ImageAsFilterImage = true}, "Image1: a TImage, where the field TBoundForm.Image1 holds a TLvFilterImage"},
      {{.Handler = false}, "OnMouseDown: no event handler named Image1MouseDown"},
  };
  for (const TCase& Case : Cases) {
    Forms::TForm Owner(nullptr);
    try {
      new TBoundForm(&Owner, Case.Declared);
      ADD_FAILURE() << "read: " << Case.Fault;
    } catch (const System::Exception& E) {
      const std::string Message = E.what();
      EXPECT_NE(Message.find(Case.Fault), std::string::npos) << Message;
      EXPECT_EQ(Message.rfind(Case.Declared.Resource, 0), 0u) << Message;
      const bool NotFound = dynamic_cast<const Classes::EResNotFound*>(&E);
      EXPECT_EQ(NotFound, std::string(Case.Declared.Resource) == "TMissingForm") << Message;
      EXPECT_TRUE(NotFound || dynamic_cast<const Classes::EReadError*>(&E)) << Message;
    }
    // Nothing of a refused form is left behind.
    EXPECT_EQ(Owner.ComponentCount(), 0);
  }
}
