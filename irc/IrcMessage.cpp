#include "irc/IrcMessage.h"

#include <cstring>

namespace palvuro {
namespace {

QByteArray takeWord(const QByteArray& line, qsizetype& pos) {
    const qsizetype end = line.indexOf(' ', pos);
    const qsizetype stop = end < 0 ? line.size() : end;
    QByteArray word = line.mid(pos, stop - pos);
    pos = stop;
    return word;
}

void skipBlanks(const QByteArray& line, qsizetype& pos) {
    while (pos < line.size() && line.at(pos) == ' ')
        ++pos;
}

void parseTags(const QByteArray& text, IrcMessage& message) {
    for (const QByteArray& item : text.split(';')) {
        const qsizetype eq = item.indexOf('=');
        const QByteArray key = eq < 0 ? item : item.left(eq);
        if (key.isEmpty())
            continue;
        message.tags.append({key, eq < 0 ? QByteArray() : IrcMessage::unescapeTagValue(item.mid(eq + 1))});
    }
}

void splitPrefix(IrcMessage& message) {
    const QByteArray& prefix = message.prefix;
    const qsizetype at = prefix.indexOf('@');
    const QByteArray beforeHost = at < 0 ? prefix : prefix.left(at);
    if (at >= 0)
        message.host = prefix.mid(at + 1);
    const qsizetype bang = beforeHost.indexOf('!');
    message.nick = bang < 0 ? beforeHost : beforeHost.left(bang);
    if (bang >= 0)
        message.user = beforeHost.mid(bang + 1);
}

QByteArray withoutLineBreaks(QByteArray bytes) {
    bytes.removeIf([](char c) { return c == '\r' || c == '\n' || c == '\0'; });
    return bytes;
}

// Tag keys and middle parts cannot hold the bytes that separate them either.
QByteArray withoutSeparators(const QByteArray& bytes, const char* separators) {
    QByteArray out = withoutLineBreaks(bytes);
    out.removeIf([separators](char c) { return std::strchr(separators, c) != nullptr; });
    return out;
}

// Commands are letters or three digits; anything else is not a line we could answer.
bool isCommand(const QByteArray& word) {
    if (word.isEmpty())
        return false;
    for (char c : word) {
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')))
            return false;
    }
    return true;
}

bool fitsMiddle(const QByteArray& param) {
    return !param.isEmpty() && !param.startsWith(':') && !param.contains(' ');
}

} // namespace

IrcMessage IrcMessage::parse(const QByteArray& line) {
    IrcMessage message;
    qsizetype pos = 0;
    if (line.startsWith('@')) {
        ++pos;
        parseTags(takeWord(line, pos), message);
        skipBlanks(line, pos);
    }
    if (pos < line.size() && line.at(pos) == ':') {
        ++pos;
        message.prefix = takeWord(line, pos);
        splitPrefix(message);
        skipBlanks(line, pos);
    }
    message.command = takeWord(line, pos).toUpper();
    if (!isCommand(message.command)) {
        message.command.clear();
        return message;
    }
    for (;;) {
        skipBlanks(line, pos);
        if (pos >= line.size())
            break;
        if (line.at(pos) == ':') {
            message.params.append(line.mid(pos + 1));
            break;
        }
        message.params.append(takeWord(line, pos));
    }
    return message;
}

IrcMessage IrcMessage::make(const QByteArray& command, const QList<QByteArray>& params) {
    IrcMessage message;
    message.command = command;
    message.params = params;
    return message;
}

int IrcMessage::numeric() const {
    if (command.size() != 3)
        return 0;
    for (char c : command) {
        if (c < '0' || c > '9')
            return 0;
    }
    return command.toInt();
}

QByteArray IrcMessage::tag(const QByteArray& key) const {
    for (const auto& [name, value] : tags) {
        if (name == key)
            return value;
    }
    return {};
}

QByteArray IrcMessage::serialize() const {
    QByteArray out;
    QByteArray tagText;
    for (const auto& [key, value] : tags) {
        const QByteArray cleanKey = withoutSeparators(key, " ;=");
        if (cleanKey.isEmpty())
            continue;
        tagText += (tagText.isEmpty() ? "" : ";") + cleanKey;
        const QByteArray escaped = escapeTagValue(value);
        if (!escaped.isEmpty())
            tagText += '=' + escaped;
    }
    if (!tagText.isEmpty())
        out += '@' + tagText + ' ';
    const QByteArray cleanPrefix = withoutSeparators(prefix, " ");
    if (!cleanPrefix.isEmpty())
        out += ':' + cleanPrefix + ' ';
    out += withoutSeparators(command, " ");
    for (qsizetype i = 0; i < params.size(); ++i) {
        const QByteArray param = withoutLineBreaks(params.at(i));
        if (i + 1 < params.size() && fitsMiddle(param)) {
            out += ' ' + param;
            continue;
        }
        out += (fitsMiddle(param) ? " " : " :") + param;
        break;
    }
    return out;
}

QByteArray IrcMessage::escapeTagValue(const QByteArray& value) {
    QByteArray out;
    out.reserve(value.size());
    for (char c : value) {
        switch (c) {
        case ';':
            out += "\\:";
            break;
        case ' ':
            out += "\\s";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\0':
            break;
        default:
            out += c;
        }
    }
    return out;
}

QByteArray IrcMessage::unescapeTagValue(const QByteArray& value) {
    QByteArray out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const char c = value.at(i);
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++i >= value.size())
            break; // a lone trailing backslash is dropped
        switch (const char next = value.at(i)) {
        case ':':
            out += ';';
            break;
        case 's':
            out += ' ';
            break;
        case 'r':
            out += '\r';
            break;
        case 'n':
            out += '\n';
            break;
        default:
            out += next;
        }
    }
    return out;
}

} // namespace palvuro
