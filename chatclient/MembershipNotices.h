#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>

namespace palvuro {

// Who came, went, was kicked or changed nick in the channel, as the room shows it: the first notice of a
// quiet spell at once, everything after it within the next few seconds as one summary line.
// A netsplit, a join flood or an operator clearing out clones then costs the room a line per few seconds
// instead of one per chatter, and the chatters' own lines never queue behind hundreds of notices.
class MembershipNotices : public QObject {
    Q_OBJECT
public:
    using Show = std::function<void(const QString&)>;

    MembershipNotices(int windowMs, Show show, QObject* parent = nullptr);

    // Nicks as they may be shown: the caller has already made them inert.
    void joined(const QString& nick);
    void left(const QString& nick);
    void renamed(const QString& oldNick, const QString& newNick);
    void kicked(const QString& nick, const QString& by);

    // "ANNA, BOB, CAT and 297 more have left the room", and so on for each kind; the ordinary
    // notice when only one thing happened.
    static QString summary(const QStringList& joined, const QStringList& left, const QStringList& renamed,
                           const QStringList& kicked = {});

private:
    void arrived();
    void flush();

    const int windowMs_;
    Show show_;
    QTimer timer_;
    QElapsedTimer sinceShown_;
    QStringList joined_, left_, renamed_, kicked_;
};

} // namespace palvuro
