// Trivia.mdb held by another program (the sqlite3 shell in an open transaction, with and without
// its exclusive locking mode): every operation waits its bounded time and then gives a clear
// message or the specified silence; a failed operation never writes to the file.
#include "tests/faults/DbFaultCases.h"

#include <QtTest>

using namespace palvuro;

class TstDbLocks : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void operations_data() {
        DbFaultCases::addRows(
            {{"write-locked", DbFaultKit::Fault::WriteLocked}, {"locked", DbFaultKit::Fault::Locked}});
    }
    void operations() { DbFaultCases::runCase(); }
};

QTEST_GUILESS_MAIN(TstDbLocks)
#include "tst_dblocks.moc"
