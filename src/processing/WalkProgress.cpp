#include "processing/WalkProgress.h"

#include <utility>

namespace vexalo {

void WalkProgress::Start(int32_t count) {
  const size_t slots = static_cast<size_t>(count < 0 ? 0 : count) + 1;
  states_.assign(slots, State::open);
  unpicked_.assign(slots, std::string());
  released_ = 0;
}

std::vector<int32_t> WalkProgress::Finish(int32_t number, bool counted) {
  std::vector<int32_t> due;
  if (number < 1 || static_cast<size_t>(number) >= states_.size()) return due;
  states_[static_cast<size_t>(number)] = counted ? State::counted : State::passedOver;
  while (static_cast<size_t>(released_) + 1 < states_.size() &&
         states_[static_cast<size_t>(released_) + 1] != State::open) {
    ++released_;
    if (states_[static_cast<size_t>(released_)] == State::counted) due.push_back(released_);
  }
  return due;
}

void WalkProgress::NoteUnpicked(int32_t number, std::string id) {
  if (number < 1 || static_cast<size_t>(number) >= unpicked_.size()) return;
  unpicked_[static_cast<size_t>(number)] = std::move(id);
}

std::vector<std::string> WalkProgress::UnpickedIds() const {
  std::vector<std::string> ids;
  for (const std::string& id : unpicked_) {
    if (!id.empty()) ids.push_back(id);
  }
  return ids;
}

}  // namespace vexalo
