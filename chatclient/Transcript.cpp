#include "chatclient/Transcript.h"

#include "chatclient/ChatClientLog.h"
#include "chatclient/ChatRoom.h"

#include <algorithm>
#include <cstdio>

namespace palvuro {

Transcript::Transcript(QObject* parent) : QObject(parent) {
    clock_.start();
}

bool Transcript::open(const QString& path, QString* error) {
    file_.setFileName(path);
    if (file_.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return true;
    if (error)
        *error = file_.errorString();
    return false;
}

void Transcript::setSizeLimit(qint64 bytes) {
    sizeLimit_ = std::max<qint64>(1, bytes);
}

void Transcript::attach(ChatRoom& room) {
    connect(&room, &ChatRoom::roomLine, this, [this](const QString& from, const QString& text) {
        record(QStringLiteral("say"), from, {}, text);
    });
    connect(&room, &ChatRoom::privateMessage, this,
            [this](const QString& from, const QString& to, const QString& text) {
                record(QStringLiteral("msg"), from, to, text);
            });
    connect(&room, &ChatRoom::notice, this,
            [this](const QString& text) { record(QStringLiteral("notice"), {}, {}, text); });
}

void Transcript::record(const QString& kind, const QString& from, const QString& to, const QString& text) {
    if (!file_.isOpen())
        return;
    const QString line = QString::number(clock_.elapsed()) + QLatin1Char('\t') + escape(kind) +
                         QLatin1Char('\t') + escape(from) + QLatin1Char('\t') + escape(to) +
                         QLatin1Char('\t') + escape(text) + QLatin1Char('\n');
    const QByteArray bytes = line.toUtf8();
    if (file_.pos() > 0 && file_.pos() + bytes.size() > sizeLimit_)
        rotate();
    if (!write(bytes) && !writeFailed_) {
        writeFailed_ = true; // said once; a full disk would otherwise repeat it for every line
        std::fprintf(stderr, "palvuro-chat: cannot write the transcript %s: %s\n",
                     qPrintable(file_.fileName()), qPrintable(file_.errorString()));
    }
}

bool Transcript::write(const QByteArray& bytes) {
    return file_.isOpen() && file_.write(bytes) == bytes.size() && file_.flush();
}

void Transcript::rotate() {
    const QString path = file_.fileName();
    const QString older = path + QStringLiteral(".1");
    file_.close();
    QFile::remove(older);
    if (!QFile::rename(path, older))
        qCWarning(lcChatClient).noquote()
            << "cannot rename the transcript" << path << "to" << older << "- it starts again empty";
    if (!file_.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qCWarning(lcChatClient).noquote()
            << "cannot start the transcript" << path << "again:" << file_.errorString();
}

QString Transcript::escape(const QString& field) {
    QString out;
    out.reserve(field.size());
    for (const QChar c : field) {
        switch (c.unicode()) {
        case '\\':
            out += QLatin1String("\\\\");
            break;
        case '\r':
            out += QLatin1String("\\r");
            break;
        case '\n':
            out += QLatin1String("\\n");
            break;
        case '\t':
            out += QLatin1String("\\t");
            break;
        default:
            out += c;
        }
    }
    return out;
}

} // namespace palvuro
