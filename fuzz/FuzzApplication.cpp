#include "fuzz/FuzzApplication.h"

#include <QCoreApplication>

namespace palvuro {

void FuzzApplication::ensure() {
    if (QCoreApplication::instance() != nullptr)
        return;
    static int argc = 1;
    static char name[] = "palvuro-fuzz";
    static char* argv[] = {name, nullptr};
    // Deliberately never destroyed: Qt's own globals may go first at exit.
    static QCoreApplication* application = new QCoreApplication(argc, argv);
    (void)application;
}

} // namespace palvuro
