// Children placed by Align, Anchors and Constraints, against rectangles
// worked out by hand.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "Classes.hpp"
#include "ExtCtrls.hpp"
#include "Forms.hpp"

using Controls::TAlign;
using Controls::TControl;
using Graphics::TRect;
using namespace Controls;

namespace {

struct TChild {
  TAlign Align;
  TRect Bounds;  // as placed, before it is aligned
  bool Visible = true;
};

// A sizeable form (its frame makes the outer size differ from the client
// area) with a 400 x 300 client area.
struct TLayout {
  std::unique_ptr<Forms::TForm> Form = std::make_unique<Forms::TForm>(nullptr);
  std::vector<TControl*> Children;
  explicit TLayout(const std::vector<TChild>& Wanted, int Width = 400, int Height = 300) {
    Form->SetClientSize(Width, Height);
    // Aligned together, each by where it was put.
    Form->DisableAlign();
    for (const TChild& Child : Wanted) {
      auto* C = new ExtCtrls::TImage(Form.get());
      C->SetBounds(Child.Bounds.Left, Child.Bounds.Top, Child.Bounds.Width(), Child.Bounds.Height());
      C->SetVisible(Child.Visible);
      C->SetParent(Form.get());
      C->SetAlign(Child.Align);
      Children.push_back(C);
    }
    Form->EnableAlign();
  }
};

TRect At(int X, int Y, int W, int H) { return {X, Y, X + W, Y + H}; }

::testing::AssertionResult Placed(const TControl* C, const TRect& Expected) {
  if (C->BoundsRect() == Expected) return ::testing::AssertionSuccess();
  const TRect R = C->BoundsRect();
  return ::testing::AssertionFailure() << "at (" << R.Left << ", " << R.Top << ") " << R.Width() << " x " << R.Height()
                                       << ", expected (" << Expected.Left << ", " << Expected.Top << ") "
                                       << Expected.Width() << " x " << Expected.Height();
}

}  // namespace

TEST(Layout, AlignedChildrenShareTheClientAreaInTheFrameworksOrder) {
  const TRect Any = At(7, 9, 30, 40);
  struct TCase {
    const char* What;
    std::vector<TChild> Children;
    std::vector<TRect> Expected;
  } Cases[] = {
      {"client alone fills the client area, not the outer size", {{alClient, Any}}, {At(0, 0, 400, 300)}},
      {"every kind: top and bottom across, left and right between, client in the rest",
       {{alClient, Any}, {alRight, At(0, 0, 20, 5)}, {alLeft, At(0, 0, 30, 5)}, {alBottom, At(0, 0, 5, 40)},
        {alTop, At(0, 0, 5, 50)}},
       {At(30, 50, 350, 210), At(380, 50, 20, 210), At(0, 50, 30, 210), At(0, 260, 400, 40), At(0, 0, 400, 50)}},
      {"tops go by position", {{alTop, At(0, 100, 5, 20)}, {alTop, At(0, 10, 5, 30)}},
       {At(0, 30, 400, 20), At(0, 0, 400, 30)}},
      {"then by order among the children", {{alTop, At(0, 10, 5, 20)}, {alTop, At(0, 10, 5, 30)}},
       {At(0, 0, 400, 20), At(0, 20, 400, 30)}},
      {"the bottom one nearest the edge goes first", {{alBottom, At(0, 0, 5, 10)}, {alBottom, At(0, 200, 5, 20)}},
       {At(0, 270, 400, 10), At(0, 280, 400, 20)}},
      {"lefts by left edge, rights by right edge",
       {{alLeft, At(50, 0, 10, 5)}, {alLeft, At(0, 0, 20, 5)}, {alRight, At(0, 0, 10, 5)}, {alRight, At(300, 0, 30, 5)}},
       {At(20, 0, 10, 300), At(0, 0, 20, 300), At(360, 0, 10, 300), At(370, 0, 30, 300)}},
      {"a hidden control takes no room", {{alTop, At(0, 0, 5, 50), false}, {alClient, Any}},
       {At(0, 0, 5, 50), At(0, 0, 400, 300)}},
      {"more than there is: sizes stop at 0",
       {{alTop, At(0, 0, 5, 200)}, {alBottom, At(0, 0, 5, 200)}, {alLeft, At(0, 0, 10, 5)}, {alClient, Any}},
       {At(0, 0, 400, 200), At(0, 100, 400, 200), At(0, 200, 10, 0), At(10, 200, 390, 0)}},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.What);
    TLayout L(Case.Children);
    for (std::size_t I = 0; I < L.Children.size(); ++I) EXPECT_TRUE(Placed(L.Children[I], Case.Expected[I])) << I;
  }
}

TEST(Layout, AlignedControlsFollowTheClientAreaAndKeepTheirPlace) {
  TLayout L({{alTop, At(0, 0, 5, 50)}, {alClient, At(0, 0, 5, 5)}});
  TControl* Top = L.Children[0];
  TControl* Client = L.Children[1];
  L.Form->SetClientSize(200, 100);
  EXPECT_TRUE(Placed(Top, At(0, 0, 200, 50)));
  EXPECT_TRUE(Placed(Client, At(0, 50, 200, 50)));
  L.Form->SetBorderStyle(Forms::bsNone);  // the same outer size, a larger client area
  EXPECT_TRUE(Placed(Client, At(0, 50, L.Form->Width(), L.Form->Height() - 50)));
  L.Form->SetBorderStyle(Forms::bsSizeable);
  // Moved or sized by anyone, an aligned control stays on its edge; a top
  // one keeps the height it is given.
  Client->SetBounds(30, 40, 10, 10);
  EXPECT_TRUE(Placed(Client, At(0, 50, 200, 50)));
  Top->SetBounds(50, 60, 10, 20);
  EXPECT_TRUE(Placed(Top, At(0, 0, 200, 20)));
  EXPECT_TRUE(Placed(Client, At(0, 20, 200, 80)));
  Top->SetVisible(false);
  EXPECT_TRUE(Placed(Client, At(0, 0, 200, 100)));
  Top->SetVisible(true);
  Top->SetAlign(alBottom);
  EXPECT_TRUE(Placed(Top, At(0, 80, 200, 20)));
  EXPECT_TRUE(Placed(Client, At(0, 0, 200, 80)));
  delete Top;  // leaves the room to the others
  EXPECT_TRUE(Placed(Client, At(0, 0, 200, 100)));
}

TEST(Layout, AnchorsMoveAndStretchWithTheClientAreaWithoutDrift) {
  const auto Anchors = [](std::initializer_list<TAnchorKind> Kinds) { return AnchorSet(Kinds); };
  struct TCase {
    TAnchors Anchors;
    TRect At500x200;  // the client area 400 x 300 becomes 500 x 200
  } Cases[] = {
      {Anchors({akLeft, akTop}), At(100, 50, 80, 60)},
      {Anchors({akRight, akTop}), At(200, 50, 80, 60)},
      {Anchors({akLeft, akRight, akTop}), At(100, 50, 180, 60)},
      {Anchors({akLeft, akBottom}), At(100, -50, 80, 60)},
      {Anchors({akLeft, akTop, akBottom}), At(100, 50, 80, 0)},  // stops at 0
      // Centres in proportion: 140 of 400 is 175 of 500; 80 of 300 is 53 of 200.
      {Anchors({}), At(135, 23, 80, 60)},
  };
  for (const TCase& Case : Cases) {
    TLayout L({{alNone, At(100, 50, 80, 60)}});
    TControl* C = L.Children[0];
    C->SetAnchors(Case.Anchors);
    L.Form->SetClientSize(500, 200);
    EXPECT_TRUE(Placed(C, Case.At500x200)) << Case.Anchors;
    // Measured from where it was put, so shrinking to nothing and back
    // gives every control its place again.
    L.Form->SetClientSize(0, 0);
    L.Form->SetClientSize(400, 300);
    EXPECT_TRUE(Placed(C, At(100, 50, 80, 60))) << Case.Anchors;
  }
  // Put somewhere else by code, it is measured from there.
  TLayout L({{alNone, At(100, 50, 80, 60)}});
  TControl* C = L.Children[0];
  C->SetAnchors(Anchors({akRight, akBottom}));
  L.Form->SetClientSize(500, 400);
  C->SetBounds(10, 10, 20, 20);
  L.Form->SetClientSize(520, 390);
  EXPECT_TRUE(Placed(C, At(30, 0, 20, 20)));
}

TEST(Layout, ConstraintsBoundEverySizeAControlTakes) {
  TLayout L({{alClient, At(0, 0, 5, 5)}, {alNone, At(10, 10, 100, 100)}});
  TControl* Client = L.Children[0];
  TControl* Stretched = L.Children[1];
  Stretched->SetAnchors(AnchorSet({akLeft, akTop, akRight, akBottom}));
  Client->Constraints()->SetMaxWidth(150);  // alignment
  EXPECT_TRUE(Placed(Client, At(0, 0, 150, 300)));
  Stretched->Constraints()->SetMinHeight(80);
  Stretched->Constraints()->SetMaxWidth(120);
  L.Form->SetClientSize(600, 100);  // anchors
  EXPECT_TRUE(Placed(Stretched, At(10, 10, 120, 80)));
  Stretched->SetBounds(0, 0, 500, 10);  // code
  EXPECT_TRUE(Placed(Stretched, At(0, 0, 120, 80)));
  Stretched->Constraints()->SetMaxHeight(50);  // a new bound applies at once; where they cross, the least wins
  EXPECT_EQ(Stretched->Height(), 80);
  Stretched->Constraints()->SetMinHeight(0);
  EXPECT_EQ(Stretched->Height(), 50);

  // A stored form sets them, and the control keeps them when read back.
  TypInfo::RegisterClass(ExtCtrls::TImage::ClassInfo());
  Classes::TMemoryStream Stream;
  Stream.WriteComponent(L.Form.get());
  Forms::TForm Read(nullptr);
  Stream.SetPosition(0);
  Stream.ReadComponent(&Read);
  ASSERT_EQ(Read.ControlCount(), 2);
  for (int I = 0; I < 2; ++I) EXPECT_TRUE(Placed(Read.Controls(I), L.Children[std::size_t(I)]->BoundsRect())) << I;
  EXPECT_EQ(Read.Controls(0)->Constraints()->MaxWidth(), 150);
  Read.SetClientSize(900, 600);
  EXPECT_TRUE(Placed(Read.Controls(0), At(0, 0, 150, 600)));
}
