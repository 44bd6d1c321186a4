#pragma once

#include "tests/support/Chatter.h"

namespace palvuro {

// A person in the channel, as the tests play one: a raw IRC connection of its own, written
// apart from the client's protocol code so that both cannot share a mistake. It registers,
// joins, answers the server's PINGs, says what it is told byte for byte and keeps everything
// it receives.
class IrcChatter : public Chatter {
    Q_OBJECT
public:
    explicit IrcChatter(const QString& nick, QObject* parent = nullptr);

    // Registers on 127.0.0.1:PORT and, unless CHANNEL is empty, joins it; true once the
    // server has listed the channel's names.
    bool connectTo(quint16 port, const QString& channel, int timeoutMs = 15000);

    // CR LF is added.
    void sendRaw(const QByteArray& line) override;
    void say(const QString& target, const QString& text) override; // PRIVMSG in UTF-8
    void quit();

    static Message parse(const QByteArray& line);

private:
    void readLines();

    QByteArray buffer_;
};

} // namespace palvuro
