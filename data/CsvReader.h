#pragma once

#include "data/RecordReader.h"

#include <QStringList>

namespace palvuro {

// Comma-separated files as spreadsheets save them (RFC 4180: quoted fields may hold commas,
// doubled quotes and line breaks). A first row naming the columns (category, question,
// answer, and their usual synonyms) says where each value is; without one, three fields are
// category, question and answer, and two are question and answer of the default category.
class CsvReader : public RecordReader {
public:
    CsvReader(const QByteArray& bytes, const QString& defaultCategory);

    bool next(ImportRecord* record) override;
    double progress() const override;

private:
    // The fields of the next row; false at the end of the text.
    bool readRow(QStringList* fields, QString* error);
    QString readQuotedField(QString* error);
    void readHeader();
    void takeFields(const QStringList& fields, ImportRecord* record) const;

    QString text_;
    qsizetype pos_ = 0;
    qint64 line_ = 1;
    QString defaultCategory_;
    bool headerChecked_ = false;
    // Column of each value, -1 when absent; set from the header or the first row's width.
    int category_ = -1;
    int question_ = -1;
    int answer_ = -1;
};

} // namespace palvuro
