#include "storeerror.h"

#include <QSqlError>

StoreError::StoreError(qint32 number, const QString& description, Cause cause)
    : std::runtime_error(description.toStdString()), m_number(number), m_description(description),
      m_cause(cause) {}

StoreError StoreError::fromSqlError(const QSqlError& error, Cause cause) {
    bool numeric = false;
    qint32 number = error.nativeErrorCode().trimmed().toInt(&numeric);
    if (!numeric || number == 0)
        number = kProviderFailure;
    // Drivers spread their messages over several lines; the operator sees one.
    QString description = error.databaseText().simplified();
    if (description.isEmpty())
        description = error.driverText().simplified();
    if (description.isEmpty())
        description = QStringLiteral("Unknown database error");
    return StoreError(number, description, cause);
}

bool StoreError::isDuplicateKey() const {
    // SQLite, PostgreSQL (SQLSTATE 23505) and SQL Server (2601, 2627) each
    // say it in their own words; the native numbers alone are not unique
    // across engines.
    return m_cause == Cause::Statement &&
           (m_description.contains(QLatin1String("UNIQUE constraint failed")) ||
            m_description.contains(QLatin1String("duplicate key"), Qt::CaseInsensitive) ||
            m_description.contains(QLatin1String("23505")));
}
