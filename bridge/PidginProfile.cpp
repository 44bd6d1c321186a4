#include "bridge/PidginProfile.h"

#include "a11y/AccessibilityBus.h"
#include "a11y/AccessibleSearch.h"
#include "bridge/BridgeLog.h"
#include "bridge/PidginLines.h"

#include <QRegularExpression>

namespace palvuro {

namespace {

const QString kPageTab = QStringLiteral("page tab");
const QString kFrame = QStringLiteral("frame");
const QString kText = QStringLiteral("text");
const QString kBuddyList = QStringLiteral("Buddy List");

bool isText(const AccessibleNode& node) {
    return node.roleName() == kText && node.hasState(AccessibleNode::State::MultiLine);
}

// The tab of CONVERSATION, or with no tabs the window named after it.
AccessibleNode conversationRoot(const AccessibleNode& application, const QString& conversation) {
    const AccessibleNode tab =
        AccessibleSearch::first(application, AccessibleSearch::role(kPageTab, conversation));
    if (!tab.isNull())
        return tab;
    return AccessibleSearch::first(application, AccessibleSearch::role(kFrame, conversation));
}

} // namespace

QString PidginProfile::name() const {
    return QStringLiteral("pidgin");
}

QString PidginProfile::applicationName() const {
    return QStringLiteral("Pidgin");
}

QString PidginProfile::processName() const {
    return QStringLiteral("pidgin");
}

QString PidginProfile::howToShow() const {
    return QStringLiteral(
        "Pidgin shows its windows to other programs only with GTK's accessibility module. Quit Pidgin and "
        "start it again as\n    GTK_MODULES=gail:atk-bridge pidgin\n(Debian packages libatk-adaptor and "
        "libgail-common). The accessibility bus comes with every desktop (package at-spi2-core); without a "
        "desktop, start Pidgin and palvuro-bridge in one dbus-run-session.");
}

QStringList PidginProfile::conversations(const AccessibleNode& application) const {
    QStringList names;
    const auto named = [](const AccessibleNode& node) {
        const QString role = node.roleName();
        return (role == kPageTab || role == kFrame) && !node.name().isEmpty() && node.name() != kBuddyList;
    };
    for (const AccessibleNode& node : AccessibleSearch::all(application, named))
        if (!names.contains(node.name()) && !find(application, node.name()).isNull())
            names << node.name();
    return names;
}

Conversation PidginProfile::find(const AccessibleNode& application, const QString& conversation) const {
    const AccessibleNode root = conversationRoot(application, conversation);
    if (root.isNull())
        return {};
    Conversation found{{}, {}, root, conversation};
    for (const AccessibleNode& text : AccessibleSearch::all(root, isText)) {
        const bool editable = text.hasState(AccessibleNode::State::Editable);
        if (!editable && found.history.isNull())
            found.history = text;
        else if (editable)
            found.input = text;
    }
    return found;
}

QList<ConversationLine> PidginProfile::parse(const QList<TextRun>& runs) const {
    return lines_.parse(runs);
}

bool PidginProfile::inRoom(const Conversation& conversation) const {
    // Pidgin puts the name of a group chat it is out of in parentheses.
    return conversation.title.name() != QLatin1Char('(') + conversation.name + QLatin1Char(')');
}

QString PidginProfile::roomLine(const QString& text) const {
    // A line starting with "/" would be one of Pidgin's commands; with a second "/" it is text.
    return text.startsWith(QLatin1Char('/')) ? QLatin1Char('/') + text : text;
}

QString PidginProfile::privateLine(const QString& nick, const QString& text) const {
    // Pidgin's "/msg" ends the nick at the first blank: the rest would go to someone else.
    if (nick.contains(QRegularExpression(QStringLiteral("\\s"))))
        return {};
    return QStringLiteral("/msg ") + nick + QLatin1Char(' ') + text;
}

bool PidginProfile::send(const Conversation& conversation, const QString& line) const {
    if (!conversation.input.setText(line)) {
        qCWarning(lcBridge) << "cannot type into Pidgin's input box";
        return false;
    }
    return pressSend(conversation);
}

bool PidginProfile::pressSend(const Conversation& conversation) const {
    if (!conversation.input.grabFocus())
        qCWarning(lcBridge) << "cannot focus Pidgin's input box; pressing Return anyway";
    return AccessibilityBus::pressReturn();
}

bool PidginProfile::taken(const Conversation& conversation) const {
    // Pidgin empties its input box once it has sent the line.
    return conversation.input.characterCount() == 0;
}

} // namespace palvuro
