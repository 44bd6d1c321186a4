#pragma once

#include "tests/support/BotDriver.h"

#include <QTemporaryDir>

namespace palvuro {

struct RigFolder {
    QTemporaryDir dir;
};

// A bot driver on a prepared folder of its own (with `scores`, ANNA 4 and BOB 12).
template <class Driver> struct OnOwnFolder : RigFolder, Driver {
    explicit OnOwnFolder(bool scores = false) : Driver(dir.path()) {
        Driver::prepareFolder(dir.path(), scores);
    }
};
using BotRig = OnOwnFolder<BotDriver>;

} // namespace palvuro
