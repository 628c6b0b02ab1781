// The undo history as states of the stored form: each step keeps only the
// bytes in which the state after it differs from the state before it, so
// that ten nudges of a control beside a large picture cost a few bytes each.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace Design {

using TState = std::vector<std::uint8_t>;

class THistory {
public:
  explicit THistory(TState Current) : FCurrent(std::move(Current)) {}

  // The state the form is in.
  const TState& Current() const { return FCurrent; }

  // Keeps the step from Current() to After, dropping the steps that could
  // be redone. An edit that changed nothing is no step. A step whose Merge
  // key is that of the last one, made right after it, joins it, unless the
  // form was saved in between.
  void Add(const std::string& Label, const std::string& Merge, std::vector<std::string> SelectedBefore,
           std::vector<std::string> SelectedAfter, TState After);

  bool CanUndo() const { return FDone > 0; }
  bool CanRedo() const { return FDone < FSteps.size(); }
  const std::string& UndoLabel() const { return FSteps[FDone - 1].Label; }
  const std::string& RedoLabel() const { return FSteps[FDone].Label; }
  // The state Undo or Redo leads to, and the names selected there.
  TState UndoState() const;
  TState RedoState() const;
  const std::vector<std::string>& UndoSelection() const { return FSteps[FDone - 1].SelectedBefore; }
  const std::vector<std::string>& RedoSelection() const { return FSteps[FDone].SelectedAfter; }
  // Moves to that state, once the form was put in it.
  void Undone(TState State);
  void Redone(TState State);

  bool Modified() const { return FSaved != FDone; }
  void Saved() { FSaved = FDone; }
  // Nothing before a merge: the next step starts a step of its own.
  void Seal() { FSealed = true; }

private:
  struct TStep {
    std::string Label, Merge;
    std::size_t At = 0;                // where the states start to differ
    std::vector<std::uint8_t> Before;  // the differing bytes, before and after
    std::vector<std::uint8_t> After;
    std::vector<std::string> SelectedBefore, SelectedAfter;
  };
  // The state with Step's bytes from From replaced by those of To.
  static TState Splice(const TState& State, const TStep& Step, bool Forward);

  TState FCurrent;
  std::vector<TStep> FSteps;
  std::size_t FDone = 0;
  std::optional<std::size_t> FSaved = 0;  // FDone when last saved or opened; none when unreachable
  bool FSealed = true;
};

}  // namespace Design
