#include "run/MailboxWalk.h"

#include <algorithm>
#include <utility>

#include "pop3/Pop3ReplyParsers.h"

namespace vexalo {

void MailboxWalk::Start(int32_t count) {
  slots_.clear();
  numberWithId_.clear();
  slots_.resize(static_cast<size_t>(std::clamp(count, 0, kMaxMessages)) + 1);
  next_ = 0;
  released_ = 0;
  rowsWaiting_ = 0;
}

const MailboxWalk::MessageSlot& MailboxWalk::Slot(int32_t number) const {
  return InRange(slots_, number) ? slots_[static_cast<size_t>(number)] : slots_.front();
}

bool MailboxWalk::ListId(int32_t number, std::string_view id) {
  if (!InRange(slots_, number) || slots_[static_cast<size_t>(number)].id) return false;
  TakeId(number, std::string(id));
  return true;
}

// Two messages with one id could be taken for each other: neither is trusted.
void MailboxWalk::TakeId(int32_t number, std::string id) {
  MessageSlot& slot = slots_[static_cast<size_t>(number)];
  slot.idUntrusted = !IsValidUniqueId(id);
  if (!slot.idUntrusted) {
    const auto [first, added] = numberWithId_.try_emplace(id, number);
    if (!added && first->second != number) {
      slot.idUntrusted = true;
      slots_[static_cast<size_t>(first->second)].idUntrusted = true;
    }
  }
  slot.id = std::move(id);
}

void MailboxWalk::ListSize(int32_t number, int32_t size) {
  if (!InRange(slots_, number) || size < 0) return;
  int32_t& entry = slots_[static_cast<size_t>(number)].size;
  if (entry == kSizeUnknown) entry = size;
}

void MailboxWalk::ForgetIds() {
  for (MessageSlot& slot : slots_) {
    slot.id.reset();
    slot.idUntrusted = false;
  }
  numberWithId_.clear();
}

void MailboxWalk::ForgetSizes() {
  for (MessageSlot& slot : slots_) slot.size = kSizeUnknown;
}

void MailboxWalk::SetId(int32_t number, std::string id) {
  if (InRange(slots_, number)) TakeId(number, std::move(id));
}

int32_t MailboxWalk::NextToLookAt() {
  if (AllLookedAt()) return 0;
  return ++next_;
}

void MailboxWalk::Finish(int32_t number, bool counted, std::unique_ptr<ParsedMessage> row) {
  if (!InRange(slots_, number)) return;
  MessageSlot& slot = slots_[static_cast<size_t>(number)];
  if (slot.state != State::open) return;
  slot.state = counted ? State::counted : State::passedOver;
  if (row) ++rowsWaiting_;
  slot.row = std::move(row);
}

std::optional<MailboxWalk::Released> MailboxWalk::NextReleased() {
  const size_t next = static_cast<size_t>(released_) + 1;
  if (next >= slots_.size() || slots_[next].state == State::open) return std::nullopt;
  MessageSlot& slot = slots_[next];
  Released released{released_ + 1, slot.state == State::counted, std::move(slot.row)};
  if (released.row) --rowsWaiting_;
  slot.state = State::released;
  ++released_;
  return released;
}

void MailboxWalk::NoteUnpicked(int32_t number) {
  if (InRange(slots_, number)) slots_[static_cast<size_t>(number)].unpicked = true;
}

std::vector<std::string> MailboxWalk::UnpickedIds() const {
  std::vector<std::string> ids;
  for (const MessageSlot& slot : slots_) {
    if (slot.unpicked && slot.id && !slot.idUntrusted) ids.push_back(*slot.id);
  }
  return ids;
}

}  // namespace vexalo
