// palvuro-spy: looks at the desktop's windows the way the trivia host does, for whoever has to
// find out why a bot cannot find its room.
#include "platform/BusWindowApi.h"
#include "platform/LineBuffer.h"
#include "platform/Windows1252.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

using namespace palvuro;

namespace {

constexpr int ExitNotFound = 1;
constexpr int ExitUsage = 2;

const char* const Description =
    "Looks at the desktop's windows the way palvuro-trivia does.\n\n"
    "  palvuro-spy list               the top-level windows\n"
    "  palvuro-spy tree TITLE         the window's descendants, with class names\n"
    "  palvuro-spy lines TITLE        the room's text as the bot reads it\n"
    "  palvuro-spy say TITLE TEXT     says TEXT in the room the way the bot does\n\n"
    "Texts are UTF-8 here and Windows-1252 on the window side.";

void print(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    std::fwrite(utf8.constData(), 1, size_t(utf8.size()), stdout);
}

int fail(int code, const QString& message) {
    const QByteArray utf8 = QStringLiteral("palvuro-spy: %1\n").arg(message).toUtf8();
    std::fwrite(utf8.constData(), 1, size_t(utf8.size()), stderr);
    return code;
}

QString hex(Hwnd hwnd) {
    return QStringLiteral("0x%1").arg(hwnd, 8, 16, QLatin1Char('0'));
}

QString fromWindow(const std::string& bytes) {
    return Windows1252::decode(bytes.data(), int(bytes.size()));
}

std::vector<Hwnd> descendants(WindowApi& api, Hwnd parent) {
    std::vector<Hwnd> all;
    api.enumChildWindows(
        parent,
        [&](Hwnd hwnd, LParam) {
            all.push_back(hwnd);
            return 1;
        },
        0);
    return all;
}

std::string className(WindowApi& api, Hwnd hwnd, int maxCount) {
    std::vector<char> buffer(size_t(maxCount), '\0');
    const int count = api.getClassName(hwnd, buffer.data(), maxCount);
    return std::string(buffer.data(), size_t(count));
}

// The chat client's windows, found as the trivia host finds them.
struct Room {
    Hwnd room = 0;
    Hwnd text = 0;
    Hwnd input = 0;
    Hwnd send = 0;
};

class Spy {
public:
    int list() {
        for (const auto& [hwnd, title] : api_.topLevelWindows())
            print(QStringLiteral("%1  %2\n").arg(hex(hwnd), fromWindow(title)));
        return 0;
    }

    int tree(const QString& title) {
        const Hwnd main = findMain(title);
        if (main == 0)
            return notFound(title);
        int position = 0;
        for (Hwnd hwnd : descendants(api_, main))
            print(QStringLiteral("%1  %2  %3\n")
                      .arg(++position)
                      .arg(hex(hwnd), fromWindow(className(api_, hwnd, 256))));
        return 0;
    }

    int lines(const QString& title) {
        std::optional<Room> room;
        if (const int code = locate(title, room))
            return code;
        if (room->text == 0)
            return fail(ExitNotFound, QStringLiteral("the room has no RichEdit20W window"));
        const auto count = std::int32_t(api_.sendMessage(room->text, wm::GetLineCount, 0, 0));
        for (std::int32_t line = 0; line < count; ++line)
            print(readLine(room->text, line) + QLatin1Char('\n'));
        return 0;
    }

    int say(const QString& title, const QString& text) {
        std::optional<Room> room;
        if (const int code = locate(title, room))
            return code;
        if (room->input == 0 || room->send == 0)
            return fail(ExitNotFound,
                        QStringLiteral("the room has no Edit window or no sixth window to click"));
        const QByteArray bytes = Windows1252::encode(text);
        api_.sendMessage(room->input, wm::SetText, WParam(bytes.size()), LParam(bytes.constData()));
        api_.postMessage(room->send, wm::LButtonDown, 0, 0);
        api_.postMessage(room->send, wm::LButtonUp, 0, 0);
        return 0;
    }

private:
    BusWindowApi api_;

    Hwnd findMain(const QString& title) {
        const QByteArray bytes = Windows1252::encode(title);
        return api_.findWindow(nullptr, bytes.constData());
    }

    static int notFound(const QString& title) {
        return fail(ExitNotFound, QStringLiteral("no top-level window titled \"%1\"").arg(title));
    }

    // The room is the first descendant whose class, read into ten characters, is "AfxWnd70u";
    // its text and input are its first direct children of their classes; the send button is its
    // sixth descendant.
    int locate(const QString& title, std::optional<Room>& found) {
        const Hwnd main = findMain(title);
        if (main == 0)
            return notFound(title);
        Room room;
        for (Hwnd hwnd : descendants(api_, main)) {
            if (className(api_, hwnd, 10) == "AfxWnd70u") {
                room.room = hwnd;
                break;
            }
        }
        if (room.room == 0)
            return fail(ExitNotFound, QStringLiteral("\"%1\" has no AfxWnd70u window").arg(title));
        room.text = api_.findWindowEx(room.room, 0, "RichEdit20W", nullptr);
        room.input = api_.findWindowEx(room.room, 0, "Edit", nullptr);
        const std::vector<Hwnd> inRoom = descendants(api_, room.room);
        room.send = inRoom.size() >= 6 ? inRoom[5] : 0;
        found = room;
        return 0;
    }

    // As the host reads a line: its length from its first character, then a buffer of that many
    // characters plus two, whose first two bytes give the capacity.
    QString readLine(Hwnd text, std::int32_t line) {
        const auto start = api_.sendMessage(text, wm::LineIndex, WParam(line), 0);
        const auto length = std::int32_t(api_.sendMessage(text, wm::LineLength, WParam(start), 0));
        if (length < 1)
            return {};
        const int capacity = std::min(length, LineBuffer::MaxCapacity);
        QByteArray buffer = LineBuffer::make(capacity);
        const auto copied = api_.sendMessage(text, wm::GetLine, WParam(line), LParam(buffer.data()));
        return Windows1252::decode(buffer.constData(), int(std::clamp<LResult>(copied, 0, capacity)));
    }
};

// The command and its arguments, after the options; anything after the command is an argument,
// so that a title or a text may start with "-".
int run(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(Description));
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("list, tree, lines or say"),
                                 QStringLiteral("command [TITLE [TEXT]]"));
    if (!parser.parse(arguments))
        return fail(ExitUsage, parser.errorText() + QStringLiteral("\nTry 'palvuro-spy --help'."));
    if (parser.isSet(help)) {
        print(parser.helpText());
        return 0;
    }
    if (parser.isSet(version)) {
        print(QStringLiteral("palvuro-spy %1\n").arg(QStringLiteral(PALVURO_VERSION)));
        return 0;
    }
    const QStringList args = parser.positionalArguments();
    const QString command = args.value(0);
    Spy spy;
    if (command == QLatin1String("list") && args.size() == 1)
        return spy.list();
    if (command == QLatin1String("tree") && args.size() == 2)
        return spy.tree(args[1]);
    if (command == QLatin1String("lines") && args.size() == 2)
        return spy.lines(args[1]);
    if (command == QLatin1String("say") && args.size() == 3)
        return spy.say(args[1], args[2]);
    return fail(ExitUsage, QStringLiteral("unknown command or wrong number of arguments: %1\n"
                                          "Try 'palvuro-spy --help'.")
                               .arg(args.join(QLatin1Char(' '))));
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("palvuro-spy"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PALVURO_VERSION));
    return run(QCoreApplication::arguments());
}
