#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "mail/MessageParser.h"

namespace vexalo {

// A run's walk over the mailbox, message by message: what the listings said
// of each message (its id and size), which message to look at next, and
// which are finished. While the server pipelines, messages finish out of
// order: the header of an unpicked mail is judged, and a small mail read,
// before the RETR of an earlier large picked one is in. The walk hands the
// finished messages back in message order only, each with the row it gave,
// so rows are taken, "n/m" texts shown and Unpicked.txt written as when
// every command waited for the last.
class MailboxWalk {
 public:
  static constexpr int32_t kSizeUnknown = -1;
  // The most messages a mailbox may hold for the walk: every one costs a few
  // dozen bytes before anything is read, and a server's count is not to be
  // trusted with memory.
  static constexpr int32_t kMaxMessages = 1000000;

  // A walk over messages 1..count (at most kMaxMessages), nothing known yet.
  void Start(int32_t count);
  int32_t Count() const { return static_cast<int32_t>(slots_.size()) - 1; }

  // What a listing gives for message `number`. The listing is the server's
  // word: a number outside the mailbox, or given twice, is not taken, and
  // the message is then asked for alone. False: the entry was not taken.
  // An id that is not valid (IsValidUniqueId), or that another message of
  // the mailbox has too, is kept but not trusted.
  bool ListId(int32_t number, std::string_view id);
  void ListSize(int32_t number, int32_t size);
  void ForgetIds();
  void ForgetSizes();
  // The id of message `number` asked for alone; trusted as ListId's.
  void SetId(int32_t number, std::string id);
  const std::optional<std::string>& Id(int32_t number) const { return Slot(number).id; }
  // Whether message `number`'s id may stand for it: whether the message may
  // be passed over as taken, deleted as taken, or remembered by it.
  bool IdTrusted(int32_t number) const { return Slot(number).id && !Slot(number).idUntrusted; }
  // The first message listed with `id`, or 0 when none is.
  int32_t NumberWithId(const std::string& id) const {
    const auto found = numberWithId_.find(id);
    return found == numberWithId_.end() ? 0 : found->second;
  }
  int32_t Size(int32_t number) const { return Slot(number).size; }

  // The next message to look at (1, 2, ...); 0 once every one was.
  int32_t NextToLookAt();
  bool AllLookedAt() const { return next_ >= Count(); }

  // Message `number` needs no more commands. `counted`: it was read (its
  // header or whole) and its "n/m" text is due; otherwise it was passed over
  // as judged already, which shows nothing. `row`: the items of a picked
  // message, to be taken when every earlier message has finished.
  void Finish(int32_t number, bool counted, std::unique_ptr<ParsedMessage> row = nullptr);

  struct Released {
    int32_t number = 0;
    bool counted = false;
    std::unique_ptr<ParsedMessage> row;
  };
  // The next finished message whose earlier messages have all been handed
  // back, or nothing.
  std::optional<Released> NextReleased();
  // Rows of finished messages waiting for an earlier message.
  size_t RowsWaiting() const { return rowsWaiting_; }

  // Notes message `number` as found or remembered not picked.
  void NoteUnpicked(int32_t number);
  // The ids noted as not picked, in message order.
  std::vector<std::string> UnpickedIds() const;

 private:
  enum class State : uint8_t { open, passedOver, counted, released };
  struct MessageSlot {
    std::optional<std::string> id;
    bool idUntrusted = false;
    int32_t size = kSizeUnknown;
    State state = State::open;
    bool unpicked = false;
    std::unique_ptr<ParsedMessage> row;
  };
  static bool InRange(const std::vector<MessageSlot>& messages, int32_t number) {
    return number >= 1 && static_cast<size_t>(number) < messages.size();
  }
  const MessageSlot& Slot(int32_t number) const;
  void TakeId(int32_t number, std::string id);

  std::vector<MessageSlot> slots_ = std::vector<MessageSlot>(1);  // by message number; [0] unused
  std::unordered_map<std::string, int32_t> numberWithId_;         // the first message of each id
  int32_t next_ = 0;                                              // the last message looked at
  int32_t released_ = 0;  // every message up to this one was handed back
  size_t rowsWaiting_ = 0;
};

}  // namespace vexalo
