// A thin object layer over SQLite 3. TSQLiteDatabase is one connection that runs statements and
// transactions; TSQLiteTable runs one query and keeps its whole result in memory, read row by row
// with a cursor; ESQLiteException carries every failure, its message being the whole report.
#pragma once
#include <cstdint>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

class ESQLiteException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The text of an SQLite result code, as error reports give it.
std::string SQLiteErrorText(int code);

// Positional values for binding (?1, ?2, ...).
using SQLValue = std::variant<std::nullptr_t, int, bool, std::int64_t, double, std::string,
                              std::vector<std::uint8_t>>;

class TSQLiteTable;

// One connection; closes (and rolls back an open transaction) on destruction.
class TSQLiteDatabase {
 public:
  // Opens fileName (UTF-8), creating the file when it does not exist.
  explicit TSQLiteDatabase(const std::string& fileName);
  ~TSQLiteDatabase();
  TSQLiteDatabase(const TSQLiteDatabase&) = delete;
  TSQLiteDatabase& operator=(const TSQLiteDatabase&) = delete;

  // Runs one statement that returns no rows.
  void RunSQL(std::string_view sql, std::span<const SQLValue> values = {});
  // Runs a query; the caller owns the result.
  std::unique_ptr<TSQLiteTable> OpenTable(std::string_view sql, std::span<const SQLValue> values = {});
  // Whether a table of that name exists, compared without regard to case.
  bool HasTable(std::string_view name);

  void StartTransaction();  // "Transaction already open" when one is
  void CommitTransaction();
  void RollbackTransaction();
  bool InTransaction() const { return FInTransaction; }

 private:
  friend class TSQLiteTable;
  struct StatementDeleter {
    void operator()(sqlite3_stmt* statement) const;
  };
  struct ConnectionCloser {
    void operator()(sqlite3* handle) const;
  };
  using Statement = std::unique_ptr<sqlite3_stmt, StatementDeleter>;

  Statement Prepare(std::string_view sql, std::span<const SQLValue> values);
  void BindValues(sqlite3_stmt* statement, std::span<const SQLValue> values);
  [[noreturn]] void RaiseSQLError(std::string_view text, std::string_view sql) const;

  std::unique_ptr<sqlite3, ConnectionCloser> FDB;
  bool FInTransaction = false;
};

// Whole result in memory, read with a cursor.
class TSQLiteTable {
 public:
  TSQLiteTable(TSQLiteDatabase& db, std::string_view sql, std::span<const SQLValue> values = {});

  int RowTotal() const { return FRowCount; }
  int ColumnCount() const { return FColCount; }
  bool AtEnd() const { return FRow >= FRowCount; }
  bool FirstRow();
  bool NextRow();

  // Index of the named column, compared without regard to case.
  int ColumnOf(std::string_view name) const;
  // The current row's cell as text, whatever its type.
  std::string CellText(int col) const;
  std::string FieldText(std::string_view name) const;
  std::int64_t CellInt64(int col) const;
  double CellFloat(int col) const;
  // The blob of a BLOB column, still owned by the table; null for NULL or an empty blob.
  const std::vector<std::uint8_t>* CellStream(int col) const;
  std::string CellStreamText(int col) const;

 private:
  // Column codes: SQLite's fundamental types.
  enum TColType { ctInteger = 1, ctFloat = 2, ctText = 3, ctBlob = 4, ctNull = 5 };
  using Cell = std::variant<std::monostate, std::int64_t, double, std::string, std::vector<std::uint8_t>>;

  // The current row's cell; raises at the end and for a column that does not exist.
  const Cell& CurrentCell(int col) const;
  int ColType(int col) const;  // of a column CurrentCell has accepted

  std::vector<Cell> FResults;  // row-major
  int FRowCount = 0;
  int FColCount = 0;
  std::vector<std::string> FColNames;  // upper-cased
  std::vector<int> FColTypes;
  int FRow = 0;
};

// Commits only through Commit(); otherwise the destructor rolls back (never throws).
class TSQLiteTransaction {
 public:
  explicit TSQLiteTransaction(TSQLiteDatabase& db);
  ~TSQLiteTransaction();
  TSQLiteTransaction(const TSQLiteTransaction&) = delete;
  TSQLiteTransaction& operator=(const TSQLiteTransaction&) = delete;
  void Commit();

 private:
  TSQLiteDatabase& FDB;
  bool FCommitted = false;
};
