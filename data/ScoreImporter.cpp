#include "data/ScoreImporter.h"

#include "data/DataLog.h"
#include "data/LineSplitter.h"
#include "data/Spaces.h"
#include "data/TextFile.h"
#include "data/TextRules.h"
#include "data/TriviaDatabase.h"

#include <QList>

namespace palvuro {

namespace {

bool isHeader(QStringView line) {
    return line.compare(QLatin1String("nick\tpoints"), Qt::CaseInsensitive) == 0;
}

} // namespace

ScoreImporter::ScoreImporter(TriviaDatabase& db, Mode mode, bool dryRun)
    : db_(db), mode_(mode), dryRun_(dryRun) {}

void ScoreImporter::setErrorHandler(ErrorHandler handler) {
    onError_ = std::move(handler);
}

QString ScoreImporter::nickRefusal(const QString& nick) {
    if (nick.isEmpty())
        return QStringLiteral("empty nick");
    for (QChar c : nick) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return QStringLiteral("the nick holds a control character");
    }
    // Nicks are upper case everywhere, also as keys of the scores table.
    if (Spaces::storedForm(nick) != nick)
        return QStringLiteral("the nick \"%1\" is not upper case and trimmed").arg(nick);
    return {};
}

bool ScoreImporter::parse(QStringView line, Row* row, QString* why) const {
    const QList<QStringView> fields = line.split(u'\t');
    if (fields.size() != 2) {
        *why = QStringLiteral("expected 2 tab-separated fields (nick, points), found %1").arg(fields.size());
        return false;
    }
    row->nick = Spaces::storedForm(fields[0].toString());
    *why = nickRefusal(row->nick);
    if (!why->isEmpty())
        return false;
    const QString points = Spaces::trimmed(fields[1].toString());
    const bool negative = points.startsWith(u'-');
    bool ok = isAsciiDigits(negative ? points.mid(1) : points);
    row->points = ok ? points.toLongLong(&ok) : 0;
    if (!ok)
        *why = QStringLiteral("the points \"%1\" are not a whole number of at most 19 digits").arg(points);
    return ok;
}

ScoreImporter::Summary ScoreImporter::import(const QByteArray& bytes) {
    Summary summary;
    LineSplitter lines(TextFile::decoded(bytes));
    QList<Row> rows;
    while (!lines.atEnd()) {
        const QStringView line = lines.next();
        if (line.trimmed().isEmpty() || (lines.lineNumber() == 1 && isHeader(line)))
            continue;
        Row row;
        QString why;
        if (parse(line, &row, &why)) {
            rows.append(row);
            continue;
        }
        ++summary.refused;
        if (onError_)
            onError_(lines.lineNumber(), why);
    }
    const QString why = store(rows);
    if (!why.isEmpty()) {
        summary.ok = false;
        summary.failure = QStringLiteral("no score was changed: %1").arg(why);
        qCWarning(lcData) << "score import failed:" << summary.failure;
        return summary;
    }
    summary.stored = rows.size();
    return summary;
}

// The reason the rows could not be stored, or an empty text.
QString ScoreImporter::store(const QList<Row>& rows) {
    DbStatus status = db_.beginBatch();
    if (status == DbStatus::Ok && mode_ == Mode::Replace)
        status = db_.deleteAllScores();
    for (const Row& row : rows) {
        if (status != DbStatus::Ok)
            break;
        status = db_.storeScore(row.nick, row.points, mode_ == Mode::Add);
    }
    if (status == DbStatus::Ok)
        status = dryRun_ ? db_.rollbackBatch() : db_.commitBatch();
    if (status == DbStatus::Ok)
        return {};
    const QString why = db_.errorText();
    db_.rollbackBatch(); // fails harmlessly when the failed step already ended the transaction
    return why;
}

} // namespace palvuro
