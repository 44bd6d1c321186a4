#pragma once

#include "irc/IrcCtcp.h"

#include <QByteArray>
#include <QDateTime>

#include <optional>

namespace palvuro {

// Answers the client-to-client requests people send to see who is there (VERSION, PING, TIME,
// CLIENTINFO), each with a NOTICE text. Anyone can send them, a crowd at once, so at most one
// answer goes per two seconds, whoever asks; the rest are passed over.
class IrcCtcpResponder {
public:
    static constexpr int MinSpacingMs = 2000;

    // What the VERSION answer names: "palvuro-chat 1.2.0", say.
    explicit IrcCtcpResponder(QByteArray version);

    // The NOTICE text (with its \x01 marks) that answers REQUEST at NOWMS, its local time being
    // NOW; nothing for a request we do not answer or one too soon after the last answer.
    std::optional<QByteArray> answer(const IrcCtcp& request, qint64 nowMs, const QDateTime& now);

private:
    QByteArray version_;
    qint64 answeredAtMs_ = 0;
    bool answered_ = false;
};

} // namespace palvuro
