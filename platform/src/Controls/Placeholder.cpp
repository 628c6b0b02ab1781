// Placeholders: what a stored form holds of classes the host does not have.
#include <algorithm>
#include <climits>
#include <optional>

#include "Classes/FormFile.hpp"
#include "Controls.hpp"

namespace Controls {

namespace {

const char* const PlaceNames[] = {"Left", "Top", "Width", "Height"};

// The integer stored for Name, where it has one a control can take.
std::optional<int> StoredInteger(Classes::Form::TKept& Kept, const char* Name) {
  const Classes::Form::TProperty* P = Kept.Find(Name);
  if (!P || !P->Value.IsInteger() || P->Value.Int < INT_MIN || P->Value.Int > INT_MAX) return std::nullopt;
  return int(P->Value.Int);
}

}  // namespace

void TPlaceholder::Place() {
  if (FPlaced) return;
  if (Classes::Form::TKept* Kept = this->Kept())
    SetBounds(StoredInteger(*Kept, "Left").value_or(0), StoredInteger(*Kept, "Top").value_or(0),
              StoredInteger(*Kept, "Width").value_or(BoxSize), StoredInteger(*Kept, "Height").value_or(BoxSize));
  FPlace[0] = Left(), FPlace[1] = Top(), FPlace[2] = Width(), FPlace[3] = Height();
  FPlaced = true;
}

void TPlaceholder::Loaded() {
  TWinControl::Loaded();
  Place();
}

void TPlaceholder::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  TWinControl::SetBounds(ALeft, ATop, AWidth, AHeight);
  Classes::Form::TKept* Kept = this->Kept();
  if (!FPlaced || !Kept) return;
  // A value moved from where it was read is stored as it is now; the others
  // stay exactly as they were stored.
  const int Now[] = {Left(), Top(), Width(), Height()};
  for (std::size_t I = 0; I < std::size(PlaceNames); ++I) {
    if (Now[I] == FPlace[I]) continue;
    const std::string Name = PlaceNames[I];
    if (Classes::Form::TProperty* P = Kept->Find(Name)) {
      P->Value = Classes::Form::IntegerValue(Now[I]);
    } else {
      Kept->Properties.push_back({"", Kept->Properties.size(), {Name, Classes::Form::IntegerValue(Now[I]), {}}});
    }
  }
  std::copy(std::begin(Now), std::end(Now), FPlace);
}

void TPlaceholder::SetParentComponent(Classes::TComponent* Value) {
  if (auto* Holder = dynamic_cast<TWinControl*>(Value)) SetParent(Holder);
  else SetHolder(Value);
  // A reader gives it what it keeps first: it takes its place before the
  // controls inside it are put there, as a control read takes its size
  // before its children.
  Place();
}

void TPlaceholder::PaintTo(Graphics::TCanvas& Canvas) const {
  const Graphics::TRect R = FormRect();
  const Graphics::TRect Outer = Canvas.ClipRect();
  const Graphics::TRect Clip{std::max(R.Left, Outer.Left), std::max(R.Top, Outer.Top), std::min(R.Right, Outer.Right),
                             std::min(R.Bottom, Outer.Bottom)};
  if (Clip.Left >= Clip.Right || Clip.Top >= Clip.Bottom) return;
  Canvas.SetClipRect(Clip);
  // Grey lines down to the left every 8 pixels inside a darker frame; what
  // lies beneath shows between them.
  constexpr int Step = 8;
  Canvas.Brush.Color = Graphics::RGB(160, 160, 160);
  for (int Y = Clip.Top; Y < Clip.Bottom; ++Y) {
    const long long Phase = (static_cast<long long>(Y) - R.Top + Clip.Left - R.Left) % Step;
    for (long long X = Clip.Left + (Step - Phase) % Step; X < Clip.Right; X += Step)
      Canvas.FillRect({int(X), Y, int(X) + 1, Y + 1});
  }
  Canvas.Brush.Color = Graphics::RGB(96, 96, 96);
  Canvas.FillRect({R.Left, R.Top, R.Right, std::min(R.Bottom, R.Top + 1)});
  Canvas.FillRect({R.Left, std::max(R.Top, R.Bottom - 1), R.Right, R.Bottom});
  Canvas.FillRect({R.Left, R.Top, std::min(R.Right, R.Left + 1), R.Bottom});
  Canvas.FillRect({std::max(R.Left, R.Right - 1), R.Top, R.Right, R.Bottom});
  TWinControl::PaintTo(Canvas);
  Canvas.SetClipRect(Outer);
}

}  // namespace Controls
