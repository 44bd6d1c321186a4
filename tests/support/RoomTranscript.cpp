#include "tests/support/RoomTranscript.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QTest>

namespace palvuro {

namespace {

constexpr int kPollMs = 40;

} // namespace

RoomTranscript::RoomTranscript(QString path) : path_(std::move(path)) {}

void RoomTranscript::setPath(const QString& path) {
    path_ = path;
}

QList<RoomTranscript::Record> RoomTranscript::records() const {
    QFile file(path_);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return parse(file.readAll());
}

std::optional<RoomTranscript::Record> RoomTranscript::waitFor(int from, const Match& match, int timeoutMs,
                                                              int* index) const {
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        const QList<Record> all = records();
        for (int i = from; i < all.size(); ++i) {
            if (match(all[i])) {
                if (index)
                    *index = i;
                return all[i];
            }
        }
        if (deadline.hasExpired())
            return std::nullopt;
        QTest::qWait(kPollMs);
    }
}

QString RoomTranscript::dump(int from) const {
    const QList<Record> all = records();
    QString out;
    for (int i = from; i < all.size(); ++i) {
        const Record& r = all[i];
        QString text = r.text;
        text.replace(QLatin1String("\r\n"), QLatin1String(" | "));
        out += QStringLiteral("  [%1] %2ms %3 %4%5: %6\n")
                   .arg(i)
                   .arg(r.ms)
                   .arg(r.kind, r.from, r.to.isEmpty() ? QString() : QLatin1String(">") + r.to, text);
    }
    return out;
}

QList<RoomTranscript::Record> RoomTranscript::parse(const QByteArray& bytes) {
    QList<Record> out;
    const QString text = QString::fromUtf8(bytes);
    const QStringList lines = text.split(QLatin1Char('\n'));
    // The last piece is a record still being written, or the empty rest after the final LF.
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
        const QStringList fields = lines[i].split(QLatin1Char('\t'));
        if (fields.size() != 5)
            continue;
        Record r;
        r.ms = fields[0].toLongLong();
        r.kind = unescape(fields[1]);
        r.from = unescape(fields[2]);
        r.to = unescape(fields[3]);
        r.text = unescape(fields[4]);
        out.append(r);
    }
    return out;
}

QString RoomTranscript::unescape(const QString& field) {
    QString out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        const QChar c = field[i];
        if (c != QLatin1Char('\\') || i + 1 == field.size()) {
            out += c;
            continue;
        }
        const QChar next = field[++i];
        switch (next.unicode()) {
        case 'r':
            out += QLatin1Char('\r');
            break;
        case 'n':
            out += QLatin1Char('\n');
            break;
        case 't':
            out += QLatin1Char('\t');
            break;
        default:
            out += next;
        }
    }
    return out;
}

} // namespace palvuro
