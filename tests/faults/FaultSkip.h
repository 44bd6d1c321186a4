#pragma once

#include <QtTest>

// QSKIP with a message computed at run time. Qt's own QSKIP takes a variadic argument that
// clang's -Wpedantic rejects when it is left out.
#define PALVURO_SKIP(reason)                                                                                 \
    do {                                                                                                     \
        QTest::qSkip(qPrintable(reason), __FILE__, __LINE__);                                                \
        return;                                                                                              \
    } while (false)
