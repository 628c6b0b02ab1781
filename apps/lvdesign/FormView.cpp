#include "FormView.hpp"

#include "Presenting.hpp"


namespace Lvdesign {

namespace {

constexpr float Border = 4, CaptionHeight = 22;

ImGuiMouseCursor CursorFor(Design::TGrab Grab) {
  // In the order of Design::TPointer.
  static const ImGuiMouseCursor Cursors[] = {ImGuiMouseCursor_Arrow, ImGuiMouseCursor_ResizeEW, ImGuiMouseCursor_ResizeNS,
                                             ImGuiMouseCursor_ResizeNWSE, ImGuiMouseCursor_ResizeNESW};
  return Cursors[int(Design::PointerFor(Grab))];
}

}  // namespace

void TFormView::Update() {
  if (FVersion == FDesigner.ViewVersion() && FTexture.Id()) return;
  const Graphics::TBitmap& View = FDesigner.View();
  FVersion = FDesigner.ViewVersion();
  FTexture.Update(FScreen.Renderer(), View);
}

void TFormView::Draw() {
  const ImVec2 Client(float(FTexture.Width()), float(FTexture.Height()));
  const ImVec2 Outer(Client.x + 2 * Border, Client.y + 2 * Border + CaptionHeight);
  const ImVec2 At = ImGui::GetCursorScreenPos();
  ImDrawList* Draw = ImGui::GetWindowDrawList();
  // The frame as the form's window has it: a raised border and a blue
  // caption strip with the form's caption.
  const ImVec2 End(At.x + Outer.x, At.y + Outer.y);
  Draw->AddRectFilled(At, End, IM_COL32(212, 208, 200, 255));
  Draw->AddRect(At, End, IM_COL32(64, 64, 64, 255));
  Draw->AddLine(ImVec2(At.x + 1, At.y + 1), ImVec2(End.x - 1, At.y + 1), IM_COL32(255, 255, 255, 255));
  Draw->AddLine(ImVec2(At.x + 1, At.y + 1), ImVec2(At.x + 1, End.y - 1), IM_COL32(255, 255, 255, 255));
  const ImVec2 CaptionMin(At.x + Border, At.y + Border), CaptionMax(End.x - Border, At.y + Border + CaptionHeight - 1);
  Draw->AddRectFilledMultiColor(CaptionMin, CaptionMax, IM_COL32(10, 36, 106, 255), IM_COL32(166, 202, 240, 255),
                                IM_COL32(166, 202, 240, 255), IM_COL32(10, 36, 106, 255));
  const std::string& Caption = FDesigner.Form().Caption();
  Draw->PushClipRect(CaptionMin, CaptionMax, true);
  if (ImFont* Bold = FScreen.BoldFont())
    Draw->AddText(Bold, Bold->FontSize, ImVec2(CaptionMin.x + 4, CaptionMin.y + 3), IM_COL32_WHITE, Caption.c_str());
  else
    Draw->AddText(ImVec2(CaptionMin.x + 4, CaptionMin.y + 3), IM_COL32_WHITE, Caption.c_str());
  Draw->PopClipRect();

  FOrigin = ImVec2(At.x + Border, At.y + Border + CaptionHeight);
  ImGui::SetCursorScreenPos(FOrigin);
  if (FTexture.Id()) {
    ImGui::Image(FTexture.Id(), Client);
  } else {
    ImGui::Dummy(Client);
  }
  FInSight = ImGui::GetCurrentWindow()->InnerClipRect;
  FVisible = ImRect(ImGui::GetItemRectMin(), ImGui::GetItemRectMax());
  FVisible.ClipWith(FInSight);
  // The cursor says what a press would grab; a drag keeps the one it began with.
  const ImVec2 Mouse = ImGui::GetMousePos();
  if (FDragging)
    ImGui::SetMouseCursor(CursorFor(FDragGrab));
  else if (ImGui::IsWindowHovered(ImGuiHoveredFlags_AllowWhenBlockedByActiveItem) && FInSight.Contains(Mouse) &&
           !FDesigner.Tool())
    ImGui::SetMouseCursor(CursorFor(GrabAt(Mouse)));
  // Room for the bottom border, so the scroll range covers the whole frame.
  ImGui::SetCursorScreenPos(End);
  ImGui::Dummy(ImVec2(0, 0));

  // Opened on the press, the press itself would close it again.
  if (FOpenMenu && !ImGui::IsMouseDown(ImGuiMouseButton_Right)) {
    FOpenMenu = false;
    ImGui::OpenPopup("##form menu");
  }
  if (ImGui::BeginPopup("##form menu")) {
    FActions.DrawContextItems();
    ImGui::EndPopup();
  }
}

bool TFormView::SizingForm() const {
  return FDragging && (FDragGrab == Design::TGrab::FormRight || FDragGrab == Design::TGrab::FormBottom ||
                       FDragGrab == Design::TGrab::FormCorner);
}

Design::TGrab TFormView::GrabAt(ImVec2 Point) const {
  return FDesigner.GrabAt(int(Point.x - FOrigin.x), int(Point.y - FOrigin.y));
}

void TFormView::Handle(const SDL_Event& Event, bool Typing) {
  switch (Event.type) {
    case SDL_MOUSEBUTTONDOWN:
      if ((Event.button.button != SDL_BUTTON_LEFT && Event.button.button != SDL_BUTTON_RIGHT) || FDragging ||
          !Over(Event.button.x, Event.button.y))
        return;
      break;
    case SDL_MOUSEMOTION:
      if (!FDragging && !Over(Event.motion.x, Event.motion.y)) return;
      break;
    case SDL_MOUSEBUTTONUP:
      if (Event.button.button != SDL_BUTTON_LEFT || (!FDragging && FWaiting.empty())) return;
      break;
    case SDL_WINDOWEVENT:
      // A drag the window loses ends where the mouse was last seen.
      if (Event.window.event != SDL_WINDOWEVENT_FOCUS_LOST || !FDragging) return;
      break;
    default:
      return;
  }
  if (Typing || !FWaiting.empty())
    FWaiting.push_back(Event);
  else
    Post(Event);
}

bool TFormView::Over(int X, int Y) const {
  if (GImGui->OpenPopupStack.Size != 0) return false;
  const ImVec2 Point{float(X), float(Y)};
  return FVisible.Contains(Point) || (FInSight.Contains(Point) && GrabAt(Point) != Design::TGrab::None);
}

void TFormView::Flush() {
  for (const SDL_Event& Event : FWaiting) Post(Event);
  FWaiting.clear();
}

void TFormView::Post(const SDL_Event& Event) {
  int X = 0, Y = 0;
  SDL_GetMouseState(&X, &Y);
  if (Event.type == SDL_MOUSEBUTTONDOWN || Event.type == SDL_MOUSEBUTTONUP) X = Event.button.x, Y = Event.button.y;
  if (Event.type == SDL_MOUSEMOTION) X = Event.motion.x, Y = Event.motion.y;
  X -= int(FOrigin.x), Y -= int(FOrigin.y);
  switch (Event.type) {
    case SDL_MOUSEBUTTONDOWN: {
      if (Event.button.button == SDL_BUTTON_RIGHT) {
        // The menu acts on the selection: what is under the press is
        // selected first, unless it is already. A handle or an edge keeps
        // the selection, and a chosen palette class places nothing.
        FOpenMenu = true;
        FCommands.Post([this, X, Y] {
          if (FDesigner.Tool() || FDesigner.GrabAt(X, Y) != Design::TGrab::None) return;
          FDesigner.MouseDown(X, Y, false);
          FDesigner.MouseUp(X, Y);
        });
        break;
      }
      const bool Shift = (SDL_GetModState() & KMOD_SHIFT) != 0;
      FDragging = true;
      FDragGrab = FDesigner.Tool() ? Design::TGrab::None : FDesigner.GrabAt(X, Y);
      FCommands.Post([this, X, Y, Shift] { FDesigner.MouseDown(X, Y, Shift); });
      break;
    }
    case SDL_MOUSEMOTION:
      FCommands.Post([this, X, Y] { FDesigner.MouseMove(X, Y); }, !FDragging);
      break;
    default:
      if (!FDragging) return;
      FDragging = false;
      FCommands.Post([this, X, Y] { FDesigner.MouseUp(X, Y); });
      break;
  }
}

}  // namespace Lvdesign
