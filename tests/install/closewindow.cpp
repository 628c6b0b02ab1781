// closewindow WINDOW: asks an X window to close, as a window manager does
// (WM_DELETE_WINDOW), on the display DISPLAY names. A virtual display has no
// manager to ask for it, and xdotool only destroys windows.
#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  Display* X = XOpenDisplay(nullptr);
  if (!X) return 1;
  XEvent Event{};
  Event.xclient.type = ClientMessage;
  Event.xclient.window = std::strtoul(argv[1], nullptr, 0);
  Event.xclient.message_type = XInternAtom(X, "WM_PROTOCOLS", False);
  Event.xclient.format = 32;
  Event.xclient.data.l[0] = long(XInternAtom(X, "WM_DELETE_WINDOW", False));
  Event.xclient.data.l[1] = CurrentTime;
  const bool Sent = XSendEvent(X, Event.xclient.window, False, NoEventMask, &Event) != 0;
  XCloseDisplay(X);
  return Sent ? 0 : 1;
}
