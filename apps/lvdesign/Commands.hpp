// What the user asked for while a frame was drawn, done after it: a
// command may ask a question, which needs frames of its own.
#pragma once

#include <functional>
#include <utility>
#include <vector>

namespace Lvdesign {

using TCommand = std::function<void()>;

class TCommands {
public:
  void Post(TCommand Command) { FCommands.push_back(std::move(Command)); }
  bool Empty() const { return FCommands.empty(); }
  // The commands in the order posted; the list is empty afterwards.
  std::vector<TCommand> Take() { return std::exchange(FCommands, {}); }

private:
  std::vector<TCommand> FCommands;
};

}  // namespace Lvdesign
