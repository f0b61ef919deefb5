#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vexalo {

// Where a run's walk over the mailbox stands, message by message. While the
// server pipelines, messages finish out of order: the header of an unpicked
// mail is judged before the RETR of an earlier picked one is in. The user
// still reads "n/m" texts in message order, and Unpicked.txt lists its ids
// in message order, as when every command waited for the last.
class WalkProgress {
 public:
  // A walk over messages 1..count, none finished yet.
  void Start(int32_t count);

  // Message `number` needs no more commands. `counted`: it was read (its
  // header or whole) and its "n/m" text is due; otherwise it was passed over
  // as judged already, which shows nothing. Returns the numbers whose texts
  // are due now, in order: those whose earlier messages have all finished.
  std::vector<int32_t> Finish(int32_t number, bool counted);

  // Notes `id` as found or remembered not picked for message `number`.
  void NoteUnpicked(int32_t number, std::string id);
  // The ids noted as not picked, in message order.
  std::vector<std::string> UnpickedIds() const;

 private:
  enum class State : uint8_t { open, passedOver, counted };
  std::vector<State> states_;  // by message number; [0] unused
  int32_t released_ = 0;       // every message up to this one has finished
  std::vector<std::string> unpicked_;  // by message number; empty: none
};

}  // namespace vexalo
