// Closing a window as a window manager does: the window is asked, with
// WM_DELETE_WINDOW, and closes itself. A virtual display has no manager to
// ask for it, and xdotool only destroys windows.
#include <X11/Xlib.h>

#include <string>

namespace Programs {

bool CloseWindow(const std::string& DisplayName, unsigned long Window) {
  ::Display* X = XOpenDisplay(DisplayName.c_str());
  if (!X) return false;
  XEvent Event{};
  Event.xclient.type = ClientMessage;
  Event.xclient.window = Window;
  Event.xclient.message_type = XInternAtom(X, "WM_PROTOCOLS", False);
  Event.xclient.format = 32;
  Event.xclient.data.l[0] = long(XInternAtom(X, "WM_DELETE_WINDOW", False));
  Event.xclient.data.l[1] = CurrentTime;
  const bool Sent = XSendEvent(X, Window, False, NoEventMask, &Event) != 0;
  XCloseDisplay(X);
  return Sent;
}

}  // namespace Programs
