// Trivia.mdb held by the sqlite3 shell in an open transaction, with and without its exclusive
// locking mode: every operation waits its bounded time, then gives its defined result.
#include "tests/faults/DbFaultKit.h"

using namespace palvuro;

class TstDbLocks : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void operations_data() {
        DbFaultKit::addRows({DbFaultKit::Fault::WriteLocked, DbFaultKit::Fault::Locked});
    }
    void operations() { DbFaultKit::runCase(); }
};

QTEST_GUILESS_MAIN(TstDbLocks)
#include "tst_dblocks.moc"
