#include "irc/IrcSentLines.h"

#include "irc/IrcNumeric.h"

#include <QRegularExpression>

#include <algorithm>
#include <utility>

namespace palvuro {
namespace {

constexpr std::size_t kMostRecent = 64;
constexpr qsizetype kMostWrittenTo = 4096;

QByteArray key(const QByteArray& target) {
    return target.toLower();
}

bool isRefusal(int numeric) {
    return (numeric >= 400 && numeric < 600) || numeric == Numeric::ErrTargChange ||
           numeric == Numeric::ErrTargUmodeG || numeric == Numeric::RplTargNotify;
}

// "... wait 30 seconds" and the like; the default when the server names no time.
qint64 holdMs(const QByteArray& text) {
    static const QRegularExpression number(QStringLiteral("(\\d{1,5})"));
    const QRegularExpressionMatch found = number.match(QString::fromUtf8(text));
    return found.hasMatch() ? found.captured(1).toLongLong() * 1000 : IrcSentLines::DefaultHoldMs;
}

} // namespace

void IrcSentLines::sent(const QByteArray& wireLine, qint64 nowMs) {
    const IrcMessage m = IrcMessage::parse(wireLine);
    recent_.push_back({{m.param(0), m.param(1)}, nowMs});
    while (recent_.size() > kMostRecent || nowMs - recent_.front().atMs > RefusalWindowMs)
        recent_.pop_front();
    if (writtenTo_.size() >= kMostWrittenTo)
        writtenTo_.clear();
    writtenTo_.insert(key(m.param(0)));
}

std::optional<IrcSentLines::Line> IrcSentLines::refusedBy(const IrcMessage& reply, qint64 nowMs) {
    const int numeric = reply.numeric();
    if (!isRefusal(numeric) || reply.params.size() < 2)
        return std::nullopt;
    const QByteArray target = key(reply.param(1));
    // A server that refuses a line to a nick who accepts only those it allows (716) may add that
    // it told the nick (717): one line, two replies.
    const bool told = numeric == Numeric::RplTargNotify && std::exchange(ignoredBy_, {}) == target;
    if (numeric == Numeric::ErrTargUmodeG)
        ignoredBy_ = target;
    if (told)
        return std::nullopt;
    const auto found = std::find_if(recent_.begin(), recent_.end(), [&](const Sent& s) {
        return nowMs - s.atMs <= RefusalWindowMs && key(s.line.target) == target;
    });
    if (found == recent_.end())
        return std::nullopt;
    const Line line = found->line;
    recent_.erase(found);
    if (numeric == Numeric::ErrTargChange) {
        holdUntilMs_ = nowMs + holdMs(reply.lastParam());
        writtenTo_.remove(target);
    }
    return line;
}

bool IrcSentLines::mayWriteTo(const QByteArray& nick, qint64 nowMs) const {
    return nowMs >= holdUntilMs_ || writtenTo_.contains(key(nick));
}

void IrcSentLines::forget(const QByteArray& target) {
    const QByteArray who = key(target);
    recent_.erase(std::remove_if(recent_.begin(), recent_.end(),
                                 [&](const Sent& s) { return target.isNull() || key(s.line.target) == who; }),
                  recent_.end());
}

} // namespace palvuro
