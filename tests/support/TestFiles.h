#pragma once

#include <QByteArray>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariantList>

namespace palvuro {

// Files as another program sees them: bytes read and written whole, and SQL run on a database
// file by a connection of its own.
struct TestFiles {
    static QByteArray read(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }
    static bool write(const QString& path, const QByteArray& bytes) {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    }

    // SQL on FILE, values bound in order.
    static QSqlQuery sql(const QString& file, const QString& statement, const QVariantList& values = {}) {
        const QString name = QStringLiteral("raw");
        QSqlDatabase db = QSqlDatabase::contains(name)
                              ? QSqlDatabase::database(name, false)
                              : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.close(); // the file differs from call to call
        db.setDatabaseName(file);
        QSqlQuery query(db.open() ? db : QSqlDatabase());
        query.prepare(statement);
        for (const QVariant& value : values)
            query.addBindValue(value);
        query.exec();
        return query;
    }
    // The first value the statement yields, empty when none.
    static QString sqlValue(const QString& file, const QString& statement) {
        QSqlQuery query = sql(file, statement);
        return query.next() ? query.value(0).toString() : QString();
    }
};

} // namespace palvuro
