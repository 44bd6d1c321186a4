#include "data/TextFile.h"

#include "platform/Windows1252.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

namespace palvuro {

namespace {
const char kBom[] = "\xEF\xBB\xBF";
}

std::optional<QByteArray> TextFile::read(const QString& path, QString* error) {
    const QFileInfo info(path);
    if (info.isDir()) {
        *error = QStringLiteral("%1 is a folder, not a file").arg(path);
        return std::nullopt;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot open %1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    if (file.size() > MaxBytes) {
        *error = QStringLiteral("%1 is larger than %2 MB; split it into smaller files")
                     .arg(path)
                     .arg(MaxBytes / (1024 * 1024));
        return std::nullopt;
    }
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    return bytes;
}

QByteArray TextFile::withoutBom(const QByteArray& bytes) {
    return bytes.startsWith(kBom) ? bytes.mid(3) : bytes;
}

QString TextFile::decoded(const QByteArray& bytes) {
    const QByteArray body = withoutBom(bytes);
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = utf8.decode(body);
    if (!utf8.hasError())
        return text;
    return Windows1252::decode(body);
}

} // namespace palvuro
