#pragma once

#include <string>
#include <string_view>

#include "table/FormulaGuard.h"
#include "table/GridSelection.h"
#include "table/ProcessingState.h"

namespace vexalo {

class DataTable;

// The two data files beside the executable. Both, and every CSV file the user
// saves, are CP932 bytes with CR LF after every line, no header, no quoting:
// the comma is the only separator (texts from mail have none of their own, the
// parser turns them into full-width commas).
inline constexpr char kAllDataFileName[] = "AllData.csv";    // one line per taken message
inline constexpr char kFirstRowFileName[] = "FirstRow.csv";  // the title row
// Ids of mail found not to be picked (see UnpickedIds.h).
inline constexpr char kUnpickedFileName[] = "Unpicked.txt";
// Added to the path of AllData.csv, names the file a run locks (RunLock).
inline constexpr char kRunLockSuffix[] = ".lock";

// What old editors put at the end of a text file. The program never writes it.
inline constexpr char kEndOfFileMark = '\x1a';

// A line is split into at most this many cells; the last keeps the rest of
// the line. Far beyond any mail, but keeps a damaged file from building a
// row of millions of columns.
inline constexpr int kMaxFieldsPerLine = 65536;

// Every routine opens its file for the one operation and closes it again, and
// raises EInOutError at once when the system refuses an open, read, write or
// close; a file being written stays as far as it got. Each data file must be a
// regular file (PosixFile.h): anything else is an error naming it, and never
// waited for. Files they create get mode 0600.

// Fills row 0 from the first line of the file at `path` and sets the visible
// counts to 3 columns and 2 rows, whatever the number of titles. Titles past
// the line's fields keep their text. A missing file changes nothing.
void LoadFirstRow(DataTable& table, const std::string& path);

// Loads every line of the file at `path` into rows 1, 2, ... (cells past a
// line's fields keep their text); after each line the visible column count
// grows to that line's number of cells if it is less (it never shrinks, so no
// column of an older row is hidden), the visible row count is the row after
// it, and `cellPos.Y` that same row, so that the next message taken goes below
// the last row loaded, also when a read fails part-way. An empty or blank line
// loads as a row of one empty cell, and loading goes on after it: column 1 of
// the later rows is the record of taken ids. An empty file gives one such row.
// Returns how many bytes of the file the rows hold (a final end-of-file mark
// not counted), for LoadAppendedRows. A missing file changes nothing and
// gives 0.
long long LoadAllData(DataTable& table, const std::string& path, CellPoint& cellPos);

// Loads the lines another program appended to the file at `path` after its
// first `from` bytes, which the table already holds, into rows cellPos.Y, ...
// as LoadAllData does, and returns the new count of bytes held. A file no
// longer than `from` (unchanged, or cut or replaced meanwhile) loads nothing.
long long LoadAppendedRows(DataTable& table, const std::string& path, long long from,
                           CellPoint& cellPos);

// Writes `cells` to `path`, replacing any file there: one line per row of
// cells.Rows in that order, the cell of column Left and then, for each column
// up to Right, a comma and its cell; cells never written give empty texts.
// A cell holding '"', ',', CR or LF, or beginning or ending with a blank, is
// written in double quotes with its quotes doubled, as spreadsheets read it
// (see AppendQuotedCell); every other cell as it is. A 0x1A in a cell becomes
// a blank. Even with Right left of Left a line holds the cell of column Left.
// With the guard on, a cell that starts like a formula is written behind a "'"
// (FormulaGuard.h); the program's own files are written as they are.
void SaveCells(const DataTable& table, const CellBlock& cells, const std::string& path,
               FormulaGuard guard = FormulaGuard::kOff);

// Writes the visible part of the title row to `path` (FirstRow.csv) as
// SaveCells does, but nothing quoted (a CR, LF or 0x1A becomes a blank) and
// as a ReplacementFile: at every moment the file holds either the old titles
// or the new ones, whole. Only a folder that refuses the new file while the
// file itself may be written, and a link the user made in its place, have it
// written in place (a link to a regular file only). A file that holds these
// very bytes already is left as it is.
void SaveFirstRow(const DataTable& table, const std::string& path);

// Appends `text` as one line to the file at `path`, creating the file when it
// is missing: the text, then CR LF, written and the file closed before the
// call returns. A CR, LF or 0x1A inside the text becomes a blank, since any of
// them would cut the line, or the whole file, when it is read back. An
// end-of-file mark at the end of the file is removed first. When the file's
// last byte is then neither CR nor LF (a file finished by hand without a line
// end), a CR LF goes first, so the text never joins the line before it.
// The line goes in whole or not at all: when a write fails (a full disk, the
// file-size limit) the file is cut back to its length before the call and
// EInOutError is raised; SIGXFSZ does not end the program meanwhile. Returns
// the file's new length.
long long AppendLine(const std::string& path, std::string_view text);

// Makes the lines appended to the file at `path` durable: the file's data and
// its entry in its folder are on stable storage when the call returns, so they
// survive a crash or a power cut from then on. Raises EInOutError when the file
// or its folder cannot be opened or the system reports a failure.
void SyncFile(const std::string& path);

}  // namespace vexalo
