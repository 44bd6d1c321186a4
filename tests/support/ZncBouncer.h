#pragma once

#include "tests/support/ServerProcess.h"

#include <QString>

namespace palvuro {

// A real ZNC for one test, in front of an IRC server: one user, "bot", whose network "net"
// keeps one channel joined under one nick. A client logs in with PASS "bot/net:PASSWORD".
class ZncBouncer : public ServerProcess {
public:
    static QString cannotRun();
    bool start(quint16 serverPort, const QString& nick, const QString& channel, const QByteArray& password);
};

} // namespace palvuro
