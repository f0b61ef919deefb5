#include "table/RowText.h"

#include "text/CommFuncs.h"

namespace vexalo {

std::string StoredId(std::string_view msgUidl) { return EscapeCommas(msgUidl); }

void BeginRowText(std::string& rowText, std::string_view runStamp, std::string_view storedId) {
  rowText.append(runStamp).append(",").append(storedId);
}

}  // namespace vexalo
