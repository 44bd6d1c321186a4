#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

namespace palvuro {

class TriviaDatabase;

// Restores scores from "NICK<TAB>POINTS" lines (an optional first line "nick<TAB>points"), as
// the exporter writes them: either the scores table becomes the file's scores, or the file's
// points are added to the players' current ones. One transaction: all of it or nothing.
class ScoreImporter {
public:
    enum class Mode { Replace, Add };

    struct Summary {
        bool ok = true;
        QString failure; // when not ok
        qint64 stored = 0;
        qint64 refused = 0;
    };
    using ErrorHandler = std::function<void(qint64 line, const QString& reason)>;

    ScoreImporter(TriviaDatabase& db, Mode mode, bool dryRun);
    void setErrorHandler(ErrorHandler handler);

    Summary import(const QByteArray& bytes);

    // Why `nick` cannot be a key of the scores table as the program writes them, or empty.
    static QString nickRefusal(const QString& nick);

private:
    struct Row {
        QString nick;
        qint64 points = 0;
    };
    bool parse(QStringView line, Row* row, QString* why) const;
    QString store(const QList<Row>& rows);

    TriviaDatabase& db_;
    Mode mode_;
    bool dryRun_;
    ErrorHandler onError_;
};

} // namespace palvuro
