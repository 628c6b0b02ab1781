// What the posix side of the seam shares between its files.
#pragma once

#include "Windows.hpp"

namespace Os::Posix {

// Destroys the window system's window behind a form window's handle, if it
// has one; the handle itself is already gone from the count.
void DestroyFormWindow(Windows::HWND Window);

}  // namespace Os::Posix
