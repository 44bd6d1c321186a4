#pragma once

#include <QFileInfo>
#include <QString>
#include <QtGlobal>

#include <optional>

namespace palvuro {

// The question bank a benchmark reads. A file named in PALVURO_QUESTION_BANK must exist: the
// run was asked for that data, and a figure from anything else would be a wrong figure.
// Without it the shared bank is used where present.
struct QuestionBank {
    QString path;    // empty: no bank, the benchmark's synthetic data
    QString failure; // set when the asked-for bank is missing

    static QuestionBank choose() {
        const QString asked = qEnvironmentVariable("PALVURO_QUESTION_BANK");
        if (!asked.isEmpty()) {
            if (QFileInfo(asked).isFile())
                return {asked, {}};
            return {{}, QStringLiteral("PALVURO_QUESTION_BANK names no file: ") + asked};
        }
        const QString shared = QStringLiteral(PALVURO_SHARED_DIR "/data/questions.tsv");
        return {QFileInfo(shared).isFile() ? shared : QString(), {}};
    }
};

} // namespace palvuro
