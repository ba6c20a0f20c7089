#include "dbengine.h"

DbEngine engineForOdbcDriver(const QString& driverName) {
    const QString name = driverName.trimmed();
    if (name.contains(QLatin1String("postgres"), Qt::CaseInsensitive) ||
        name.contains(QLatin1String("psqlodbc"), Qt::CaseInsensitive))
        return DbEngine::PostgreSql;
    return DbEngine::SqlServer;
}
