#include "a11y/AccessibleSearch.h"

#include <atspi/atspi.h>

namespace palvuro {

namespace {

bool isMenu(const QString& role) {
    return role == QLatin1String("menu bar") || role == QLatin1String("menu") ||
           role == QLatin1String("popup menu");
}

} // namespace

QList<AccessibleNode> AccessibleSearch::applications() {
    QList<AccessibleNode> out;
    const AccessibleNode desktop(atspi_get_desktop(0));
    const int count = desktop.childCount();
    for (int i = 0; i < count; ++i)
        if (AccessibleNode application = desktop.child(i); !application.isNull())
            out << application;
    return out;
}

QList<AccessibleNode> AccessibleSearch::applicationsNamed(const QString& name) {
    QList<AccessibleNode> out;
    for (const AccessibleNode& application : applications())
        if (application.name().compare(name, Qt::CaseInsensitive) == 0)
            out << application;
    return out;
}

AccessibleNode AccessibleSearch::first(const AccessibleNode& root, const Match& match) {
    AccessibleNode found;
    walk(root, 0, [&](const AccessibleNode& node) {
        if (!match(node))
            return true;
        found = node;
        return false;
    });
    return found;
}

QList<AccessibleNode> AccessibleSearch::all(const AccessibleNode& root, const Match& match) {
    QList<AccessibleNode> found;
    walk(root, 0, [&](const AccessibleNode& node) {
        if (match(node))
            found << node;
        return true;
    });
    return found;
}

AccessibleSearch::Match AccessibleSearch::role(const QString& roleName, const QString& name) {
    return [roleName, name](const AccessibleNode& node) {
        return node.roleName() == roleName && (name.isEmpty() || node.name() == name);
    };
}

bool AccessibleSearch::walk(const AccessibleNode& node, int depth,
                            const std::function<bool(const AccessibleNode&)>& visit) {
    if (node.isNull() || depth > MaxDepth)
        return true;
    if (depth > 0 && !visit(node))
        return false;
    if (isMenu(node.roleName()))
        return true;
    const int count = node.childCount();
    for (int i = 0; i < count; ++i)
        if (!walk(node.child(i), depth + 1, visit))
            return false;
    return true;
}

} // namespace palvuro
