#include "app/ProgramIcon.h"

#include <QFont>
#include <QPainter>
#include <QPixmap>

namespace palvuro {
namespace {

QPixmap draw(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(20, 60, 120), qMax(1, size / 16)));
    painter.setBrush(QColor(250, 190, 40));
    const int margin = qMax(1, size / 16);
    painter.drawEllipse(margin, margin, size - 2 * margin, size - 2 * margin);
    QFont font;
    font.setBold(true);
    font.setPixelSize(size * 2 / 3);
    painter.setFont(font);
    painter.setPen(QColor(20, 60, 120));
    painter.drawText(pixmap.rect(), Qt::AlignCenter, QStringLiteral("?"));
    return pixmap;
}

} // namespace

QIcon ProgramIcon::make() {
    QIcon icon;
    for (int size : {16, 22, 32, 48, 64})
        icon.addPixmap(draw(size));
    return icon;
}

} // namespace palvuro
