#pragma once

#include "a11y/TextRun.h"

#include <QList>
#include <QString>

#include <functional>

struct _AtspiAccessible;

namespace palvuro {

// One object another program shows on the accessibility bus: an application, a window, a
// widget. Copies share the object. Every question is a call to the program that owns it; when
// that program is gone or stuck, the answer is empty (a null node, -1, false) after the bus's
// time limit, never a hang.
class AccessibleNode {
public:
    enum class State { Editable, MultiLine, Showing, Focused, Defunct };

    AccessibleNode() = default;
    // Takes over one reference to OBJECT.
    explicit AccessibleNode(_AtspiAccessible* object);
    AccessibleNode(const AccessibleNode& other);
    AccessibleNode(AccessibleNode&& other) noexcept;
    AccessibleNode& operator=(AccessibleNode other) noexcept;
    ~AccessibleNode();

    bool isNull() const { return object_ == nullptr; }
    bool operator==(const AccessibleNode& other) const { return object_ == other.object_; }
    bool operator!=(const AccessibleNode& other) const { return object_ != other.object_; }
    _AtspiAccessible* handle() const { return object_; }

    // The role's name as the bus spells it in English ("frame", "page tab", "text").
    QString roleName() const;
    QString name() const;
    int childCount() const;
    AccessibleNode child(int index) const;
    AccessibleNode parent() const;
    bool hasState(State state) const;
    qint64 processId() const;

    // A text widget: its length in characters (-1 when it has none or cannot be asked), the
    // characters from START to END, and the same split into runs of equal attributes.
    int characterCount() const;
    QString text(int start, int end) const;
    QList<TextRun> runs(int start, int end) const;

    // An editable text's whole contents replaced, as a person typing would leave it.
    bool setText(const QString& text) const;
    QString wholeText() const;
    bool grabFocus() const;
    // The named action ("click", "activate", ...), when the object offers it.
    bool doAction(const QString& action) const;

private:
    _AtspiAccessible* object_ = nullptr;
};

} // namespace palvuro
