#include "SQLiteTable3.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "TempDbTest.h"

namespace {

// The message of the ESQLiteException that f raises.
std::string SQLiteError(const std::function<void()>& f) {
  try {
    f();
  } catch (const ESQLiteException& e) {
    return e.what();
  }
  return "<nothing raised>";
}

class SQLiteDatabaseTest : public TempDbTest {};
class SQLiteTableTest : public TempDbTest {};

TEST_F(SQLiteTableTest, EmptyResultIsAtItsEndAtOnce) {
  TSQLiteDatabase db(DbPath());
  db.RunSQL("Create table m_bkup (target_folder Text, bkup_file Text)");
  auto table = db.OpenTable("select * from m_bkup");
  EXPECT_EQ(table->RowTotal(), 0);
  EXPECT_EQ(table->ColumnCount(), 0);
  EXPECT_TRUE(table->AtEnd());
  EXPECT_FALSE(table->FirstRow());
  EXPECT_FALSE(table->NextRow());
  EXPECT_EQ(SQLiteError([&] { table->FieldText("bkup_file"); }), "Table is at End of File");
  EXPECT_EQ(SQLiteError([&] { table->ColumnOf("bkup_file"); }), "Field bkup_file Not found. Empty dataset");
}

TEST_F(SQLiteTableTest, CursorWalksEveryRowThenStops) {
  TSQLiteDatabase db(DbPath());
  db.RunSQL("create table t (n Int)");
  for (const char* sql : {"insert into t values (1)", "insert into t values (2)", "insert into t values (3)"}) {
    db.RunSQL(sql);
  }
  auto table = db.OpenTable("select * from t");
  ASSERT_TRUE(table->FirstRow());
  std::vector<std::string> seen;
  while (!table->AtEnd()) {
    seen.push_back(table->FieldText("n"));
    table->NextRow();
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"1", "2", "3"}));
  EXPECT_FALSE(table->NextRow());
  EXPECT_EQ(SQLiteError([&] { table->CellText(0); }), "Table is at End of File");
  EXPECT_EQ(SQLiteError([&] { table->CellInt64(0); }), "Table is at End of File");
  EXPECT_EQ(SQLiteError([&] { table->CellFloat(0); }), "Table is at End of File");
  EXPECT_EQ(SQLiteError([&] { table->CellStream(0); }), "Table is at End of File");
  ASSERT_TRUE(table->FirstRow());
  EXPECT_EQ(table->FieldText("n"), "1");
}

TEST_F(SQLiteTableTest, ColumnsAreFoundWhateverTheCase) {
  TSQLiteDatabase db(DbPath());
  db.RunSQL("Create table m_bkup (target_folder Text, bkup_file Text)");
  db.RunSQL("insert into m_bkup values ('/data','/backup/work.lzh')");
  auto table = db.OpenTable("select * from m_bkup");
  ASSERT_TRUE(table->FirstRow());
  EXPECT_EQ(table->ColumnCount(), 2);
  for (const char* name : {"bkup_file", "BKUP_FILE", "Bkup_File"}) {
    EXPECT_EQ(table->ColumnOf(name), 1) << name;
    EXPECT_EQ(table->FieldText(name), "/backup/work.lzh") << name;
  }
  EXPECT_EQ(SQLiteError([&] { table->ColumnOf("bkup_date"); }), "Field not found in dataset: bkup_date");
  EXPECT_THROW(table->CellText(2), std::out_of_range);
  EXPECT_THROW(table->CellText(-1), std::out_of_range);
}

TEST_F(SQLiteDatabaseTest, HasTableIgnoresCaseAndTakesNameAsData) {
  TSQLiteDatabase db(DbPath());
  db.RunSQL("Create table m_log (target_folder Text,bkup_file Text,bkup_date Datetime)");
  db.RunSQL("create view v_log as select * from m_log");
  struct Case { const char* name; bool found; };
  const Case cases[] = {
      {"m_log", true}, {"M_LOG", true}, {"m_Log", true}, {"m_lo", false},
      {"v_log", false},  // a view is no table
      {"x' or '1'='1", false},
  };
  for (const auto& c : cases) EXPECT_EQ(db.HasTable(c.name), c.found) << c.name;
}

// Only the exact declared types INTEGER, BOOLEAN, NUMERIC, FLOAT, DOUBLE, REAL and BLOB are typed;
// every other declared type, the program's own "Int", "Time" and "Datetime" included, reads as text.
TEST_F(SQLiteTableTest, DeclaredTypesAreComparedExactly) {
  struct Case {
    const char* decl;
    const char* literal;
    const char* text;
    bool numeric;  // CellInt64 and CellFloat accept it
  };
  const Case cases[] = {
      {"Int", "0", "0", false},
      {"Int", "42", "42", false},
      {"boolean", "1", "1", false},
      {"Float", "7.5", "7.5", false},
      {"Text", "'abc'", "abc", false},
      {"Time", "'12:00:00'", "12:00:00", false},
      {"Datetime", "'2010/06/17 09:05'", "2010/06/17 09:05", false},
      {"INTEGER", "42", "42", true},
      {"INTEGER", "-9223372036854775808", "-9223372036854775808", true},
      {"BOOLEAN", "1", "1", true},
      {"REAL", "1.5", "1.5", true},
      {"NUMERIC", "2.25", "2.25", true},
      {"FLOAT", "-0.5", "-0.5", true},
      {"DOUBLE", "3", "3", true},
      {"INTEGER", "NULL", "0", true},
      {"REAL", "NULL", "0", true},
      {"Text", "NULL", "", false},
  };
  TSQLiteDatabase db(DbPath());
  int n = 0;
  for (const auto& c : cases) {
    const std::string table = "t" + std::to_string(n++);
    db.RunSQL("create table " + table + " (v " + c.decl + ")");
    db.RunSQL("insert into " + table + " values (" + c.literal + ")");
    auto result = db.OpenTable("select v from " + table);
    ASSERT_TRUE(result->FirstRow());
    EXPECT_EQ(result->CellText(0), c.text) << c.decl << " " << c.literal;
    if (c.numeric) {
      EXPECT_NO_THROW(result->CellInt64(0)) << c.decl;
    } else if (std::string(c.literal) != "NULL") {
      EXPECT_EQ(SQLiteError([&] { result->CellInt64(0); }), "Not an integer or numeric field") << c.decl;
      EXPECT_EQ(SQLiteError([&] { result->CellFloat(0); }), "Not an integer or numeric field") << c.decl;
    }
    if (std::string(c.literal) != "NULL") {
      EXPECT_EQ(SQLiteError([&] { result->CellStream(0); }), "Not a Blob field") << c.decl;
    }
  }
}

TEST_F(SQLiteTableTest, TypedReadersConvertNumbers) {
  TSQLiteDatabase db(DbPath());
  db.RunSQL("create table t (i INTEGER, r REAL)");
  db.RunSQL("insert into t values (9007199254740993, -2.7)");
  db.RunSQL("insert into t values (NULL, NULL)");
  auto table = db.OpenTable("select * from t");
  ASSERT_TRUE(table->FirstRow());
  EXPECT_EQ(table->CellInt64(0), 9007199254740993);
  EXPECT_EQ(table->CellFloat(0), 9007199254740992.0);
  EXPECT_EQ(table->CellInt64(1), -2);  // toward zero
  EXPECT_EQ(table->CellFloat(1), -2.7);
  ASSERT_TRUE(table->NextRow());
  EXPECT_EQ(table->CellInt64(0), 0);
  EXPECT_EQ(table->CellFloat(1), 0.0);
  EXPECT_EQ(table->CellStream(0), nullptr);  // NULL gives no stream, whatever the column
}

TEST_F(SQLiteTableTest, FloatsReadAsTextInTheGeneralFormat) {
  struct Case { double value; const char* text; };
  const Case cases[] = {
      {0.0, "0"},          {1.5, "1.5"},
      {0.1, "0.1"},        {100.0, "100"},
      {-2.5, "-2.5"},      {1.0 / 3.0, "0.333333333333333"},
      {2.0 / 3.0, "0.666666666666667"},
      {123456789012345.0, "123456789012345"},
      {1e15, "1E15"},      {1.25e20, "1.25E20"},
      {0.00001, "0.00001"}, {0.000001, "1E-6"},
      {2.5e-10, "2.5E-10"},
  };
  TSQLiteDatabase db(DbPath());
  db.RunSQL("create table t (r REAL)");
  for (const auto& c : cases) {
    const SQLValue values[] = {c.value};
    db.RunSQL("insert into t values (?1)", values);
  }
  auto table = db.OpenTable("select * from t");
  ASSERT_TRUE(table->FirstRow());
  for (const auto& c : cases) {
    ASSERT_FALSE(table->AtEnd());
    EXPECT_EQ(table->CellText(0), c.text) << c.value;
    table->NextRow();
  }
}

TEST_F(SQLiteTableTest, BlobsReadAsStreams) {
  TSQLiteDatabase db(DbPath());
  db.RunSQL("create table t (b BLOB)");
  db.RunSQL("insert into t values (x'00414200')");
  db.RunSQL("insert into t values (x'')");
  db.RunSQL("insert into t values (NULL)");
  auto table = db.OpenTable("select * from t");
  ASSERT_TRUE(table->FirstRow());
  ASSERT_NE(table->CellStream(0), nullptr);
  EXPECT_EQ(*table->CellStream(0), (std::vector<std::uint8_t>{0, 'A', 'B', 0}));
  EXPECT_EQ(table->CellText(0), std::string("\0AB\0", 4));  // whole size, zero bytes included
  EXPECT_EQ(SQLiteError([&] { table->CellInt64(0); }), "Not an integer or numeric field");
  for (int row = 1; row < 3; ++row) {  // empty and NULL blobs: no stream, empty text
    ASSERT_TRUE(table->NextRow());
    EXPECT_EQ(table->CellStream(0), nullptr) << row;
    EXPECT_EQ(table->CellText(0), "") << row;
  }
}

TEST_F(SQLiteTableTest, ExpressionColumnsTakeTheirFirstValuesType) {
  TSQLiteDatabase db(DbPath());
  db.RunSQL("create table t (n Int)");
  db.RunSQL("insert into t values (1)");
  db.RunSQL("insert into t values (2)");
  auto doubled = db.OpenTable("select n * 2 from t");
  ASSERT_TRUE(doubled->FirstRow());
  EXPECT_EQ(doubled->CellInt64(0), 2);
  // A leading NULL types nothing: later values still read back.
  auto table = db.OpenTable("select nullif(n, 1) as m from t");
  ASSERT_TRUE(table->FirstRow());
  EXPECT_EQ(table->FieldText("M"), "");
  ASSERT_TRUE(table->NextRow());
  EXPECT_EQ(table->FieldText("m"), "2");
}

TEST_F(SQLiteTableTest, TextIsCopiedByteForByte) {
  TSQLiteDatabase db(DbPath());
  db.RunSQL("create table t (s Text)");
  const std::string texts[] = {"/ホーム/データ/作業.lzh", "it's", "say \"hi\"", std::string("\xff\xfe", 2)};
  for (const auto& text : texts) {
    const SQLValue values[] = {text};
    db.RunSQL("insert into t values (?1)", values);
  }
  auto table = db.OpenTable("select s from t");
  ASSERT_TRUE(table->FirstRow());
  for (const auto& text : texts) {
    EXPECT_EQ(table->CellText(0), text);
    table->NextRow();
  }
}

TEST_F(SQLiteDatabaseTest, FailuresGiveTheThreeLineReport) {
  TSQLiteDatabase db(DbPath());
  db.RunSQL("create table u (a INTEGER UNIQUE)");
  db.RunSQL("insert into u values (1)");
  struct Case { const char* sql; bool query; const char* message; };
  const Case cases[] = {
      {"selec * from m_log", false,
       "Error executing SQL.\rError [1]: SQL error or missing database.\r\"selec * from m_log\": near \"selec\": syntax error"},
      {"select * from nothere", true,
       "Error executing SQL.\rError [1]: SQL error or missing database.\r\"select * from nothere\": no such table: nothere"},
      {"insert into m_bkup values ('it's','x')", false,
       "Error executing SQL.\rError [1]: SQL error or missing database.\r\"insert into m_bkup values ('it's','x')\": "
       "near \"s\": syntax error"},
      {"insert into u values (1)", false,
       "Error executing SQL statement.\rError [19]: Abort due to contraint violation.\r\"insert into u values (1)\": "
       "UNIQUE constraint failed: u.a"},
      {"select abs(-9223372036854775808)", true,
       "Could not retrieve data.\rError [1]: SQL error or missing database.\r\"select abs(-9223372036854775808)\": "
       "integer overflow"},
      {"", false, "Could not prepare SQL statement"},
      {"  -- nothing", true, "Could not prepare SQL statement"},
  };
  for (const auto& c : cases) {
    if (c.query) {
      EXPECT_EQ(SQLiteError([&] { db.OpenTable(c.sql); }), c.message) << c.sql;
    } else {
      EXPECT_EQ(SQLiteError([&] { db.RunSQL(c.sql); }), c.message) << c.sql;
    }
  }
}

TEST(SQLiteErrorText, NamesKnownCodesAndQuotesUnknownOnes) {
  struct Case { int code; const char* text; };
  const Case cases[] = {
      {0, "Successful result"},
      {5, "The database file is locked"},
      {19, "Abort due to contraint violation"},
      {26, "File opened that is not a database file"},
      {100, "sqlite3_step() has another row ready"},
      {101, "sqlite3_step() has finished executing"},
      {27, "Unknown SQLite Error Code \"27\""},
      {-1, "Unknown SQLite Error Code \"-1\""},
  };
  for (const auto& c : cases) EXPECT_EQ(SQLiteErrorText(c.code), c.text) << c.code;
}

TEST_F(SQLiteDatabaseTest, OpenFailureNamesTheFile) {
  const std::string path = DbPath("no/such/folder/backup.db");
  EXPECT_EQ(SQLiteError([&] { TSQLiteDatabase db(path); }),
            "Failed to open database \"" + path + "\" : unable to open database file");
}

TEST_F(SQLiteDatabaseTest, LockedDatabaseFailsAtOnce) {
  TSQLiteDatabase db(DbPath());
  db.RunSQL("create table t (n Int)");
  TSQLiteDatabase other(DbPath());
  other.StartTransaction();
  other.RunSQL("insert into t values (1)");  // holds the write lock

  EXPECT_EQ(SQLiteError([&] { db.RunSQL("insert into t values (2)"); }),
            "Error executing SQL statement.\rError [5]: The database file is locked.\r\"insert into t values (2)\": "
            "database is locked");
  other.CommitTransaction();
  other.RunSQL("BEGIN EXCLUSIVE");  // now not even readers get in
  EXPECT_EQ(SQLiteError([&] { db.OpenTable("select * from t"); }), "Could not prepare SQL statement");
  other.RunSQL("ROLLBACK");
  EXPECT_EQ(db.OpenTable("select * from t")->RowTotal(), 1);
}

TEST_F(SQLiteDatabaseTest, FailedQueryHoldsNoLock) {
  TSQLiteDatabase db(DbPath());
  db.RunSQL("create table t (n INTEGER)");
  db.RunSQL("insert into t values (1)");
  db.RunSQL("insert into t values (-9223372036854775808)");
  EXPECT_NE(SQLiteError([&] { db.OpenTable("select abs(n) from t"); }), "<nothing raised>");
  // Had the failed statement been left open, its read lock would block this writer.
  TSQLiteDatabase other(DbPath());
  EXPECT_NO_THROW(other.RunSQL("insert into t values (3)"));
}

TEST_F(SQLiteDatabaseTest, TransactionsDoNotNest) {
  TSQLiteDatabase db(DbPath());
  EXPECT_FALSE(db.InTransaction());
  db.StartTransaction();
  EXPECT_TRUE(db.InTransaction());
  EXPECT_EQ(SQLiteError([&] { db.StartTransaction(); }), "Transaction already open");
  EXPECT_TRUE(db.InTransaction());
  db.CommitTransaction();
  EXPECT_FALSE(db.InTransaction());
  db.StartTransaction();
  db.RollbackTransaction();
  EXPECT_FALSE(db.InTransaction());
}

TEST_F(SQLiteDatabaseTest, FailedCommitKeepsTheTransactionOpen) {
  TSQLiteDatabase db(DbPath());
  db.RunSQL("create table t (n Int)");
  TSQLiteDatabase reader(DbPath());
  db.StartTransaction();
  db.RunSQL("insert into t values (1)");
  reader.RunSQL("BEGIN");
  reader.OpenTable("select * from t");  // a shared lock, held by the open read transaction
  EXPECT_NE(SQLiteError([&] { db.CommitTransaction(); }), "<nothing raised>");
  EXPECT_TRUE(db.InTransaction());
  reader.RunSQL("COMMIT");
  db.CommitTransaction();
  EXPECT_FALSE(db.InTransaction());
}

TEST_F(SQLiteDatabaseTest, UncommittedWorkIsRolledBack) {
  {
    TSQLiteDatabase db(DbPath());
    db.RunSQL("create table t (n Int)");
    {
      TSQLiteTransaction tx(db);
      db.RunSQL("insert into t values (1)");
      tx.Commit();
    }
    EXPECT_FALSE(db.InTransaction());
    try {
      TSQLiteTransaction tx(db);
      db.RunSQL("insert into t values (2)");
      db.RunSQL("insert into nothere values (3)");
      tx.Commit();
    } catch (const ESQLiteException&) {
    }
    EXPECT_FALSE(db.InTransaction());
    db.StartTransaction();
    db.RunSQL("insert into t values (4)");  // left open: the connection's close rolls it back
  }
  TSQLiteDatabase db(DbPath());
  EXPECT_EQ(Scalar(db, "select group_concat(n) from t"), "1");
}

TEST_F(SQLiteDatabaseTest, BindsEveryValueKind) {
  TSQLiteDatabase db(DbPath());
  db.RunSQL("create table t (v)");
  struct Case { SQLValue value; const char* type; const char* text; };
  const Case cases[] = {
      {nullptr, "null", ""},
      {42, "integer", "42"},
      {true, "integer", "1"},
      {std::int64_t{-9223372036854775807 - 1}, "integer", "-9223372036854775808"},
      {2.5, "real", "2.5"},
      {std::string("o'brien \"x\" 日本語"), "text", "o'brien \"x\" 日本語"},
      {std::vector<std::uint8_t>{0x41, 0x00, 0x42}, "blob", "410042"},
      {std::vector<std::uint8_t>{}, "blob", ""},
  };
  for (const auto& c : cases) {
    db.RunSQL("delete from t");
    const SQLValue values[] = {c.value};
    db.RunSQL("insert into t values (?1)", values);
    auto table = db.OpenTable("select typeof(v) as type, coalesce(hex(v), '') as hex, v from t");
    ASSERT_TRUE(table->FirstRow());
    EXPECT_EQ(table->FieldText("type"), c.type) << c.type;
    if (std::string(c.type) == "blob") {
      EXPECT_EQ(table->FieldText("hex"), c.text);
    } else {
      EXPECT_EQ(table->FieldText("v"), c.text);
    }
  }
  const SQLValue values[] = {std::string("a"), 7};
  auto table = db.OpenTable("select ?2, ?1", values);
  ASSERT_TRUE(table->FirstRow());
  EXPECT_EQ(table->CellText(0), "7");
  EXPECT_EQ(table->CellText(1), "a");
}

TEST_F(SQLiteDatabaseTest, BindFailuresNameTheKind) {
  TSQLiteDatabase db(DbPath());
  db.RunSQL("create table t (v)");
  struct Case { SQLValue value; const char* what; };
  const Case cases[] = {
      {nullptr, "null"},  {1, "integer"},
      {false, "boolean"}, {std::int64_t{1}, "int64"},
      {1.0, "extended"},  {std::string("x"), "text"},
      {std::vector<std::uint8_t>{1}, "BLOB"},
  };
  for (const auto& c : cases) {
    const SQLValue values[] = {1, c.value};  // one value more than the statement takes
    EXPECT_EQ(SQLiteError([&] { db.RunSQL("insert into t values (?1)", values); }),
              std::string("Could not bind ") + c.what +
                  ".\rError [25]: 2nd parameter to sqlite3_bind out of range.\r\"BindData\": column index out of range");
  }
  EXPECT_EQ(db.OpenTable("select * from t")->RowTotal(), 0);
}

}  // namespace
