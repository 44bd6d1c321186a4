#pragma once

#include "data/TriviaDatabase.h"
#include "platform/MessageBox.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include <utility>
#include <vector>

namespace palvuro::admintest {

// Points the per-user settings at a private folder before anything creates a QSettings.
// One static instance per test program, constructed before main().
struct PrivateConfigHome {
    QTemporaryDir dir;
    PrivateConfigHome() { qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.path())); }
};

inline QStringList shownTexts() {
    QStringList texts;
    for (const MessageBox::Shown& shown : MessageBox::shown())
        texts << shown.text;
    return texts;
}

inline MessageBox::Icon lastIcon() {
    return MessageBox::shown().empty() ? MessageBox::Icon::None : MessageBox::shown().back().icon;
}

template <typename T> T* child(QWidget* window, const char* name) {
    T* found = window->findChild<T*>(QString::fromLatin1(name));
    if (!found)
        qWarning("no child %s", name);
    return found;
}

using PairList = std::vector<std::pair<QString, QString>>;

inline void addCategory(const QString& folder, const QString& name, const PairList& pairs = {}) {
    TriviaDatabase db(folder);
    QCOMPARE(db.createCategory(name), DbStatus::Ok);
    for (const auto& [question, answer] : pairs)
        QCOMPARE(db.addPair(name, question, answer), DbStatus::Ok);
}

// Every pair of a table in rowid order, "QUESTION/ANSWER" (null shown as <null>).
inline QStringList pairsOf(const QString& folder, const QString& table) {
    QStringList rows;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("admintest"));
        db.setDatabaseName(folder + QStringLiteral("/Trivia.mdb"));
        if (db.open()) {
            QSqlQuery query(db);
            query.exec(QStringLiteral("SELECT Questions, Answers FROM \"%1\" ORDER BY rowid").arg(table));
            while (query.next()) {
                auto text = [&](int column) {
                    return query.value(column).isNull() ? QStringLiteral("<null>")
                                                        : query.value(column).toString();
                };
                rows << text(0) + QLatin1Char('/') + text(1);
            }
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("admintest"));
    return rows;
}

inline void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

inline QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

} // namespace palvuro::admintest
