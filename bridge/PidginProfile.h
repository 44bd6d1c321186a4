#pragma once

#include "bridge/ClientProfile.h"
#include "bridge/PidginLines.h"

namespace palvuro {

// Pidgin 2 (GTK 2) with its accessibility module. A conversation is a tab (a frame named after
// it while it is the only one or the one in front); in it the history is the multi-line text
// nobody may edit, and the input box the last multi-line editable text. Sending is what a
// person does: the text into the box, the box focused, Return.
class PidginProfile : public ClientProfile {
public:
    QString name() const override;
    QString applicationName() const override;
    QString processName() const override;
    QString howToShow() const override;

    QStringList conversations(const AccessibleNode& application) const override;
    Conversation find(const AccessibleNode& application, const QString& conversation) const override;
    QList<ConversationLine> parse(const QList<TextRun>& runs) const override;
    bool inRoom(const Conversation& conversation) const override;

    QString roomLine(const QString& text) const override;
    QString privateLine(const QString& nick, const QString& text) const override;
    bool send(const Conversation& conversation, const QString& line) const override;
    bool pressSend(const Conversation& conversation) const override;
    bool taken(const Conversation& conversation) const override;

private:
    mutable PidginLines lines_; // remembers the newest time stamp read
};

} // namespace palvuro
