#pragma once

#include <QString>

namespace palvuro {

// Character references as web pages and the trivia APIs built on them write them: named ones
// (&quot; &eacute; &hellip; ...) and numeric ones (&#039; &#x2019;). A reference that names no
// character is left as it stands, so that a plain "&" in a question survives.
class HtmlEntities {
public:
    static QString decoded(const QString& text);
};

} // namespace palvuro
