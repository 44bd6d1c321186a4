#pragma once

#include <QElapsedTimer>
#include <QFile>
#include <QObject>
#include <QString>

namespace palvuro {

class ChatRoom;

// A record of what happened in the room, one line each, tab-separated: milliseconds since
// start, kind ("say" room line, "msg" private delivery, "notice", "expect-failed"; on a channel
// also "status" of the connection and "server" notices), from, to (empty but for private
// deliveries) and text. CR, LF, TAB and backslash in any field are written as \r, \n, \t and
// \\. Every record is flushed at once, so a reader sees it while the client runs and nothing is
// lost when it is killed.
//
// A client runs for weeks: a record that would take the file beyond its size limit first
// renames it to FILE.1, in place of an older FILE.1, and starts FILE again, so the two never
// hold more than twice the limit.
class Transcript : public QObject {
    Q_OBJECT
public:
    static constexpr qint64 DefaultSizeLimit = 10 * 1024 * 1024;

    explicit Transcript(QObject* parent = nullptr);

    bool open(const QString& path, QString* error);
    void setSizeLimit(qint64 bytes);
    // Records every room line, private delivery and notice of the room.
    void attach(ChatRoom& room);
    void record(const QString& kind, const QString& from, const QString& to, const QString& text);

    static QString escape(const QString& field);

private:
    bool write(const QByteArray& bytes);
    void rotate();

    qint64 sizeLimit_ = DefaultSizeLimit;
    QFile file_;
    QElapsedTimer clock_;
    bool writeFailed_ = false;
};

} // namespace palvuro
