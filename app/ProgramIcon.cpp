#include "app/ProgramIcon.h"

#include <QDirIterator>

namespace palvuro {

QIcon ProgramIcon::make() {
    QIcon icon;
    QDirIterator pictures(QStringLiteral(":/icons"), {QStringLiteral("palvuro-trivia.png")}, QDir::Files,
                          QDirIterator::Subdirectories);
    while (pictures.hasNext())
        icon.addFile(pictures.next());
    return icon;
}

} // namespace palvuro
