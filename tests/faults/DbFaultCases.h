#pragma once

#include "tests/faults/DbFaultKit.h"
#include "tests/faults/FaultSkip.h"

#include <QtTest>

#include <cstdio>
#include <initializer_list>

// The rows and the body shared by the database fault suites: every operation under each fault.
namespace palvuro::DbFaultCases {

inline void addRows(std::initializer_list<QPair<const char*, DbFaultKit::Fault>> faults) {
    QTest::addColumn<int>("fault");
    QTest::addColumn<int>("op");
    for (const auto& fault : faults) {
        for (DbFaultKit::Op op : DbFaultKit::allOps())
            QTest::addRow("%s/%s", fault.first, DbFaultKit::name(op)) << int(fault.second) << int(op);
    }
}

inline void runCase() {
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

} // namespace palvuro::DbFaultCases
