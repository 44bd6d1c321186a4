// Trivia.mdb replaced by garbage, cut short, on a read-only file system or on a full disk: every
// chat command, a game start, a correct answer and the editors' operations give a clear message or
// the specified silence, and a failed operation never writes to the file.
#include "tests/faults/DbFaultCases.h"

#include <QtTest>

using namespace palvuro;

class TstDbFaults : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void operations_data() {
        DbFaultCases::addRows({{"garbage", DbFaultKit::Fault::Garbage},
                               {"truncated", DbFaultKit::Fault::Truncated},
                               {"read-only-folder", DbFaultKit::Fault::ReadOnlyFolder},
                               {"full-disk", DbFaultKit::Fault::FullDisk}});
    }
    void operations() { DbFaultCases::runCase(); }
};

QTEST_GUILESS_MAIN(TstDbFaults)
#include "tst_dbfaults.moc"
