// The application object: its main form, and what it does with an
// exception that escapes an event handler.
#include <gtest/gtest.h>

#include "Dialogs.hpp"
#include "Forms.hpp"

TEST(Application, AnEscapedExceptionIsShownTitledWithTheProgramOrGivenToOnException) {
  auto Box = std::make_shared<Dialogs::TScriptedResponder>(Windows::IDOK);
  Dialogs::SetMessageBoxResponder(Box);
  Forms::TApplication& App = *Forms::Application;
  EXPECT_EQ(App.Title(), "test_controls");  // the program's name until set
  App.SetTitle("Stamp");
  const auto Escape = [&] {
    try {
      throw Classes::EReadError("Form1.dfm: line 3: no property Nope");
    } catch (const std::exception& E) {
      App.HandleException(nullptr, E);
    }
  };
  Escape();
  ASSERT_EQ(Box->Calls().size(), 1u);
  EXPECT_EQ(Box->Calls()[0].Text, "Form1.dfm: line 3: no property Nope");
  EXPECT_EQ(Box->Calls()[0].Caption, "Stamp");
  EXPECT_EQ(Box->Calls()[0].Type, Windows::MB_OK | Windows::MB_ICONHAND);

  std::string Handled;
  App.OnException = [&](System::TObject*, const std::exception& E) { Handled = E.what(); };
  Escape();
  EXPECT_EQ(Handled, "Form1.dfm: line 3: no property Nope");
  EXPECT_EQ(Box->Calls().size(), 1u);  // no box: the handler had it
  App.OnException = nullptr;
  Dialogs::SetMessageBoxResponder(nullptr);
}

TEST(Application, TheFirstFormMadeIsTheMainFormUntilItGoes) {
  Forms::TApplication App(nullptr);
  Forms::TForm* First = nullptr;
  Forms::TForm* Second = nullptr;
  App.CreateForm(First);
  App.CreateForm(Second);
  EXPECT_EQ(First->Owner(), &App);
  EXPECT_EQ(App.MainForm(), First);
  delete First;
  EXPECT_EQ(App.MainForm(), nullptr);
  App.Run();  // nothing to run: returns at once
}
