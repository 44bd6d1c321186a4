#pragma once

#include <QByteArray>
#include <QString>

namespace palvuro {

// The single-byte code page that texts cross the window-message layer in.
class Windows1252 {
public:
    // Characters the code page lacks become their Windows best fit, else "?" (a character
    // outside the BMP "??").
    static QByteArray encode(const QString& text);
    static QString decode(const QByteArray& bytes);
    static QString decode(const char* bytes, int length);
    // Whether the code page has this character itself (not only a best fit for it).
    static bool holds(char16_t unit);
};

} // namespace palvuro
