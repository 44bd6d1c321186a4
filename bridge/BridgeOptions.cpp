#include "bridge/BridgeOptions.h"

#include "bridge/ClientProfile.h"

#include <QCommandLineParser>

namespace palvuro {

bool BridgeOptions::parse(const QStringList& arguments, BridgeOptions* options, QString* error,
                          QString* usage) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Offers palvuro-trivia a \"Palvuro 2.0\" window whose room is a conversation of another chat "
        "client, read and typed through the accessibility bus."));
    const QCommandLineOption client(
        QStringLiteral("client"),
        QStringLiteral("The chat client: %1.").arg(ClientProfile::names().join(u", ")),
        QStringLiteral("NAME"), options->client);
    const QCommandLineOption conversation(
        QStringLiteral("conversation"),
        QStringLiteral("The conversation as its tab shows it, e.g. '#trivia'."), QStringLiteral("NAME"));
    const QCommandLineOption list(QStringLiteral("list"),
                                  QStringLiteral("Print the clients and conversations the bridge can see."));
    parser.addOptions({client, conversation, list});
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    *usage = parser.helpText();
    if (!parser.parse(arguments)) {
        *error = parser.errorText();
        return false;
    }
    options->help = parser.isSet(help);
    options->version = parser.isSet(version);
    options->list = parser.isSet(list);
    options->client = parser.value(client);
    options->conversation = parser.value(conversation);
    if (options->help || options->version)
        return true;
    if (!parser.positionalArguments().isEmpty()) {
        *error = QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first());
        return false;
    }
    if (!ClientProfile::create(options->client)) {
        *error = QStringLiteral("unknown client \"%1\" (known: %2)")
                     .arg(options->client, ClientProfile::names().join(u", "));
        return false;
    }
    if (!options->list && options->conversation.trimmed().isEmpty()) {
        *error = QStringLiteral("--conversation NAME is needed (palvuro-bridge --list shows the names)");
        return false;
    }
    return true;
}

} // namespace palvuro
