#pragma once

#include "a11y/AccessibleNode.h"

#include <QObject>
#include <QTimer>

#include <vector>

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
    // Moves OFFSET back over the text reported removed before it since the last call. Events
    // that came during a call are seen only once AccessibilityBus::dispatchPending() handed
    // them on.
    void follow(int* offset);

Q_SIGNALS:
    void changed();

private:
    struct Removal {
        int start;
        int length;
    };

    static void onEvent(void* event, void* self);
    void record(const char* type, int start, int length);
    void poll();

    AccessibleNode text_;
    _AtspiEventListener* listener_ = nullptr;
    QTimer settle_;
    QTimer poll_;
    std::vector<Removal> removals_; // reported, not yet followed
    int lastCount_ = -1;
    bool sendsEvents_ = false;
};

} // namespace palvuro
