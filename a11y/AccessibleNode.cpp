#include "a11y/AccessibleNode.h"

#include "a11y/A11yLog.h"

#include <atspi/atspi.h>

#include <algorithm>
#include <utility>

namespace palvuro {

namespace {

// A failed call's error, freed; the caller answers with its empty value.
class CallError {
public:
    CallError() = default;
    CallError(const CallError&) = delete;
    CallError& operator=(const CallError&) = delete;
    ~CallError() {
        if (error_)
            g_error_free(error_);
    }
    GError** out() { return &error_; }
    bool failed(const char* what) const {
        if (error_)
            qCDebug(lcA11y) << what << "failed:" << error_->message;
        return error_ != nullptr;
    }

private:
    GError* error_ = nullptr;
};

QString takeString(gchar* text) {
    const QString out = text ? QString::fromUtf8(text) : QString();
    g_free(text);
    return out;
}

// An interface of OBJECT (text, editable text, ...) for the length of one call.
template <typename Interface> class Facet {
public:
    explicit Facet(Interface* facet) : facet_(facet) {}
    Facet(const Facet&) = delete;
    Facet& operator=(const Facet&) = delete;
    ~Facet() {
        if (facet_)
            g_object_unref(facet_);
    }
    Interface* get() const { return facet_; }
    explicit operator bool() const { return facet_ != nullptr; }

private:
    Interface* facet_;
};

AtspiStateType stateType(AccessibleNode::State state) {
    switch (state) {
    case AccessibleNode::State::Editable:
        return ATSPI_STATE_EDITABLE;
    case AccessibleNode::State::MultiLine:
        return ATSPI_STATE_MULTI_LINE;
    case AccessibleNode::State::Showing:
        return ATSPI_STATE_SHOWING;
    case AccessibleNode::State::Focused:
        return ATSPI_STATE_FOCUSED;
    case AccessibleNode::State::Defunct:
        break;
    }
    return ATSPI_STATE_DEFUNCT;
}

QHash<QString, QString> attributesOf(GHashTable* table) {
    QHash<QString, QString> out;
    if (!table)
        return out;
    GHashTableIter it;
    gpointer key = nullptr;
    gpointer value = nullptr;
    g_hash_table_iter_init(&it, table);
    while (g_hash_table_iter_next(&it, &key, &value))
        out.insert(QString::fromUtf8(static_cast<const char*>(key)),
                   QString::fromUtf8(static_cast<const char*>(value)));
    g_hash_table_unref(table);
    return out;
}

// Characters of TEXT (code points) from FROM to TO, as a QString.
QString codePoints(const QList<uint>& text, int from, int to) {
    from = std::clamp(from, 0, int(text.size()));
    to = std::clamp(to, from, int(text.size()));
    return QString::fromUcs4(reinterpret_cast<const char32_t*>(text.constData()) + from, to - from);
}

} // namespace

AccessibleNode::AccessibleNode(_AtspiAccessible* object) : object_(object) {}

AccessibleNode::AccessibleNode(const AccessibleNode& other) : object_(other.object_) {
    if (object_)
        g_object_ref(object_);
}

AccessibleNode::AccessibleNode(AccessibleNode&& other) noexcept
    : object_(std::exchange(other.object_, nullptr)) {}

AccessibleNode& AccessibleNode::operator=(AccessibleNode other) noexcept {
    std::swap(object_, other.object_);
    return *this;
}

AccessibleNode::~AccessibleNode() {
    if (object_)
        g_object_unref(object_);
}

QString AccessibleNode::roleName() const {
    if (!object_)
        return {};
    CallError error;
    QString role = takeString(atspi_accessible_get_role_name(object_, error.out()));
    return error.failed("role") ? QString() : role;
}

QString AccessibleNode::name() const {
    if (!object_)
        return {};
    CallError error;
    QString name = takeString(atspi_accessible_get_name(object_, error.out()));
    return error.failed("name") ? QString() : name;
}

int AccessibleNode::childCount() const {
    if (!object_)
        return 0;
    CallError error;
    const int count = atspi_accessible_get_child_count(object_, error.out());
    return error.failed("child count") ? 0 : std::max(count, 0);
}

AccessibleNode AccessibleNode::child(int index) const {
    if (!object_)
        return {};
    CallError error;
    AccessibleNode child(atspi_accessible_get_child_at_index(object_, index, error.out()));
    return error.failed("child") ? AccessibleNode() : child;
}

AccessibleNode AccessibleNode::parent() const {
    if (!object_)
        return {};
    CallError error;
    AccessibleNode parent(atspi_accessible_get_parent(object_, error.out()));
    return error.failed("parent") ? AccessibleNode() : parent;
}

bool AccessibleNode::hasState(State state) const {
    if (!object_)
        return state == State::Defunct;
    AtspiStateSet* states = atspi_accessible_get_state_set(object_);
    if (!states)
        return state == State::Defunct;
    const bool has = atspi_state_set_contains(states, stateType(state));
    g_object_unref(states);
    return has;
}

qint64 AccessibleNode::processId() const {
    if (!object_)
        return -1;
    CallError error;
    const guint pid = atspi_accessible_get_process_id(object_, error.out());
    return error.failed("process id") ? -1 : qint64(pid);
}

int AccessibleNode::characterCount() const {
    if (!object_)
        return -1;
    Facet<AtspiText> text(atspi_accessible_get_text_iface(object_));
    if (!text)
        return -1;
    CallError error;
    const int count = atspi_text_get_character_count(text.get(), error.out());
    return error.failed("character count") ? -1 : count;
}

QString AccessibleNode::text(int start, int end) const {
    if (!object_)
        return {};
    Facet<AtspiText> text(atspi_accessible_get_text_iface(object_));
    if (!text)
        return {};
    CallError error;
    QString out = takeString(atspi_text_get_text(text.get(), start, end, error.out()));
    return error.failed("text") ? QString() : out;
}

QList<TextRun> AccessibleNode::runs(int start, int end) const {
    QList<TextRun> out;
    if (!object_ || end <= start)
        return out;
    Facet<AtspiText> text(atspi_accessible_get_text_iface(object_));
    if (!text)
        return out;
    // One call for the characters, then one per run for its attributes: a run is a message's
    // time stamp, its nick or its text, so a line costs a handful of calls.
    const QList<uint> chars = this->text(start, end).toUcs4();
    const int stop = start + int(chars.size());
    for (int offset = start; offset < stop;) {
        CallError error;
        gint runStart = offset;
        gint runEnd = stop;
        GHashTable* attributes =
            atspi_text_get_attribute_run(text.get(), offset, FALSE, &runStart, &runEnd, error.out());
        if (error.failed("attribute run")) {
            if (attributes)
                g_hash_table_unref(attributes);
            return {};
        }
        TextRun run;
        run.start = offset;
        run.end = std::clamp<int>(runEnd, offset + 1, stop);
        run.text = codePoints(chars, run.start - start, run.end - start);
        run.attributes = attributesOf(attributes);
        out << run;
        offset = run.end;
    }
    return out;
}

bool AccessibleNode::setText(const QString& text) const {
    if (!object_)
        return false;
    Facet<AtspiEditableText> editable(atspi_accessible_get_editable_text_iface(object_));
    if (!editable)
        return false;
    CallError error;
    const bool set =
        atspi_editable_text_set_text_contents(editable.get(), text.toUtf8().constData(), error.out());
    return !error.failed("set text") && set;
}

QString AccessibleNode::wholeText() const {
    const int count = characterCount();
    return count <= 0 ? QString() : text(0, count);
}

bool AccessibleNode::grabFocus() const {
    if (!object_)
        return false;
    Facet<AtspiComponent> component(atspi_accessible_get_component_iface(object_));
    if (!component)
        return false;
    CallError error;
    const bool focused = atspi_component_grab_focus(component.get(), error.out());
    return !error.failed("focus") && focused;
}

bool AccessibleNode::doAction(const QString& action) const {
    if (!object_)
        return false;
    Facet<AtspiAction> actions(atspi_accessible_get_action_iface(object_));
    if (!actions)
        return false;
    CallError error;
    const int count = atspi_action_get_n_actions(actions.get(), error.out());
    for (int i = 0; !error.failed("actions") && i < count; ++i) {
        if (takeString(atspi_action_get_action_name(actions.get(), i, nullptr)) == action) {
            CallError done;
            return atspi_action_do_action(actions.get(), i, done.out()) && !done.failed("action");
        }
    }
    return false;
}

} // namespace palvuro
