#pragma once

#include "a11y/AccessibleNode.h"

#include <QList>
#include <QString>

#include <functional>

namespace palvuro {

// Finding objects on the accessibility bus: the running applications, and the descendants of
// one object that match a test, depth first in the order the program lists them. A walk stops
// at a bounded depth, and does not enter menus: a window's menus hold hundreds of objects and
// never the widget a client's profile looks for.
class AccessibleSearch {
public:
    using Match = std::function<bool(const AccessibleNode&)>;
    static constexpr int MaxDepth = 40;

    // Every application on the bus, in the order the bus lists them.
    static QList<AccessibleNode> applications();
    // The applications whose name is NAME, letter case aside.
    static QList<AccessibleNode> applicationsNamed(const QString& name);
    static AccessibleNode first(const AccessibleNode& root, const Match& match);
    static QList<AccessibleNode> all(const AccessibleNode& root, const Match& match);
    // A match on role and, unless NAME is empty, on name.
    static Match role(const QString& roleName, const QString& name = {});

private:
    // False once VISIT asked to stop.
    static bool walk(const AccessibleNode& node, int depth,
                     const std::function<bool(const AccessibleNode&)>& visit);
};

} // namespace palvuro
