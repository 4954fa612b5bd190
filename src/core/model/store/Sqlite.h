#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include "core/model/store/Value.h"

struct sqlite3;
struct sqlite3_stmt;

namespace corvaline::sqlite {

// A failed SQLite call, with SQLite's code and message. A plain value: any thread.
class Error : public std::runtime_error {
  public:
    Error(int code, const std::string& message) : std::runtime_error(message), code_(code) {}
    int code() const { return code_; }

  private:
    int code_;
};

class Statement;

// One connection. Used by one thread at a time (the store's: the main thread).
class Database {
  public:
    // Opens or creates the file; throws Error.
    explicit Database(const std::filesystem::path& file);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    void execute(std::string_view sql);
    Statement prepare(std::string_view sql);
    std::int64_t scalar(std::string_view sql);

    sqlite3* handle() const { return db_; }

    // BEGIN IMMEDIATE and COMMIT, each prepared once: every save runs them.
    void begin();
    void commit();

  private:
    void runKept(std::unique_ptr<Statement>& kept, std::string_view sql);

    sqlite3* db_ = nullptr;
    std::unique_ptr<Statement> begin_;
    std::unique_ptr<Statement> commit_;
};

// A prepared statement; reset before every new use with bind. Same thread as its database.
class Statement {
  public:
    Statement(Database& database, std::string_view sql);
    ~Statement();
    Statement(Statement&& other) noexcept;
    Statement& operator=(Statement&& other) noexcept;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    // Clears earlier bindings and results; answers *this for chaining.
    Statement& reset();
    // Parameters count from 1.
    Statement& bind(int index, const Value& value);
    Statement& bind(int index, std::int64_t value);
    Statement& bindNull(int index);

    // Runs to the next row: true while there is one.
    bool step();
    // Runs a statement that answers no rows.
    void run();

    // Stepped to a row and not yet reset.
    bool busy() const;
    int columnCount() const;
    bool isNull(int column) const;
    std::int64_t integer(int column) const;
    // The column read as a value of the attribute type; NULL is no value.
    Value value(int column, AttributeType type) const;

  private:
    void check(int code) const;

    sqlite3* db_ = nullptr;
    sqlite3_stmt* statement_ = nullptr;
};

// Runs the body inside BEGIN IMMEDIATE ... COMMIT; rolls back when it throws.
class Transaction {
  public:
    explicit Transaction(Database& database);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void commit();

  private:
    Database& database_;
    bool done_ = false;
};

// Quotes a name for use in SQL text.
std::string quoted(std::string_view name);

}  // namespace corvaline::sqlite
