#include "History.hpp"

#include <algorithm>

namespace Design {

TState THistory::Splice(const TState& State, const TStep& Step, bool Forward) {
  const std::vector<std::uint8_t>& From = Forward ? Step.Before : Step.After;
  const std::vector<std::uint8_t>& To = Forward ? Step.After : Step.Before;
  TState Out;
  Out.reserve(State.size() - From.size() + To.size());
  Out.insert(Out.end(), State.begin(), State.begin() + std::ptrdiff_t(Step.At));
  Out.insert(Out.end(), To.begin(), To.end());
  Out.insert(Out.end(), State.begin() + std::ptrdiff_t(Step.At + From.size()), State.end());
  return Out;
}

void THistory::Add(const std::string& Label, const std::string& Merge, std::vector<std::string> SelectedBefore,
                   std::vector<std::string> SelectedAfter, TState After) {
  // Nothing changed (a click that selects, a value set to itself): no step,
  // and what can be redone stays.
  if (After == FCurrent) return;
  FSteps.resize(FDone);
  if (FSaved && *FSaved > FDone) FSaved.reset();  // the saved state can no longer be reached
  TState Before = FCurrent;
  const bool Joins = !FSealed && !Merge.empty() && FDone > 0 && FSteps.back().Merge == Merge && FSaved != FDone;
  if (Joins) {
    Before = Splice(FCurrent, FSteps.back(), false);
    SelectedBefore = std::move(FSteps.back().SelectedBefore);
    FSteps.pop_back();
    --FDone;
  }
  FCurrent = std::move(After);
  FSealed = false;
  // Where the two states differ: between their common start and common end.
  const std::size_t Shorter = std::min(Before.size(), FCurrent.size());
  const std::size_t Head = std::size_t(std::mismatch(Before.begin(), Before.begin() + std::ptrdiff_t(Shorter), FCurrent.begin()).first -
                                       Before.begin());
  std::size_t Tail = 0;
  while (Tail < Shorter - Head && Before[Before.size() - 1 - Tail] == FCurrent[FCurrent.size() - 1 - Tail]) ++Tail;
  if (Head == Before.size() && Head == FCurrent.size()) return;  // back where it started: no step at all
  TStep Step{Label, Merge, Head, {}, {}, std::move(SelectedBefore), std::move(SelectedAfter)};
  Step.Before.assign(Before.begin() + std::ptrdiff_t(Head), Before.end() - std::ptrdiff_t(Tail));
  Step.After.assign(FCurrent.begin() + std::ptrdiff_t(Head), FCurrent.end() - std::ptrdiff_t(Tail));
  FSteps.push_back(std::move(Step));
  ++FDone;
}

TState THistory::UndoState() const { return Splice(FCurrent, FSteps[FDone - 1], false); }
TState THistory::RedoState() const { return Splice(FCurrent, FSteps[FDone], true); }

void THistory::Undone(TState State) {
  FCurrent = std::move(State);
  --FDone;
  FSealed = true;
}

void THistory::Redone(TState State) {
  FCurrent = std::move(State);
  ++FDone;
  FSealed = true;
}

}  // namespace Design
