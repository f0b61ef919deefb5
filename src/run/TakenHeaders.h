#pragma once

#include <string>
#include <unordered_map>
#include <vector>

namespace vexalo {

// What proves that a listed id still names the mail a run took under it: the
// digest of that mail's header (ParsedMessage::headerDigest), by id. A server
// may give an id again to another mail, and two mailboxes may share ids; a
// mail whose id was taken is deleted again only when its header proves it is
// the one taken.
//
// The file (TakenHeaders.txt beside Unpicked.txt) is CR LF lines of an id, a
// blank and the digest. A deleting run appends the proofs of its rows
// before it writes them (and so before their DELEs go), so a run killed
// before its end leaves them behind; at its end the file is replaced whole, like Unpicked.txt, in
// id order. A later line for an id stands over an earlier one.
using TakenHeaders = std::unordered_map<std::string, std::string>;

inline constexpr char kTakenHeadersFileName[] = "TakenHeaders.txt";

struct DataFilePaths;
// The file beside Unpicked.txt.
std::string TakenHeadersPath(const DataFilePaths& paths);

// The digests in the file at `path`; none when it is missing, unreadable or
// damaged (without proof, nothing is deleted again). A last line without its
// CR LF was cut by a crash while appended, and is left out.
TakenHeaders LoadTakenHeaders(const std::string& path);

// Appends the digests of `ids` (each present in `digests`) to the file at
// `path`. Raises EInOutError.
void AppendTakenHeaders(const std::string& path, const TakenHeaders& digests,
                        const std::vector<std::string>& ids);

// Replaces the file at `path` with `digests`. Raises EInOutError.
void SaveTakenHeaders(const std::string& path, const TakenHeaders& digests);

}  // namespace vexalo
