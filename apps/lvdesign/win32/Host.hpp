// What the parts of the Windows window (palette, inspector, form view) ask
// of the window that holds them.
#pragma once

#include <functional>
#include <string>

#include "Designer.hpp"
#include "Win32.hpp"

namespace Lvdesign {

class THost {
public:
  virtual ~THost() = default;
  virtual HWND Window() const = 0;
  // Runs an edit of the model: a fault it raises is shown under the
  // inspector's rows until the next edit succeeds, and everything is shown
  // anew after it. Quiet: a mouse move, which leaves the last fault shown.
  virtual void Edit(const std::function<void()>& Do, bool Quiet = false) = 0;
  // A command of the menus (Ids), as if chosen there.
  virtual void Command(int Id) = 0;
  // A file chosen in the system's dialog; empty when the user cancelled.
  // Filter as OPENFILENAME takes it (pairs of "\0"-ended texts).
  virtual std::string ChooseFile(const std::wstring& Title, const std::wstring& Filter, bool Saving,
                                 const std::wstring& DefaultExtension, const std::string& Start) = 0;
};

}  // namespace Lvdesign
