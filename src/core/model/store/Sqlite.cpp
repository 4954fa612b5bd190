#include "core/model/store/Sqlite.h"

#include <sqlite3.h>

#include <utility>

namespace corvaline::sqlite {

namespace {

[[noreturn]] void fail(sqlite3* db, int code) {
    throw Error(code, db ? sqlite3_errmsg(db) : sqlite3_errstr(code));
}

}  // namespace

Database::Database(const std::filesystem::path& file) {
    const int code = sqlite3_open_v2(
        file.c_str(), &db_,
        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_EXRESCODE,
        nullptr);
    if (code != SQLITE_OK) {
        const std::string message = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(code);
        sqlite3_close(db_);
        db_ = nullptr;
        throw Error(code, message + " (" + file.string() + ")");
    }
}

Database::~Database() {
    begin_.reset();
    commit_.reset();
    sqlite3_close_v2(db_);
}

void Database::begin() {
    runKept(begin_, "BEGIN IMMEDIATE");
}

void Database::commit() {
    runKept(commit_, "COMMIT");
}

void Database::runKept(std::unique_ptr<Statement>& kept, std::string_view sql) {
    if (!kept) {
        kept = std::make_unique<Statement>(*this, sql);
    }
    kept->reset();
    try {
        kept->run();
    } catch (const Error&) {
        kept->reset();  // a failed COMMIT must not stay pending in front of the ROLLBACK
        throw;
    }
}

void Database::execute(std::string_view sql) {
    char* message = nullptr;
    const int code = sqlite3_exec(db_, std::string(sql).c_str(), nullptr, nullptr, &message);
    if (code != SQLITE_OK) {
        std::string text = message ? message : sqlite3_errstr(code);
        sqlite3_free(message);
        throw Error(code, text);
    }
}

Statement Database::prepare(std::string_view sql) {
    return Statement(*this, sql);
}

std::int64_t Database::scalar(std::string_view sql) {
    Statement statement(*this, sql);
    return statement.step() ? statement.integer(0) : 0;
}

Statement::Statement(Database& database, std::string_view sql) : db_(database.handle()) {
    const int code = sqlite3_prepare_v3(db_, sql.data(), static_cast<int>(sql.size()),
                                        SQLITE_PREPARE_PERSISTENT, &statement_, nullptr);
    if (code != SQLITE_OK) {
        fail(db_, code);
    }
}

Statement::~Statement() {
    sqlite3_finalize(statement_);
}

Statement::Statement(Statement&& other) noexcept
    : db_(other.db_), statement_(std::exchange(other.statement_, nullptr)) {}

Statement& Statement::operator=(Statement&& other) noexcept {
    if (this != &other) {
        sqlite3_finalize(statement_);
        db_ = other.db_;
        statement_ = std::exchange(other.statement_, nullptr);
    }
    return *this;
}

Statement& Statement::reset() {
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
    return *this;
}

Statement& Statement::bind(int index, const Value& value) {
    int code = SQLITE_OK;
    if (const auto* flag = std::get_if<bool>(&value)) {
        code = sqlite3_bind_int64(statement_, index, *flag ? 1 : 0);
    } else if (const auto* number = std::get_if<std::int64_t>(&value)) {
        code = sqlite3_bind_int64(statement_, index, *number);
    } else if (const auto* real = std::get_if<double>(&value)) {
        code = sqlite3_bind_double(statement_, index, *real);
    } else if (const auto* text = std::get_if<std::string>(&value)) {
        code = sqlite3_bind_text64(statement_, index, text->data(), text->size(), SQLITE_TRANSIENT,
                                   SQLITE_UTF8);
    } else if (const auto* date = std::get_if<Date>(&value)) {
        code = sqlite3_bind_double(statement_, index, secondsSince1970(*date));
    } else if (const auto* data = std::get_if<std::vector<std::uint8_t>>(&value)) {
        // An empty blob must stay a blob, not turn into NULL.
        code = data->empty() ? sqlite3_bind_zeroblob(statement_, index, 0)
                             : sqlite3_bind_blob64(statement_, index, data->data(), data->size(),
                                                   SQLITE_TRANSIENT);
    } else {
        code = sqlite3_bind_null(statement_, index);
    }
    check(code);
    return *this;
}

Statement& Statement::bind(int index, std::int64_t value) {
    check(sqlite3_bind_int64(statement_, index, value));
    return *this;
}

Statement& Statement::bindNull(int index) {
    check(sqlite3_bind_null(statement_, index));
    return *this;
}

bool Statement::step() {
    const int code = sqlite3_step(statement_);
    if (code == SQLITE_ROW) {
        return true;
    }
    if (code == SQLITE_DONE) {
        return false;
    }
    fail(db_, code);
}

void Statement::run() {
    while (step()) {
    }
}

bool Statement::busy() const {
    return sqlite3_stmt_busy(statement_) != 0;
}

int Statement::columnCount() const {
    return sqlite3_column_count(statement_);
}

bool Statement::isNull(int column) const {
    return sqlite3_column_type(statement_, column) == SQLITE_NULL;
}

std::int64_t Statement::integer(int column) const {
    return sqlite3_column_int64(statement_, column);
}

Value Statement::value(int column, AttributeType type) const {
    if (isNull(column)) {
        return {};
    }
    switch (type) {
        case AttributeType::Boolean:
            return sqlite3_column_int64(statement_, column) != 0;
        case AttributeType::Integer64:
            return static_cast<std::int64_t>(sqlite3_column_int64(statement_, column));
        case AttributeType::Double:
            return sqlite3_column_double(statement_, column);
        case AttributeType::Text: {
            const auto* text = sqlite3_column_text(statement_, column);
            return std::string(reinterpret_cast<const char*>(text),
                               static_cast<std::size_t>(sqlite3_column_bytes(statement_, column)));
        }
        case AttributeType::Date:
            return dateFromSecondsSince1970(sqlite3_column_double(statement_, column));
        case AttributeType::Data: {
            const auto* bytes =
                static_cast<const std::uint8_t*>(sqlite3_column_blob(statement_, column));
            const auto size = static_cast<std::size_t>(sqlite3_column_bytes(statement_, column));
            return std::vector<std::uint8_t>(bytes, bytes + size);
        }
    }
    return {};
}

void Statement::check(int code) const {
    if (code != SQLITE_OK) {
        fail(db_, code);
    }
}

Transaction::Transaction(Database& database) : database_(database) {
    database_.begin();
}

Transaction::~Transaction() {
    if (!done_) {
        try {
            database_.execute("ROLLBACK");
        } catch (const Error&) {
            // SQLite may have rolled back by itself already (for example after SQLITE_FULL).
        }
    }
}

void Transaction::commit() {
    database_.commit();
    done_ = true;
}

std::string quoted(std::string_view name) {
    std::string text = "\"";
    for (char c : name) {
        text += c;
        if (c == '"') {
            text += '"';
        }
    }
    return text + "\"";
}

}  // namespace corvaline::sqlite
