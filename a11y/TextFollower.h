#pragma once

#include "a11y/AccessibleNode.h"

#include <QObject>
#include <QTimer>

struct _AtspiEventListener;

namespace palvuro {

// Says when a text widget's characters changed. Programs that report their text changes on the
// bus are followed by those events; until the first one arrives, and for programs that never
// send any, the length is compared every PollMs. With events the length is still compared every
// CheckMs: an event the bus holds back behind a waiting call must not hold a line back until
// the next one. A burst of changes (a chat line comes as its time stamp, its nick and its text)
// is told once, after the burst.
class TextFollower : public QObject {
    Q_OBJECT
public:
    static constexpr int PollMs = 100;
    static constexpr int CheckMs = 250;

    explicit TextFollower(AccessibleNode text, QObject* parent = nullptr);
    ~TextFollower() override;

    const AccessibleNode& node() const { return text_; }
    // Whether the widget has reported a change itself.
    bool sendsEvents() const { return sendsEvents_; }

Q_SIGNALS:
    void changed();

private:
    static void onEvent(void* event, void* self);
    void poll();

    AccessibleNode text_;
    _AtspiEventListener* listener_ = nullptr;
    QTimer settle_;
    QTimer poll_;
    int lastCount_ = -1;
    bool sendsEvents_ = false;
};

} // namespace palvuro
