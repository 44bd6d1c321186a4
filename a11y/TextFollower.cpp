#include "a11y/TextFollower.h"

#include "a11y/A11yLog.h"

#include <atspi/atspi.h>

#include <algorithm>

namespace palvuro {

namespace {

const char* const kTextChanged = "object:text-changed";
const char* const kTextRemoved = "object:text-changed:delete";

} // namespace

TextFollower::TextFollower(AccessibleNode text, QObject* parent) : QObject(parent), text_(std::move(text)) {
    settle_.setSingleShot(true);
    settle_.setInterval(0);
    connect(&settle_, &QTimer::timeout, this, &TextFollower::changed);
    poll_.setInterval(PollMs);
    connect(&poll_, &QTimer::timeout, this, &TextFollower::poll);
    lastCount_ = text_.characterCount();
    poll_.start();

    listener_ =
        atspi_event_listener_new([](AtspiEvent* event, void* self) { onEvent(event, self); }, this, nullptr);
    GError* error = nullptr;
    if (!atspi_event_listener_register(listener_, kTextChanged, &error)) {
        qCWarning(lcA11y) << "cannot follow text changes, polling instead:"
                          << (error ? error->message : "no reason given");
        if (error)
            g_error_free(error);
    }
}

TextFollower::~TextFollower() {
    if (!listener_)
        return;
    atspi_event_listener_deregister(listener_, kTextChanged, nullptr);
    g_object_unref(listener_);
}

void TextFollower::onEvent(void* event, void* self) {
    auto* atspiEvent = static_cast<AtspiEvent*>(event);
    auto* follower = static_cast<TextFollower*>(self);
    if (atspiEvent->source == follower->text_.handle()) {
        follower->sendsEvents_ = true;
        follower->record(atspiEvent->type, atspiEvent->detail1, atspiEvent->detail2);
        // Reading happens after the burst, outside the bus's own dispatch.
        if (!follower->settle_.isActive())
            follower->settle_.start();
    }
    g_boxed_free(ATSPI_TYPE_EVENT, atspiEvent);
}

void TextFollower::record(const char* type, int start, int length) {
    // Only removals are followed. What is put in comes at the end, and its report may come after
    // the read that took it in: taken for text put in before the place, it would skip as much.
    if (length > 0 && start >= 0 && g_str_has_prefix(type, kTextRemoved))
        removals_.push_back({start, length});
}

void TextFollower::follow(int* offset) {
    for (const Removal& removal : removals_)
        if (removal.start < *offset)
            *offset -= std::min(removal.length, *offset - removal.start);
    removals_.clear();
}

void TextFollower::poll() {
    // With events coming, a slower look is enough: it only catches what the bus held back.
    if (sendsEvents_ && poll_.interval() != CheckMs)
        poll_.setInterval(CheckMs);
    const int count = text_.characterCount();
    if (count == lastCount_)
        return;
    lastCount_ = count;
    if (!settle_.isActive())
        settle_.start();
}

} // namespace palvuro
