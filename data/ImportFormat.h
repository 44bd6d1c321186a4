#pragma once

#include "data/RecordReader.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>

namespace palvuro {

// The shapes of question file the importer reads, told apart by their content.
class ImportFormat {
public:
    enum class Kind { Tsv, OpenTdbJson, Csv, StarLines };

    // "tsv", "json", "csv" or "star".
    static std::optional<Kind> fromName(const QString& name);
    static QString nameOf(Kind kind);
    // The format the file's first lines are in; std::nullopt when they fit none.
    static std::optional<Kind> detect(const QByteArray& bytes);
    // `defaultCategory` is the label of the file's pairs where the format names no category.
    static std::unique_ptr<RecordReader> reader(Kind kind, const QByteArray& bytes,
                                                const QString& defaultCategory);
};

} // namespace palvuro
