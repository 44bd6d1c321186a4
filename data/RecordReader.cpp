#include "data/RecordReader.h"

#include "data/PairRules.h"

namespace palvuro {

bool RecordReader::setCategoryFromLabel(const QString& label, ImportRecord* record) {
    record->category = PairRules::categoryFromLabel(label);
    if (!record->category.isEmpty())
        return true;
    record->error = label.trimmed().isEmpty()
                        ? QStringLiteral("no category given for this file")
                        : QStringLiteral("the category \"%1\" holds no letter or digit").arg(label);
    return false;
}

} // namespace palvuro
