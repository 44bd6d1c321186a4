#pragma once

#include <QWidget>

class QLabel;
class QPlainTextEdit;

namespace palvuro {

class ConversationLink;

// The bridge's own small window: which conversation it follows, and a log of what went wrong.
// The bot never sees it: it reads the "Palvuro 2.0" window the bridge offers on the desktop bus.
class BridgeWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int LogLines = 1000;

    explicit BridgeWindow(ConversationLink& link, QWidget* parent = nullptr);

private:
    void log(const QString& text);

    QLabel* status_;
    QPlainTextEdit* log_;
};

} // namespace palvuro
