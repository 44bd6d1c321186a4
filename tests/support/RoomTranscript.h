#pragma once

#include <QList>
#include <QString>

#include <functional>
#include <optional>

namespace palvuro {

// The transcript palvuro-chat writes (--transcript): one record a line, tab-separated
// milliseconds, kind, from, to and text, with \r \n \t \\ escapes. Read afresh on every call,
// so a test sees what the running client has flushed so far.
class RoomTranscript {
public:
    struct Record {
        qint64 ms = 0;
        QString kind; // "say", "msg", "notice", "expect-failed"
        QString from;
        QString to;
        QString text; // unescaped
    };
    using Match = std::function<bool(const Record&)>;

    explicit RoomTranscript(QString path = {});
    void setPath(const QString& path);
    QString path() const { return path_; }

    QList<Record> records() const;
    int size() const { return records().size(); }

    // The first record from index `from` on that matches, waiting up to timeoutMs while the
    // event loop runs. *index gets its position.
    std::optional<Record> waitFor(int from, const Match& match, int timeoutMs, int* index = nullptr) const;

    // Every record from index `from` on, as "kind from>to: text" lines, for failure messages.
    QString dump(int from = 0) const;

    static QList<Record> parse(const QByteArray& bytes);
    static QString unescape(const QString& field);

private:
    QString path_;
};

} // namespace palvuro
