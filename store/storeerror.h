#pragma once

#include <QString>

#include <stdexcept>

class QSqlError;

// A failure of the record store, carried to the caller as a number and a
// description (the shape of LastErrorNumber and LastErrorText).
//
// Numbers: the native error code that the database reports when it is a
// non-zero number (SQLite result codes, ODBC native errors such as SQL
// Server's 18456 or psqlODBC's 101); otherwise kProviderFailure, the generic
// failure number an OLE DB provider reports (E_FAIL), so that connection
// failures without a native code still stop the run with a negative number.
class StoreError : public std::runtime_error {
public:
    // Where a failure came from, which decides whether trying again can help.
    enum class Cause {
        Data,       // a value the store refuses before any statement runs
        Statement,  // the database answered a statement with an error
        Connection, // no connection could be opened
        Ledger,     // the gateway's own ledger of recorded files refused a statement:
                    // a fault of its bookkeeping, to be mended, never a refused booking
    };

    static constexpr qint32 kProviderFailure = -2147467259; // 0x80004005
    static constexpr qint32 kTypeMismatch = 13;             // a value the column cannot take
    static constexpr qint32 kOverflow = 6;                  // a number too large for its type

    StoreError(qint32 number, const QString& description, Cause cause = Cause::Data);
    static StoreError fromSqlError(const QSqlError& error, Cause cause = Cause::Statement);

    qint32 number() const { return m_number; }
    QString description() const { return m_description; }
    Cause cause() const { return m_cause; }
    // Whether the database refused a row because its unique key is taken
    // (another version already holds that RECLOC and SER_NO).
    bool isDuplicateKey() const;

private:
    qint32 m_number;
    QString m_description;
    Cause m_cause;
};
