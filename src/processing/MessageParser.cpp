#include "processing/MessageParser.h"

#include "processing/RowText.h"
#include "text/CommFuncs.h"

namespace vexalo {

namespace {

// Far above any real Content-Type header. What a header holds beyond it is
// not read, so a hostile header can neither grow the buffer without end nor
// make every further line rescan it.
constexpr size_t kMaxContentTypeBytes = 16 * 1024;

// The name of a header line: what stands before its first colon, or the
// whole line without one, trimmed. A colon is never part of a double-byte
// character, so the first one is the separator.
std::string_view HeaderName(std::string_view line) {
  return TrimText(line.substr(0, line.find(':')));
}

bool IsContinuationLine(std::string_view line) {
  return !line.empty() && (line[0] == ' ' || line[0] == '\t');
}

// The parameters after the media type, split at the semicolons that stand
// outside double quotes (a quoted file name may hold one). `fn` returns true
// when it needs no further parameter.
template <typename Fn>
void ForEachParameter(std::string_view value, Fn fn) {
  bool quoted = false;
  size_t start = std::string_view::npos;  // the media type before the first ';' is no parameter
  for (size_t i = 0; i < value.size(); ++i) {
    const char c = value[i];
    if (quoted && c == '\\') {
      ++i;  // a quoted pair: the next byte is literal
    } else if (c == '"') {
      quoted = !quoted;
    } else if (c == ';' && !quoted) {
      if (start != std::string_view::npos && fn(value.substr(start, i - start))) return;
      start = i + 1;
    }
  }
  if (start != std::string_view::npos) fn(value.substr(start));
}

std::string_view Unquote(std::string_view value) {
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
    return TrimText(value.substr(1, value.size() - 2));
  }
  return value;
}

}  // namespace

TMessageParser::TMessageParser(DataTable& table, const SettingsFields& fields,
                               const TJisConv& jisConv, CellPoint& cellPos, MessageState& state)
    : table_(table), fields_(fields), jisConv_(jisConv), cellPos_(cellPos), state_(state) {}

void TMessageParser::ResetMessageState() {
  names_.clear();
  values_.clear();
  state_.TriggerFound = false;
  state_.InHeader = true;
  state_.CharsetMode = csOther;
  state_.RowText.clear();
  contentType_.clear();
}

uint8_t TMessageParser::DetectCharset(std::string_view contentTypeText) {
  const size_t colon = contentTypeText.find(':');
  if (colon == std::string_view::npos) return csOther;
  uint8_t mode = csOther;
  ForEachParameter(contentTypeText.substr(colon + 1), [&mode](std::string_view parameter) {
    const size_t equals = parameter.find('=');
    if (equals == std::string_view::npos) return false;
    if (!EqualIgnoringAsciiCase(TrimText(parameter.substr(0, equals)), "CHARSET")) return false;
    const std::string charset = UpperAscii(Unquote(TrimText(parameter.substr(equals + 1))));
    if (charset == "ISO-2022-JP") {
      mode = csIso2022Jp;
    } else if (charset == "SHIFT_JIS") {
      mode = csShiftJis;
    } else if (charset == "EUC-JP") {
      mode = csEucJp;
    }
    return true;  // the first charset parameter decides
  });
  return mode;
}

void TMessageParser::ProcessMessageLine(std::string_view line, std::string_view msgUidl,
                                        std::string_view runStamp) {
  if (state_.InHeader) {
    ProcessHeaderLine(line);
  } else if (state_.TriggerFound) {
    std::string text = Decode(line);
    // Most lines hold no comma; escaping would only copy them again.
    if (text.find(',') != std::string::npos) text = EscapeCommas(text);
    AddItem(text, msgUidl, runStamp);
  }
}

void TMessageParser::ProcessHeaderLine(std::string_view line) {
  // Both tests run on every header line, the blank one that ends the header
  // included: an empty trigger setting thus matches every message.
  if (!contentType_.empty() && IsContinuationLine(line)) {
    const size_t room = kMaxContentTypeBytes - contentType_.size();
    if (room > 0) {
      contentType_.append(line.substr(0, room));
      state_.CharsetMode = DetectCharset(contentType_);
    }
  } else if (EqualIgnoringAsciiCase(HeaderName(line), "CONTENT-TYPE")) {
    contentType_.assign(line.substr(0, kMaxContentTypeBytes));
    state_.CharsetMode = DetectCharset(contentType_);
  } else {
    contentType_.clear();
  }

  if (EqualIgnoringAsciiCase(line, fields_.HeaderTokenText())) state_.TriggerFound = true;

  if (TrimText(line).empty()) {
    state_.InHeader = false;
    contentType_.clear();
  }
}

std::string TMessageParser::Decode(std::string_view line) const {
  switch (state_.CharsetMode) {
    case csIso2022Jp:
      return jisConv_.ConvertJisToSjis(line);
    case csEucJp:
      return jisConv_.ConvertEucToSjis(line);
    default:
      return std::string(line);
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

void TMessageParser::WriteItems() {
  if (names_.empty()) return;
  std::vector<std::string_view> cells(names_.begin(), names_.end());
  // Orders of one form give every row the same titles: rewriting equal
  // titles would rebuild row 0 for every message.
  std::vector<std::string_view> titles;
  table_.CellsInRange(0, firstGathered_, firstGathered_ + static_cast<int>(cells.size()) - 1,
                      titles);
  if (titles != cells) table_.SetCellsFrom(0, firstGathered_, cells);
  cells.assign(values_.begin(), values_.end());
  table_.SetCellsFrom(cellPos_.Y, firstGathered_, cells);
  names_.clear();
  values_.clear();
}

}  // namespace vexalo
