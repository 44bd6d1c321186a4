#include "tests/support/ChannelGame.h"

#include "data/TriviaDatabase.h"

#include <QDebug>

namespace palvuro {

namespace {

QString plain(QString text) {
    return text.remove(QChar(0x02)).trimmed();
}

} // namespace

ChannelGame::ChannelGame(Chatter& watcher, const QString& channel, const QString& botNick,
                         const QHash<QString, QString>& answers, const QString& dataFolder)
    : watcher_(watcher), channel_(channel), botNick_(botNick), dataFolder_(dataFolder), answers_(answers) {}

Chatter::Match ChannelGame::botSays(const QString& text) const {
    return [this, text](const Message& m) {
        return m.command == QLatin1String("PRIVMSG") && m.nick == botNick_ && m.params.value(0) == channel_ &&
               (text.isNull() || m.text() == text);
    };
}

std::optional<Chatter::Message> ChannelGame::nextBotLine(int* at, int timeoutMs) const {
    return watcher_.waitFor(botSays(), *at + 1, timeoutMs, at);
}

std::optional<Chatter::Message> ChannelGame::nextQuestion(int* at, int timeoutMs) const {
    for (auto line = nextBotLine(at, timeoutMs); line; line = nextBotLine(at, timeoutMs))
        if (answers_.contains(line->text()))
            return line;
    return std::nullopt;
}

std::optional<Chatter::Message> ChannelGame::nextStarting(const QString& prefix, int* at,
                                                          int timeoutMs) const {
    return watcher_.waitFor([&](const Message& m) { return botSays()(m) && m.text().startsWith(prefix); },
                            *at + 1, timeoutMs, at);
}

qint64 ChannelGame::storedScore(const QString& nick) const {
    std::optional<qint64> points;
    TriviaDatabase(dataFolder_).lookupScore(nick, &points);
    return points.value_or(0);
}

bool ChannelGame::answers(Chatter& player, int* at, int timeoutMs) {
    const auto question = nextQuestion(at, timeoutMs);
    if (!question)
        return false;
    player.say(channel_, answerTo(*question).toLower());
    return scored(player, at, timeoutMs);
}

bool ChannelGame::scored(const Chatter& player, int* at, int timeoutMs) {
    const QString nick = player.nick().toUpper();
    const QString verdict = QStringLiteral("(*)%1 (*) Is Correct, Your Score Is [ %2 ]")
                                .arg(nick)
                                .arg(announced_.value(nick) + 1);
    const auto line = watcher_.waitFor(
        [&](const Message& m) {
            return botSays()(m) && (m.text() == verdict || m.text().startsWith(QLatin1String("Times Up!")));
        },
        *at, timeoutMs, at);
    if (!line || line->text() != verdict)
        return false;
    const qint64 stored = storedScore(nick);
    if (stored != ++announced_[nick])
        qWarning() << nick << "'s score was announced as" << announced_[nick] << "but is stored as" << stored;
    return stored == announced_[nick];
}

QStringList ChannelGame::topList(Chatter& asker, const QString& last) const {
    const int mark = asker.receivedCount();
    asker.say(channel_, QStringLiteral("!TOP"));
    const auto toAsker = [&](const Message& m) {
        return m.command == QLatin1String("PRIVMSG") && m.nick == botNick_ &&
               m.params.value(0) == asker.nick();
    };
    if (!asker.waitFor([&](const Message& m) { return toAsker(m) && plain(m.text()) == last; }, mark))
        return {};
    QStringList top;
    for (const Message& m : asker.messagesFrom(botNick_, mark))
        if (toAsker(m))
            top << plain(m.text());
    return top;
}

} // namespace palvuro
