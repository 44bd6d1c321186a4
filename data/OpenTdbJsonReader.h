#pragma once

#include "data/RecordReader.h"

#include <QJsonArray>

namespace palvuro {

// A saved response of the Open Trivia Database's API: {"response_code":0,"results":[{"category":
// ..., "type": "multiple"|"boolean", "question": ..., "correct_answer": ..., ...}]}, in any of
// its encodings (character references, url3986 or base64). The category label becomes a
// category name; only the correct answer is kept.
class OpenTdbJsonReader : public RecordReader {
public:
    explicit OpenTdbJsonReader(const QByteArray& bytes);

    bool next(ImportRecord* record) override;
    double progress() const override;
    QString unit() const override { return QStringLiteral("result"); }

private:
    void take(const QJsonValue& result, ImportRecord* record) const;

    QJsonArray results_;
    qsizetype next_ = 0;
};

} // namespace palvuro
