#include "SQLiteTable3.h"

#include <sqlite3.h>

#include <charconv>
#include <cmath>
#include <string>
#include <type_traits>

namespace {

// ASCII case folding, as SQLite's own lower() and the column-name lookup do it.
std::string AsciiUpper(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

std::string AsciiLower(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

// The general number format: up to 15 significant digits, fixed-point while the value has at
// most 15 integer digits and is not below 0.00001, else d.dddE[-]x. Always "." as the decimal
// point, whatever the process locale says.
std::string FloatText(double v) {
  if (std::isnan(v)) return "NAN";
  if (std::isinf(v)) return v < 0 ? "-INF" : "INF";
  if (v == 0) return "0";
  char buf[40];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, 14);
  std::string_view s(buf, static_cast<std::size_t>(end - buf));  // [-]d.dddddddddddddde[+-]xx
  std::string out;
  if (s.front() == '-') {
    out += '-';
    s.remove_prefix(1);
  }
  const auto e = s.find('e');
  std::string digits(1, s[0]);
  digits += s.substr(2, e - 2);
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  std::string_view expText = s.substr(e + 1);
  if (expText.front() == '+') expText.remove_prefix(1);
  int exp = 0;
  std::from_chars(expText.data(), expText.data() + expText.size(), exp);

  if (exp >= -5 && exp < 15) {
    if (exp < 0) {
      out += "0.";
      out.append(static_cast<std::size_t>(-exp - 1), '0');
      out += digits;
    } else if (digits.size() <= static_cast<std::size_t>(exp) + 1) {
      out += digits;
      out.append(static_cast<std::size_t>(exp) + 1 - digits.size(), '0');
    } else {
      out += digits.substr(0, static_cast<std::size_t>(exp) + 1);
      out += '.';
      out += digits.substr(static_cast<std::size_t>(exp) + 1);
    }
  } else {
    out += digits[0];
    if (digits.size() > 1) {
      out += '.';
      out += digits.substr(1);
    }
    out += 'E';
    out += std::to_string(exp);
  }
  return out;
}

}  // namespace

std::string SQLiteErrorText(int code) {
  switch (code) {
    case 0: return "Successful result";
    case 1: return "SQL error or missing database";
    case 2: return "An internal logic error in SQLite";
    case 3: return "Access permission denied";
    case 4: return "Callback routine requested an abort";
    case 5: return "The database file is locked";
    case 6: return "A table in the database is locked";
    case 7: return "A malloc() failed";
    case 8: return "Attempt to write a readonly database";
    case 9: return "Operation terminated by sqlite3_interrupt()";
    case 10: return "Some kind of disk I/O error occurred";
    case 11: return "The database disk image is malformed";
    case 12: return "(Internal Only) Table or record not found";
    case 13: return "Insertion failed because database is full";
    case 14: return "Unable to open the database file";
    case 15: return "Database lock protocol error";
    case 16: return "Database is empty";
    case 17: return "The database schema changed";
    case 18: return "Too much data for one row of a table";
    case 19: return "Abort due to contraint violation";
    case 20: return "Data type mismatch";
    case 21: return "Library used incorrectly";
    case 22: return "Uses OS features not supported on host";
    case 23: return "Authorization denied";
    case 24: return "Auxiliary database format error";
    case 25: return "2nd parameter to sqlite3_bind out of range";
    case 26: return "File opened that is not a database file";
    case 100: return "sqlite3_step() has another row ready";
    case 101: return "sqlite3_step() has finished executing";
    default: return "Unknown SQLite Error Code \"" + std::to_string(code) + "\"";
  }
}

// ---------------------------------------------------------------------------------------------
// TSQLiteDatabase

void TSQLiteDatabase::StatementDeleter::operator()(sqlite3_stmt* statement) const {
  sqlite3_finalize(statement);
}

void TSQLiteDatabase::ConnectionCloser::operator()(sqlite3* handle) const { sqlite3_close_v2(handle); }

TSQLiteDatabase::TSQLiteDatabase(const std::string& fileName) {
  sqlite3* handle = nullptr;
  const int rc = sqlite3_open(fileName.c_str(), &handle);
  FDB.reset(handle);
  if (rc != SQLITE_OK) {
    if (!FDB) throw ESQLiteException("Failed to open database \"" + fileName + "\" : unknown error");
    throw ESQLiteException("Failed to open database \"" + fileName + "\" : " + sqlite3_errmsg(FDB.get()));
  }
}

TSQLiteDatabase::~TSQLiteDatabase() {
  if (FInTransaction) {
    try {
      RollbackTransaction();
    } catch (...) {
      // Closing the connection rolls back what is still open.
    }
  }
}

void TSQLiteDatabase::RaiseSQLError(std::string_view text, std::string_view sql) const {
  const int code = sqlite3_errcode(FDB.get());
  const char* message = sqlite3_errmsg(FDB.get());
  if (code == 0 || message == nullptr || *message == '\0') throw ESQLiteException(std::string(text));
  std::string report(text);
  report += ".\rError [" + std::to_string(code) + "]: " + SQLiteErrorText(code) + ".\r\"";
  report += sql;
  report += "\": ";
  report += message;
  throw ESQLiteException(report);
}

TSQLiteDatabase::Statement TSQLiteDatabase::Prepare(std::string_view sql, std::span<const SQLValue> values) {
  sqlite3_stmt* raw = nullptr;
  const char* text = sql.data() != nullptr ? sql.data() : "";
  const int rc = sqlite3_prepare_v2(FDB.get(), text, static_cast<int>(sql.size()), &raw, nullptr);
  Statement statement(raw);
  if (rc != SQLITE_OK) RaiseSQLError("Error executing SQL", sql);
  if (!statement) RaiseSQLError("Could not prepare SQL statement", sql);
  BindValues(statement.get(), values);
  return statement;
}

void TSQLiteDatabase::BindValues(sqlite3_stmt* statement, std::span<const SQLValue> values) {
  for (std::size_t i = 0; i < values.size(); ++i) {
    const int pos = static_cast<int>(i) + 1;
    int rc = SQLITE_OK;
    const char* failure = "";
    std::visit(
        [&](const auto& value) {
          using T = std::decay_t<decltype(value)>;
          if constexpr (std::is_same_v<T, std::nullptr_t>) {
            rc = sqlite3_bind_null(statement, pos);
            failure = "Could not bind null";
          } else if constexpr (std::is_same_v<T, bool>) {
            rc = sqlite3_bind_int(statement, pos, value ? 1 : 0);
            failure = "Could not bind boolean";
          } else if constexpr (std::is_same_v<T, int>) {
            rc = sqlite3_bind_int(statement, pos, value);
            failure = "Could not bind integer";
          } else if constexpr (std::is_same_v<T, std::int64_t>) {
            rc = sqlite3_bind_int64(statement, pos, value);
            failure = "Could not bind int64";
          } else if constexpr (std::is_same_v<T, double>) {
            rc = sqlite3_bind_double(statement, pos, value);
            failure = "Could not bind extended";
          } else if constexpr (std::is_same_v<T, std::string>) {
            rc = sqlite3_bind_text64(statement, pos, value.data(), value.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
            failure = "Could not bind text";
          } else {
            // A zero-length blob still needs a non-null pointer, or it would be bound as NULL.
            static const std::uint8_t none = 0;
            rc = sqlite3_bind_blob64(statement, pos, value.empty() ? &none : value.data(), value.size(),
                                     SQLITE_TRANSIENT);
            failure = "Could not bind BLOB";
          }
        },
        values[i]);
    if (rc != SQLITE_OK) RaiseSQLError(failure, "BindData");
  }
}

void TSQLiteDatabase::RunSQL(std::string_view sql, std::span<const SQLValue> values) {
  Statement statement = Prepare(sql, values);
  if (sqlite3_step(statement.get()) != SQLITE_DONE) {
    sqlite3_reset(statement.get());
    RaiseSQLError("Error executing SQL statement", sql);
  }
}

std::unique_ptr<TSQLiteTable> TSQLiteDatabase::OpenTable(std::string_view sql, std::span<const SQLValue> values) {
  return std::make_unique<TSQLiteTable>(*this, sql, values);
}

bool TSQLiteDatabase::HasTable(std::string_view name) {
  const SQLValue lowered[] = {AsciiLower(name)};
  return OpenTable("select [sql] from sqlite_master where [type] = 'table' and lower(name) = ?1", lowered)
             ->RowTotal() > 0;
}

void TSQLiteDatabase::StartTransaction() {
  if (FInTransaction) throw ESQLiteException("Transaction already open");
  RunSQL("BEGIN TRANSACTION");
  FInTransaction = true;
}

void TSQLiteDatabase::CommitTransaction() {
  RunSQL("COMMIT");
  FInTransaction = false;
}

void TSQLiteDatabase::RollbackTransaction() {
  RunSQL("ROLLBACK");
  FInTransaction = false;
}

// ---------------------------------------------------------------------------------------------
// TSQLiteTable

TSQLiteTable::TSQLiteTable(TSQLiteDatabase& db, std::string_view sql, std::span<const SQLValue> values) {
  TSQLiteDatabase::Statement statement = db.Prepare(sql, values);
  sqlite3_stmt* st = statement.get();
  for (;;) {
    const int rc = sqlite3_step(st);
    if (rc == SQLITE_DONE) break;
    if (rc == SQLITE_BUSY) throw ESQLiteException("Could not prepare SQL statement");
    if (rc != SQLITE_ROW) {
      sqlite3_reset(st);
      db.RaiseSQLError("Could not retrieve data", sql);
    }
    if (FRowCount == 0) {
      FColCount = sqlite3_column_count(st);
      for (int c = 0; c < FColCount; ++c) {
        const char* name = sqlite3_column_name(st, c);
        FColNames.push_back(AsciiUpper(name != nullptr ? name : ""));
        const char* declared = sqlite3_column_decltype(st, c);
        const std::string_view decl = declared != nullptr ? declared : "";
        int type = ctText;
        if (decl == "INTEGER" || decl == "BOOLEAN") {
          type = ctInteger;
        } else if (decl == "NUMERIC" || decl == "FLOAT" || decl == "DOUBLE" || decl == "REAL") {
          type = ctFloat;
        } else if (decl == "BLOB") {
          type = ctBlob;
        } else if (declared == nullptr) {
          // An expression column takes its first value's type; a NULL there says nothing, and
          // typing the column as NULL would read every later value as empty, so it reads as text.
          type = sqlite3_column_type(st, c);
          if (type == ctNull) type = ctText;
        }
        FColTypes.push_back(type);
      }
    }
    ++FRowCount;
    for (int c = 0; c < FColCount; ++c) {
      if (sqlite3_column_type(st, c) == SQLITE_NULL) {
        FResults.emplace_back();
        continue;
      }
      switch (FColTypes[static_cast<std::size_t>(c)]) {
        case ctInteger:
          FResults.emplace_back(static_cast<std::int64_t>(sqlite3_column_int64(st, c)));
          break;
        case ctFloat:
          FResults.emplace_back(sqlite3_column_double(st, c));
          break;
        case ctBlob: {
          const auto* bytes = static_cast<const std::uint8_t*>(sqlite3_column_blob(st, c));
          const int size = sqlite3_column_bytes(st, c);
          if (bytes == nullptr || size == 0) {
            FResults.emplace_back();
          } else {
            FResults.emplace_back(std::vector<std::uint8_t>(bytes, bytes + size));
          }
          break;
        }
        default: {
          // Byte for byte up to the first zero byte.
          const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st, c));
          FResults.emplace_back(std::string(text != nullptr ? text : ""));
          break;
        }
      }
    }
  }
  FRow = 0;
}

bool TSQLiteTable::FirstRow() {
  if (FRowCount == 0) return false;
  FRow = 0;
  return true;
}

bool TSQLiteTable::NextRow() {
  if (AtEnd()) return false;
  ++FRow;
  return true;
}

int TSQLiteTable::ColumnOf(std::string_view name) const {
  if (FColNames.empty()) throw ESQLiteException("Field " + std::string(name) + " Not found. Empty dataset");
  const std::string upper = AsciiUpper(name);
  for (std::size_t i = 0; i < FColNames.size(); ++i) {
    if (FColNames[i] == upper) return static_cast<int>(i);
  }
  throw ESQLiteException("Field not found in dataset: " + std::string(name));
}

const TSQLiteTable::Cell& TSQLiteTable::CurrentCell(int col) const {
  if (AtEnd()) throw ESQLiteException("Table is at End of File");
  if (col < 0 || col >= FColCount) throw std::out_of_range("TSQLiteTable: column index out of range");
  return FResults[static_cast<std::size_t>(FRow) * static_cast<std::size_t>(FColCount) +
                  static_cast<std::size_t>(col)];
}

int TSQLiteTable::ColType(int col) const { return FColTypes[static_cast<std::size_t>(col)]; }

std::string TSQLiteTable::CellText(int col) const {
  const Cell& cell = CurrentCell(col);
  switch (ColType(col)) {
    case ctInteger: return std::to_string(CellInt64(col));
    case ctFloat: return FloatText(CellFloat(col));
    case ctBlob: return CellStreamText(col);
    default: {
      const auto* text = std::get_if<std::string>(&cell);
      return text != nullptr ? *text : std::string();
    }
  }
}

std::string TSQLiteTable::FieldText(std::string_view name) const {
  // Past the last row (an empty result included) the cursor's state is what went wrong, not the name.
  if (AtEnd()) throw ESQLiteException("Table is at End of File");
  return CellText(ColumnOf(name));
}

std::int64_t TSQLiteTable::CellInt64(int col) const {
  const Cell& cell = CurrentCell(col);
  if (std::holds_alternative<std::monostate>(cell)) return 0;
  switch (ColType(col)) {
    case ctInteger: return std::get<std::int64_t>(cell);
    case ctFloat: return static_cast<std::int64_t>(std::trunc(std::get<double>(cell)));
    default: throw ESQLiteException("Not an integer or numeric field");
  }
}

double TSQLiteTable::CellFloat(int col) const {
  const Cell& cell = CurrentCell(col);
  if (std::holds_alternative<std::monostate>(cell)) return 0;
  switch (ColType(col)) {
    case ctInteger: return static_cast<double>(std::get<std::int64_t>(cell));
    case ctFloat: return std::get<double>(cell);
    default: throw ESQLiteException("Not an integer or numeric field");
  }
}

const std::vector<std::uint8_t>* TSQLiteTable::CellStream(int col) const {
  const Cell& cell = CurrentCell(col);
  if (std::holds_alternative<std::monostate>(cell)) return nullptr;
  if (ColType(col) != ctBlob) throw ESQLiteException("Not a Blob field");
  return &std::get<std::vector<std::uint8_t>>(cell);
}

std::string TSQLiteTable::CellStreamText(int col) const {
  const std::vector<std::uint8_t>* stream = CellStream(col);
  if (stream == nullptr) return {};
  return {stream->begin(), stream->end()};
}

// ---------------------------------------------------------------------------------------------
// TSQLiteTransaction

TSQLiteTransaction::TSQLiteTransaction(TSQLiteDatabase& db) : FDB(db) { FDB.StartTransaction(); }

void TSQLiteTransaction::Commit() {
  FDB.CommitTransaction();
  FCommitted = true;
}

TSQLiteTransaction::~TSQLiteTransaction() {
  if (FCommitted || !FDB.InTransaction()) return;
  try {
    FDB.RollbackTransaction();
  } catch (...) {
    // The connection's own close rolls back whatever is still open.
  }
}
