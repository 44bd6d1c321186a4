// Trivia.mdb replaced by garbage, cut short, on a read-only file system or on a full disk: every
// operation gives its defined result (see the kit), and a failed one never writes to the file.
#include "tests/faults/DbFaultKit.h"

using namespace palvuro;

class TstDbFaults : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void operations_data() {
        DbFaultKit::addRows({DbFaultKit::Fault::Garbage, DbFaultKit::Fault::Truncated,
                             DbFaultKit::Fault::ReadOnlyFolder, DbFaultKit::Fault::FullDisk});
    }
    void operations() { DbFaultKit::runCase(); }
};

QTEST_GUILESS_MAIN(TstDbFaults)
#include "tst_dbfaults.moc"
