#pragma once

#include <QHash>
#include <QString>

namespace palvuro {

// A stretch of a text widget whose characters share one set of attributes ("weight", "size",
// "fg-color", ...), as the toolkit reports them. Offsets count characters (code points), as the
// accessibility bus does, not UTF-16 units.
struct TextRun {
    qint32 start = 0;
    qint32 end = 0;
    QString text;
    QHash<QString, QString> attributes;

    bool has(const QString& name) const { return attributes.contains(name); }
};

} // namespace palvuro
