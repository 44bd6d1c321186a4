#include "tests/support/FakeDesktop.h"

namespace palvuro {

FakeDesktop::FakeDesktop(const QString& clientNick, int wrapColumns)
    : room_(registry_, clientNick, wrapColumns), api_(registry_) {
    QObject::connect(&room_, &ChatRoom::roomLine, [this](const QString& from, const QString& text) {
        roomLines_.append(from + QStringLiteral(": ") + text);
    });
    QObject::connect(&room_, &ChatRoom::privateMessage,
                     [this](const QString& from, const QString& to, const QString& text) {
                         privates_.append({from, to, text});
                     });
}

void FakeDesktop::say(const QString& nick, const QString& text) {
    room_.say(nick, text);
}

QStringList FakeDesktop::linesBy(const QString& nick) const {
    const QString prefix = nick + QStringLiteral(": ");
    QStringList texts;
    for (const QString& line : roomLines_) {
        if (line.startsWith(prefix))
            texts.append(line.mid(prefix.size()));
    }
    return texts;
}

void FakeDesktop::clearLog() {
    roomLines_.clear();
    privates_.clear();
}

} // namespace palvuro
