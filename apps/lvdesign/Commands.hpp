// What the user asked for while a frame was drawn, done after it: a
// command may ask a question, which needs frames of its own.
#pragma once

#include <functional>
#include <utility>
#include <vector>

namespace Lvdesign {

using TCommand = std::function<void()>;

struct TPosted {
  TCommand Command;
  bool Quiet = false;  // a mouse move: the last edit's fault stays shown
};

class TCommands {
public:
  void Post(TCommand Command, bool Quiet = false) { FCommands.push_back({std::move(Command), Quiet}); }
  bool Empty() const { return FCommands.empty(); }
  // The commands in the order posted; the list is empty afterwards.
  std::vector<TPosted> Take() { return std::exchange(FCommands, {}); }

private:
  std::vector<TPosted> FCommands;
};

}  // namespace Lvdesign
