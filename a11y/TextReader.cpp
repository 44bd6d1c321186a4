#include "a11y/TextReader.h"

#include "a11y/A11yLog.h"
#include "a11y/AccessibilityBus.h"

#include <algorithm>

namespace palvuro {

namespace {

// The last N characters (code points, as the bus counts) of TEXT.
QString lastCharacters(const QString& text, int n) {
    const QList<uint> all = text.toUcs4();
    const qsizetype from = std::max<qsizetype>(0, all.size() - n);
    return QString::fromUcs4(reinterpret_cast<const char32_t*>(all.constData() + from), all.size() - from);
}

int characters(const QString& text) {
    return int(text.toUcs4().size());
}

} // namespace

TextReader::TextReader(AccessibleNode text, QObject* parent)
    : QObject(parent), text_(std::move(text)), follower_(text_) {
    offset_ = std::max(0, text_.characterCount());
    reread_.setSingleShot(true);
    reread_.setInterval(MovedRetryMs);
    connect(&follower_, &TextFollower::changed, this, &TextReader::changed);
    connect(&reread_, &QTimer::timeout, this, &TextReader::changed);
}

bool TextReader::readNew(QList<TextRun>* runs) {
    runs->clear();
    AccessibilityBus::dispatchPending(text_);
    const int before = offset_;
    follower_.follow(&offset_);
    if (offset_ < before)
        tail_.clear(); // what was removed may reach into it
    const int count = text_.characterCount();
    if (count < 0)
        return false;
    if (count == offset_)
        return true;
    if (count > offset_)
        *runs = text_.runs(offset_, count);
    if (hasMoved(count)) {
        runs->clear();
        return true;
    }
    movedSince_.invalidate();
    if (runs->isEmpty())
        return true;
    QString read = tail_;
    for (const TextRun& run : *runs)
        read += run.text;
    tail_ = lastCharacters(read, TailChars);
    offset_ = runs->last().end;
    return true;
}

bool TextReader::hasMoved(int count) {
    if (count >= offset_ && (tail_.isEmpty() || text_.text(offset_ - characters(tail_), offset_) == tail_))
        return false;
    if (!movedSince_.isValid())
        movedSince_.start();
    if (follower_.sendsEvents() && movedSince_.elapsed() < MovedWaitMs) {
        reread_.start();
        return true;
    }
    restartAtEnd(count);
    return true;
}

void TextReader::restartAtEnd(int count) {
    // No report explains it: what is there now came after, but reading it again could replay
    // a command; the next line is read as usual.
    qCWarning(lcA11y) << "the text moved from under the reading place at" << offset_
                      << "with no change reported;"
                      << "reading on from its end at" << count;
    offset_ = std::max(0, count);
    tail_.clear();
    movedSince_.invalidate();
}

} // namespace palvuro
