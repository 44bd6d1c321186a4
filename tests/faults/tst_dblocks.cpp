// Trivia.mdb held by another program (the sqlite3 shell in an open transaction, with and without
// its exclusive locking mode): every operation waits its bounded time and then gives a clear
// message or the specified silence; a failed operation never writes to the file.
#include "tests/faults/DbFaultKit.h"
#include "tests/faults/FaultSkip.h"

#include <QtTest>

using namespace palvuro;

class TstDbLocks : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void operations_data() {
        QTest::addColumn<int>("fault");
        QTest::addColumn<int>("op");
        const QList<QPair<const char*, DbFaultKit::Fault>> faults = {
            {"write-locked", DbFaultKit::Fault::WriteLocked}, {"locked", DbFaultKit::Fault::Locked}};
        for (const auto& fault : faults) {
            for (DbFaultKit::Op op : DbFaultKit::allOps())
                QTest::addRow("%s/%s", fault.first, DbFaultKit::name(op)) << int(fault.second) << int(op);
        }
    }
    void operations() {
        QFETCH(int, fault);
        QFETCH(int, op);
        DbFaultKit kit{DbFaultKit::Fault(fault)};
        const QString cannot = kit.prepare();
        if (!cannot.isEmpty())
            PALVURO_SKIP(cannot);
        QString verdict;
        const DbFaultKit::Result result = kit.run(DbFaultKit::Op(op), &verdict);
        // One line per case for the reliability report.
        std::printf(
            "FAULT-CASE %s: %s %s\n", QTest::currentDataTag(),
            !verdict.isEmpty() ? "UNDEFINED"
            : result.healthy   ? "worked"
                               : "refused",
            qPrintable(result.shown.isEmpty()
                           ? QStringLiteral("(silence)")
                           : QString(result.shown).replace(QStringLiteral("\r\n"), QStringLiteral(" / "))));
        std::fflush(stdout);
        QVERIFY2(verdict.isEmpty(), qPrintable(verdict));
    }
};

QTEST_GUILESS_MAIN(TstDbLocks)
#include "tst_dblocks.moc"
