#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TempFolder.h"
#include "platform/LineReader.h"
#include "table/DataFiles.h"
#include "table/DataTable.h"
#include "table/GridSelection.h"
#include "table/RowOrder.h"

namespace vexalo {
namespace {

using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;
using Rows = std::vector<std::vector<std::string>>;

// Checks rows first .. first + expected.size() - 1 cell by cell, and that
// nothing follows the last expected cell of each.
void ExpectRows(const DataTable& table, int first, const Rows& expected, const std::string& what) {
  for (size_t i = 0; i < expected.size(); ++i) {
    const int row = first + static_cast<int>(i);
    for (size_t col = 0; col < expected[i].size(); ++col) {
      EXPECT_EQ(table.Cell(static_cast<int>(col), row), expected[i][col])
          << what << ": cell (" << col << ", " << row << ")";
    }
    EXPECT_EQ(table.Cell(static_cast<int>(expected[i].size()), row), "")
        << what << ": row " << row << " goes on";
  }
}

struct LoadCase {
  const char* what;
  std::string bytes;
  Rows rows;     // rows 1, 2, ...
  int colCount;  // that of the widest line
};

TEST(LoadAllData, LinesBecomeRowsAfterTheTitles) {
  const LoadCase cases[] = {
      {"five lines",
       "1,a\r\n2,b\r\n3,c\r\n4,d\r\n5,e\r\n",
       {{"1", "a"}, {"2", "b"}, {"3", "c"}, {"4", "d"}, {"5", "e"}},
       2},
      {"three fields", "a,b,c\r\n", {{"a", "b", "c"}}, 3},
      {"one trailing comma drops the empty field", "a,b,\r\n", {{"a", "b"}}, 2},
      {"two trailing commas keep one empty field", "a,b,,\r\n", {{"a", "b", ""}}, 3},
      {"blanks around fields go", " a ,\tb\t, c  ,  \r\n", {{"a", "b", "c"}}, 3},
      {"quotes are ordinary bytes", "\"x,y\",\"z\"\r\n", {{"\"x", "y\"", "\"z\""}}, 3},
      {"zero bytes give one empty row", "", {{""}}, 1},
      {"a lone line end is an empty row too", "\r\n", {{""}}, 1},
      {"empty and blank lines load and loading goes on",
       "s1,id1,v\r\n\r\n \t \r\ns2,id2,w\r\n",
       {{"s1", "id1", "v"}, {""}, {""}, {"s2", "id2", "w"}},
       3},
      {"CR, LF and CR LF all end a line; the last needs none",
       "a\rb\nc\r\nd",
       {{"a"}, {"b"}, {"c"}, {"d"}},
       1},
      {"CR CR LF is a line and an empty line", "a\r\r\nb\r\n", {{"a"}, {""}, {"b"}}, 1},
      {"0x1A as the last byte is left out", "a,b\r\n\x1a", {{"a", "b"}}, 2},
      {"0x1A as the last byte of a line without line end", "a,b\x1a", {{"a", "b"}}, 2},
      {"0x1A alone is an empty file", "\x1a", {{""}}, 1},
      {"0x1A inside a line is a blank and hides nothing",
       "a\r\nb\x1a,c\r\nd\r\n",
       {{"a"}, {"b", "c"}, {"d"}},
       2},
      {"0x1A at the start of a line is a blank",
       "\x1a"
       "a\r\n\x1a\r\n",
       {{"a"}, {""}},
       1},
      // 山田,ソフト: trail bytes 0x63 and 0x5C stay, bytes above 0x80 are no blanks
      {"CP932 text passes unchanged",
       "\x8e\x52\x93\x63,\x83\x5c\x83\x74\x83\x67\r\n",
       {{"\x8e\x52\x93\x63", "\x83\x5c\x83\x74\x83\x67"}},
       2},
      {"a narrower last line keeps the wider columns visible",
       "a,b,c,d\r\nx\r\n",
       {{"a", "b", "c", "d"}, {"x"}},
       4},
  };
  for (const LoadCase& c : cases) {
    TempFolder folder;
    const std::string path = folder.Path(kAllDataFileName);
    WriteBytes(path, c.bytes);
    DataTable table;
    CellPoint cellPos;
    LoadAllData(table, path, cellPos);
    const int nextRow = static_cast<int>(c.rows.size()) + 1;
    EXPECT_EQ(table.RowCount(), nextRow) << c.what;
    EXPECT_EQ(cellPos.Y, nextRow) << c.what;
    EXPECT_EQ(cellPos.X, 2) << c.what;
    // The count the table was created with is the least it shows.
    EXPECT_EQ(table.ColCount(), std::max(DataTable::kInitialColCount, c.colCount)) << c.what;
    ExpectRows(table, 1, c.rows, c.what);
  }
}

TEST(LoadAllData, LinesAcrossReadPiecesAndLongerThanThem) {
  // The CR of the first line is the last byte of the first piece read and its
  // LF the first of the next; the second line outgrows the read buffer.
  const std::string first(LineReader::kPieceSize - 1, 'x');
  const std::string second(3 * LineReader::kPieceSize, 'y');
  TempFolder folder;
  const std::string path = folder.Path(kAllDataFileName);
  WriteBytes(path, first + "\r\n" + second + ",id\r\nz\r\n");
  DataTable table;
  CellPoint cellPos;
  LoadAllData(table, path, cellPos);
  EXPECT_EQ(cellPos.Y, 4);
  ExpectRows(table, 1, {{first}, {second, "id"}, {"z"}}, "long lines");
}

TEST(LoadAllData, ManyCommasStopAtTheFieldLimitWithoutLosingBytes) {
  const std::string tail = ",rest,,of,line";
  std::string line;
  for (int i = 1; i < kMaxFieldsPerLine; ++i) line += "a,";
  line += "b" + tail;
  TempFolder folder;
  const std::string path = folder.Path(kAllDataFileName);
  WriteBytes(path, line + "\r\n");
  DataTable table;
  CellPoint cellPos;
  LoadAllData(table, path, cellPos);
  EXPECT_EQ(table.ColCount(), kMaxFieldsPerLine);
  EXPECT_EQ(table.Cell(kMaxFieldsPerLine - 2, 1), "a");
  EXPECT_EQ(table.Cell(kMaxFieldsPerLine - 1, 1), "b" + tail);
}

TEST(StartUpLoad, MissingFilesLeaveTheTableAsCreated) {
  TempFolder folder;
  DataTable table;
  CellPoint cellPos;
  LoadFirstRow(table, folder.Path(kFirstRowFileName));
  LoadAllData(table, folder.Path(kAllDataFileName), cellPos);
  EXPECT_EQ(table.ColCount(), 3);
  EXPECT_EQ(table.RowCount(), 2);
  EXPECT_EQ(cellPos.X, 2);
  EXPECT_EQ(cellPos.Y, 1);
  ExpectRows(table, 0, {{}, {}}, "nothing loaded");
}

TEST(StartUpLoad, TitlesAloneShowThreeColumnsUntilAMessageComes) {
  TempFolder folder;
  // ,,名前,数量 and a second line that is never read
  WriteBytes(folder.Path(kFirstRowFileName), ",,\x96\xbc\x91\x4f,\x90\x94\x97\xca\r\nx,y\r\n");
  DataTable table;
  CellPoint cellPos;
  LoadFirstRow(table, folder.Path(kFirstRowFileName));
  LoadAllData(table, folder.Path(kAllDataFileName), cellPos);
  EXPECT_EQ(table.ColCount(), 3);
  EXPECT_EQ(table.RowCount(), 2);
  EXPECT_EQ(cellPos.Y, 1);
  ExpectRows(table, 0, {{"", "", "\x96\xbc\x91\x4f", "\x90\x94\x97\xca"}, {}}, "titles");
}

TEST(StartUpLoad, EmptyTitleFileGivesEmptyTitles) {
  TempFolder folder;
  WriteBytes(folder.Path(kFirstRowFileName), "");
  DataTable table;
  table.SetColCount(7);
  LoadFirstRow(table, folder.Path(kFirstRowFileName));
  EXPECT_EQ(table.ColCount(), 3);
  EXPECT_EQ(table.RowCount(), 2);
  ExpectRows(table, 0, {{}}, "empty titles");
}

// A table as start-up leaves it with ,,名前,数量 as titles and two messages.
class SavedTable : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteBytes(folder_.Path(kFirstRowFileName), ",,\x96\xbc\x91\x4f,\x90\x94\x97\xca\r\n");
    WriteBytes(folder_.Path(kAllDataFileName),
               "2024/05/01 9:30:15,id1,\x8e\x52\x93\x63,3\r\n2024/05/02,id2,\"A\",10\r\n");
    LoadFirstRow(table_, folder_.Path(kFirstRowFileName));
    LoadAllData(table_, folder_.Path(kAllDataFileName), cellPos_);
  }

  std::string Saved(GridRect selection) {
    const std::string path = folder_.Path("out.csv");
    SaveCells(table_, ShownCells(selection, order_), path);
    return ReadBytes(path);
  }

  std::string TabText(GridRect selection) {
    return SelectionAsTabText(table_, ShownCells(selection, order_), FormulaGuard::kOff);
  }

  TempFolder folder_;
  DataTable table_;
  CellPoint cellPos_;
  RowOrder order_;
};

TEST_F(SavedTable, SelectAllWritesTitlesAndEveryRow) {
  EXPECT_EQ(SelectAllRect(table_), (GridRect{0, 0, 3, 2}));
  EXPECT_EQ(Saved(SelectAllRect(table_)),
            ",,\x96\xbc\x91\x4f,\x90\x94\x97\xca\r\n"
            "2024/05/01 9:30:15,id1,\x8e\x52\x93\x63,3\r\n"
            "2024/05/02,id2,\"\"\"A\"\"\",10\r\n");
}

TEST_F(SavedTable, SelectionsInAnyDirectionAndSingleCells) {
  EXPECT_EQ(Saved({2, 1, 2, 1}), "\x8e\x52\x93\x63\r\n");
  EXPECT_EQ(Saved({3, 2, 1, 1}), "id1,\x8e\x52\x93\x63,3\r\nid2,\"\"\"A\"\"\",10\r\n");
  EXPECT_EQ(Saved({2, 2, 4, 1}),
            "\x8e\x52\x93\x63,3,\r\n\"\"\"A\"\"\",10,\r\n");  // column 4 never written
  EXPECT_EQ(Saved({0, 5, 1, 4}), ",\r\n,\r\n");               // rows never written
}

// A spreadsheet reading the saved file must see each cell as the grid shows
// it: "至急" =SUM… may not lose its quotes.
TEST_F(SavedTable, SavedCellsAreQuotedWhereASpreadsheetWouldMisreadThem) {
  const struct {
    const char* cell;
    const char* saved;
  } cases[] = {
      {"\"\x8e\x8a\x8b\x7d\" =SUM(A1)",
       "\"\"\"\x8e\x8a\x8b\x7d\"\" =SUM(A1)\""},  // "至急" =SUM(A1)
      {"a,b", "\"a,b\""},
      {"two\r\nlines", "\"two\r\nlines\""},
      {"lf\nonly", "\"lf\nonly\""},
      {"\"", "\"\"\"\""},
      {"1\x81\x43"
       "000",
       "1\x81\x43"
       "000"},  // the full-width comma stays as it is
      {"\x95\x5c\x83\x5c", "\x95\x5c\x83\x5c"},
      {" leading", "\" leading\""},  // a reader may trim a blank it sees unquoted
      {"trailing ", "\"trailing \""},
      {"in between", "in between"},
      {"", ""},
  };
  for (const auto& c : cases) {
    table_.SetCell(2, 1, c.cell);
    EXPECT_EQ(Saved({2, 1, 3, 1}), std::string(c.saved) + ",3\r\n") << c.cell;
  }
}

TEST_F(SavedTable, TitlesAreNeverQuotedInFirstRow) {
  table_.SetCell(2, 0, "\"q\"");
  SaveFirstRow(table_, folder_.Path(kFirstRowFileName));
  EXPECT_EQ(ReadBytes(folder_.Path(kFirstRowFileName)), ",,\"q\",\x90\x94\x97\xca\r\n");
}

TEST_F(SavedTable, TabTextQuotesOnlyWhatASpreadsheetWouldSplit) {
  EXPECT_EQ(TabText({3, 2, 1, 1}), "id1\t\x8e\x52\x93\x63\t3\nid2\t\"\"\"A\"\"\"\t10\n");
  table_.SetCell(2, 1, "a\tb");
  EXPECT_EQ(TabText({2, 1, 2, 1}), "\"a\tb\"\n");
  EXPECT_EQ(TabText({4, 1, 4, 1}), "\n");  // a cell never written
}

TEST_F(SavedTable, SortedSelectionsComeOutInTheShownOrder) {
  order_.SortBy(table_, 3, true);  // 10 above 3
  EXPECT_EQ(Saved(SelectAllRect(table_)),
            ",,\x96\xbc\x91\x4f,\x90\x94\x97\xca\r\n"
            "2024/05/02,id2,\"\"\"A\"\"\",10\r\n"
            "2024/05/01 9:30:15,id1,\x8e\x52\x93\x63,3\r\n");
  EXPECT_EQ(TabText({1, 2, 1, 1}), "id2\nid1\n");
}

TEST_F(SavedTable, SavingReplacesALongerFile) {
  const std::string path = folder_.Path("out.csv");
  WriteBytes(path, std::string(1000, 'o'));
  SaveCells(table_, {1, 1, {1}}, path);
  EXPECT_EQ(ReadBytes(path), "id1\r\n");
}

TEST_F(SavedTable, FirstRowHoldsTheVisibleTitles) {
  table_.SetColCount(3);  // as after a message with one item
  SaveFirstRow(table_, folder_.Path(kFirstRowFileName));
  EXPECT_EQ(ReadBytes(folder_.Path(kFirstRowFileName)), ",,\x96\xbc\x91\x4f\r\n");
}

TEST(SaveCells, BeforeAnyDataSelectAllGivesTitlesAndOneEmptyLine) {
  TempFolder folder;
  DataTable table;
  table.SetRow(0, {"t0", "t1", "t2"});
  const std::string path = folder.Path("out.csv");
  SaveCells(table, ShownCells(SelectAllRect(table), RowOrder()), path);
  EXPECT_EQ(ReadBytes(path), "t0,t1,t2\r\n,,\r\n");
}

TEST(SaveCells, RightLeftOfLeftStillWritesTheLeftCell) {
  TempFolder folder;
  DataTable table;
  table.SetRow(0, {"only"});
  table.SetColCount(0);
  SaveFirstRow(table, folder.Path(kFirstRowFileName));
  EXPECT_EQ(ReadBytes(folder.Path(kFirstRowFileName)), "only\r\n");
}

TEST(AppendLine, CreatesThenAppendsOneLineEach) {
  TempFolder folder;
  const std::string path = folder.Path(kAllDataFileName);
  AppendLine(path, "s,id1,\x8e\x52\x93\x63");
  AppendLine(path, "");
  AppendLine(path, "s,id2");
  EXPECT_EQ(ReadBytes(path), "s,id1,\x8e\x52\x93\x63\r\n\r\ns,id2\r\n");
}

TEST(AppendLine, NeverCutsALineOrJoinsOne) {
  struct Case {
    const char* what;
    std::string before;
    std::string text;
    std::string after;
  };
  const Case cases[] = {
      {"line ends and 0x1A inside become blanks", "",
       "s,id1,a\rb\nc\x1a"
       "d\r\ne",
       "s,id1,a b c d  e\r\n"},
      {"a last line without its end gets one first", "s,id0", "s,id1", "s,id0\r\ns,id1\r\n"},
      {"a last LF is a line end", "s,id0\n", "s,id1", "s,id0\ns,id1\r\n"},
      {"a last CR is a line end", "s,id0\r", "s,id1", "s,id0\rs,id1\r\n"},
      {"an empty file needs nothing first", "", "s,id1", "s,id1\r\n"},
  };
  for (const Case& c : cases) {
    TempFolder folder;
    const std::string path = folder.Path(kAllDataFileName);
    if (!c.before.empty()) WriteBytes(path, c.before);
    AppendLine(path, c.text);
    EXPECT_EQ(ReadBytes(path), c.after) << c.what;
  }
}

TEST(AppendLine, EveryAppendedIdIsTakenAfterReloading) {
  // What a run appends, including a message without items (stamp and id
  // alone) and values carrying the bytes that end lines, comes back as one row
  // each with its id; an empty line, as older files may hold for such a
  // message, loads without harm.
  TempFolder folder;
  const std::string path = folder.Path(kAllDataFileName);
  WriteBytes(path, "s,id0,edited by hand");
  const std::vector<std::string> ids = {"id1", "id2", "id3", "id4"};
  AppendLine(path, "s," + ids[0] + ",broken\rvalue");
  AppendLine(path, "");
  AppendLine(path, "s," + ids[1] +
                       ",x\x1a"
                       "y");
  AppendLine(path, "s," + ids[2] + ",line\nfeed");
  AppendLine(path, "s," + ids[3]);
  DataTable table;
  CellPoint cellPos;
  LoadAllData(table, path, cellPos);
  EXPECT_EQ(cellPos.Y, 7);
  EXPECT_TRUE(table.IsUidlTaken("id0"));
  for (const std::string& id : ids) EXPECT_TRUE(table.IsUidlTaken(id)) << id;
  EXPECT_EQ(table.Cell(2, 2), "broken value");
}

}  // namespace
}  // namespace vexalo
