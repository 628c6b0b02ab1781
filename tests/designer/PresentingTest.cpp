// What both windows of the design host show the same way: the table's keys,
// the inspector's fields and lists, and Open's question.
#include <gtest/gtest.h>

#include "FormFiles.hpp"
#include "Presenting.hpp"

namespace {

using Design::TInspectorRow;
using Design::TRowKind;

TEST(Presenting, ShortcutsNameTheirKeyAndModifiers) {
  const struct {
    const char* Text;
    const char* Key;  // "" where it names none
    bool Ctrl, Shift;
  } Cases[] = {
      {"Ctrl+A", "A", true, false},   {"Ctrl+Shift+Z", "Z", true, true}, {"Del", "Delete", false, false},
      {"Ctrl++", "+", true, false},   {"Tab", "Tab", false, false},      {"Hyper+A", "", false, false},
  };
  for (const auto& C : Cases) {
    const Design::TKey Key = Design::ParseShortcut(C.Text);
    EXPECT_EQ(Key.Name, C.Key) << C.Text;
    EXPECT_EQ(Key.Ctrl, C.Ctrl) << C.Text;
    EXPECT_EQ(Key.Shift, C.Shift) << C.Text;
  }
  // Every key of the table names one, or a window would drop it.
  for (const Design::TAction& Action : Design::Actions())
    for (const Design::TKey& Key : Design::ParseShortcuts(Action.Shortcut)) EXPECT_FALSE(Key.Name.empty()) << Action.Verb;
  EXPECT_EQ(Design::ParseShortcuts("Ctrl+Y, Ctrl+Shift+Z").size(), 2u);
}

TEST(Presenting, FieldsShowStringsAsTextAndTakeTypedTextBack) {
  const struct {
    TRowKind Kind;
    const char* Value;   // as the row holds it
    const char* Shown;   // in its field
    const char* Typed;   // what is typed there
    const char* Set;     // what that sets
  } Cases[] = {
      {TRowKind::String, "'it''s'", "it's", "it's", "'it''s'"},
      {TRowKind::String, "'a'#13#10'b'", "a\r\nb", "x'y", "'x''y'"},
      {TRowKind::String, "", "", "new", "'new'"},            // several selected, their texts differing
      {TRowKind::String, "'open", "'open", "'open", "'open"},  // no string the notation reads: as written
      {TRowKind::Integer, "105", "105", "-3", "-3"},
      {TRowKind::Event, "", "", "Clicked", "Clicked"},
  };
  for (const auto& C : Cases) {
    TInspectorRow Row;
    Row.Kind = C.Kind, Row.Value = C.Value;
    EXPECT_EQ(Design::FieldText(Row), C.Shown) << C.Value;
    EXPECT_EQ(Design::TypedValue(Row, C.Typed), C.Set) << C.Value;
  }
}

TEST(Presenting, ListsOfferWhatTheRowTakes) {
  TInspectorRow Row;
  Row.Kind = TRowKind::Boolean;
  EXPECT_EQ(Design::ListChoices(Row), (std::vector<std::string>{"False", "True"}));
  Row.Kind = TRowKind::Reference, Row.Choices = {"PopupMenu1"};
  // The empty choice takes the reference away.
  EXPECT_EQ(Design::ListChoices(Row), (std::vector<std::string>{"", "PopupMenu1"}));
  EXPECT_EQ(Design::ChosenValue(""), "''");
  EXPECT_EQ(Design::ChosenValue("alClient"), "alClient");
  Tool::RegisterFormClasses();  // the colours' names with them
  EXPECT_EQ(Design::SwatchColour("clRed"), Graphics::clRed);
  EXPECT_EQ(Design::SwatchColour("255"), Graphics::TColor(255));
  EXPECT_FALSE(Design::SwatchColour("clNone"));
  EXPECT_FALSE(Design::SwatchColour("red"));
}

TEST(Presenting, EachButtonOfOpensQuestionGivesItsAnswer) {
  using A = Design::TIgnoreAnswer;
  const A Wanted[] = {A::Ignore, A::IgnoreAll, A::Keep, A::KeepAll, A::Cancel, A::Cancel};
  for (int Button = 0; Button < 6; ++Button) {
    Design::TQuestion Asked;
    // The last: the box closed without a button.
    const auto Ask = Design::AskIgnore([&](const Design::TQuestion& Q) {
      Asked = Q;
      return Button == 5 ? -1 : Button;
    });
    EXPECT_EQ(Ask("no class TFoo"), Wanted[Button]) << Button;
    EXPECT_EQ(Asked.Buttons.size(), 5u);
    EXPECT_NE(Asked.Text.find("no class TFoo"), std::string::npos);
  }
}

}  // namespace
