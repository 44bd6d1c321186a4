#pragma once

#include <QString>

namespace palvuro {

// One question/answer pair as a question file gives it, before any cleaning.
struct ImportRecord {
    qint64 number = 0; // the record's line, or its place in the file's list, from 1
    QString category;  // a category name; the readers of foreign files make one from a label
    QString question;
    QString answer;
    bool trueFalse = false; // the file itself marks the question as true/false
    QString error;          // why the record cannot be read; the fields above are then empty
};

// The records of one question file, in file order.
class RecordReader {
public:
    virtual ~RecordReader() = default;

    // The next record; false at the end, or when the file cannot be read on (failure() says
    // why: nothing of such a file should be imported).
    virtual bool next(ImportRecord* record) = 0;
    // How much of the file has been read, from 0 to 1.
    virtual double progress() const = 0;
    // What a record number counts: "line" or "result".
    virtual QString unit() const { return QStringLiteral("line"); }

    const QString& failure() const { return failure_; }

protected:
    // Names the record's category after a label such as "Science & Nature"; false, with the
    // record's error set, when the label makes no category name.
    static bool setCategoryFromLabel(const QString& label, ImportRecord* record);

    QString failure_;
};

} // namespace palvuro
