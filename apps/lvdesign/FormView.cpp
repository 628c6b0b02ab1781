#include "FormView.hpp"

#include "Graphics/Dib.hpp"

namespace Lvdesign {

namespace {

constexpr float Border = 4, CaptionHeight = 22;

ImGuiMouseCursor CursorFor(Design::TGrab Grab) {
  switch (Grab) {
    case Design::TGrab::Left:
    case Design::TGrab::Right: return ImGuiMouseCursor_ResizeEW;
    case Design::TGrab::Top:
    case Design::TGrab::Bottom: return ImGuiMouseCursor_ResizeNS;
    case Design::TGrab::TopLeft:
    case Design::TGrab::BottomRight: return ImGuiMouseCursor_ResizeNWSE;
    case Design::TGrab::TopRight:
    case Design::TGrab::BottomLeft: return ImGuiMouseCursor_ResizeNESW;
    default: return ImGuiMouseCursor_Arrow;
  }
}

}  // namespace

void TFormView::Update() {
  if (FVersion == FDesigner.ViewVersion() && FTexture.Id()) return;
  const Graphics::TBitmap& View = FDesigner.View();
  FVersion = FDesigner.ViewVersion();
  if (View.PixelFormat() == Graphics::pf32bit) {
    const Graphics::Detail::TDib& Image = View.Image();
    FTexture.Update(FScreen.Renderer(), Image.Width, Image.Height, Image.Row(0), Image.Stride);
  } else {
    Graphics::TBitmap Copy;
    Copy.Assign(&View);
    Copy.SetPixelFormat(Graphics::pf32bit);
    const Graphics::Detail::TDib& Image = Copy.Image();
    FTexture.Update(FScreen.Renderer(), Image.Width, Image.Height, Image.Row(0), Image.Stride);
  }
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
  FVisible = ImRect(ImGui::GetItemRectMin(), ImGui::GetItemRectMax());
  FVisible.ClipWith(ImGui::GetCurrentWindow()->InnerClipRect);
  if (!FDragging && ImGui::IsItemHovered(ImGuiHoveredFlags_AllowWhenBlockedByActiveItem)) {
    const ImVec2 Mouse = ImGui::GetMousePos();
    ImGui::SetMouseCursor(CursorFor(FDesigner.GrabAt(int(Mouse.x - FOrigin.x), int(Mouse.y - FOrigin.y))));
  }
  // Room for the bottom border, so the scroll range covers the whole frame.
  ImGui::SetCursorScreenPos(End);
  ImGui::Dummy(ImVec2(0, 0));
}

void TFormView::Handle(const SDL_Event& Event, bool Typing) {
  switch (Event.type) {
    case SDL_MOUSEBUTTONDOWN:
      if (Event.button.button != SDL_BUTTON_LEFT || !Over(Event.button.x, Event.button.y)) return;
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
  return FVisible.Contains(ImVec2(float(X), float(Y))) && GImGui->OpenPopupStack.Size == 0;
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
      const bool Shift = (SDL_GetModState() & KMOD_SHIFT) != 0;
      FDragging = true;
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
