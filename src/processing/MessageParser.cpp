#include "processing/MessageParser.h"

#include "processing/EncodedWords.h"
#include "processing/RowText.h"
#include "text/CommFuncs.h"

namespace vexalo {

namespace {

// Only such a line can read otherwise once decoded.
bool MayHoldEncodedText(std::string_view line) {
  if (line.find("=?") != std::string_view::npos) return true;
  for (const char c : line) {
    if (static_cast<unsigned char>(c) >= 0x80) return true;
  }
  return false;
}

}  // namespace

TMessageParser::TMessageParser(DataTable& table, const SettingsFields& fields,
                               const TJisConv& jisConv, CellPoint& cellPos, MessageState& state)
    : table_(table),
      fields_(fields),
      cellPos_(cellPos),
      state_(state),
      walker_(jisConv),
      headerText_(jisConv),
      takeTextLine_([this](std::string_view text) { TakeTextLine(text); }) {}

void TMessageParser::ResetMessageState() {
  names_.clear();
  values_.clear();
  state_.TriggerFound = false;
  state_.InHeader = true;
  state_.Charset = csOther;
  state_.RowText.clear();
  header_.Reset();
}

CharsetMode TMessageParser::DetectCharset(std::string_view contentTypeText) {
  return CharsetModeOf(ParameterValue(contentTypeText, "CHARSET").value_or(""));
}

void TMessageParser::ProcessMessageLine(std::string_view line, std::string_view msgUidl,
                                        std::string_view runStamp) {
  if (state_.InHeader) {
    ProcessHeaderLine(line);
  } else if (state_.TriggerFound) {
    msgUidl_ = msgUidl;
    runStamp_ = runStamp;
    walker_.Line(line, takeTextLine_);
  }
}

void TMessageParser::FinishMessage(std::string_view msgUidl, std::string_view runStamp) {
  if (state_.InHeader || !state_.TriggerFound) return;
  msgUidl_ = msgUidl;
  runStamp_ = runStamp;
  walker_.Finish(takeTextLine_);
}

void TMessageParser::ProcessHeaderLine(std::string_view line) {
  // Both tests run on every header line, the blank one that ends the header
  // included: an empty trigger setting thus matches every message.
  if (header_.AddLine(line)) state_.Charset = DetectCharset(header_.ContentType());
  if (IsTriggerLine(line)) state_.TriggerFound = true;
  if (TrimText(line).empty()) {
    state_.InHeader = false;
    if (state_.TriggerFound) walker_.Start(header_.Info());
  }
}

bool TMessageParser::IsTriggerLine(std::string_view line) {
  const std::string& trigger = fields_.HeaderTokenText();
  if (EqualIgnoringAsciiCase(line, trigger)) return true;
  return MayHoldEncodedText(line) &&
         EqualIgnoringAsciiCase(DecodeEncodedWords(line, headerText_), trigger);
}

void TMessageParser::TakeTextLine(std::string_view text) {
  // Most lines hold no comma; escaping would only copy them again.
  if (text.find(',') == std::string_view::npos) {
    AddItem(text, msgUidl_, runStamp_);
  } else {
    AddItem(EscapeCommas(text), msgUidl_, runStamp_);
  }
}

void TMessageParser::AddItem(std::string_view text, std::string_view msgUidl,
                             std::string_view runStamp) {
  const SplitText item = SplitAtToken(text, fields_.SplitTokenText());
  if (item.name == "%") return;
  if (cellPos_.X - DataTable::kFirstItemColumn >= kMaxItemsPerMessage) return;

  if (state_.RowText.empty()) {
    BeginRowText(state_.RowText, runStamp, StoredId(msgUidl));
  }
  state_.RowText.append(",").append(item.value);

  if (names_.empty()) firstGathered_ = cellPos_.X;
  names_.emplace_back(item.name);
  values_.emplace_back(item.value);
  ++cellPos_.X;
}

bool TMessageParser::WriteItems() {
  if (names_.empty()) return false;
  std::vector<std::string_view> cells(names_.begin(), names_.end());
  // Orders of one form give every row the same titles: rewriting equal
  // titles would rebuild row 0 for every message.
  std::vector<std::string_view> titles;
  table_.CellsInRange(0, firstGathered_, firstGathered_ + static_cast<int>(cells.size()) - 1,
                      titles);
  const bool titlesChanged = titles != cells;
  if (titlesChanged) table_.SetCellsFrom(0, firstGathered_, cells);
  cells.assign(values_.begin(), values_.end());
  table_.SetCellsFrom(cellPos_.Y, firstGathered_, cells);
  names_.clear();
  values_.clear();
  return titlesChanged;
}

}  // namespace vexalo
