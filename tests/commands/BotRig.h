#pragma once

#include "tests/support/BotDriver.h"

#include <QTemporaryDir>

namespace palvuro {

struct RigFolder {
    QTemporaryDir dir;
};

// The bot on a prepared folder of its own; each bot line's tick is kept.
struct BotRig : RigFolder, BotDriver {
    explicit BotRig(bool scores = false) : BotDriver(dir.path()) {
        prepareFolder(dir.path(), scores);
        QObject::connect(&desk.room(), &ChatRoom::roomLine, [this](const QString& from) {
            if (from == Nick)
                saidAt.append(pump.tickCount());
        });
    }
    QList<std::uint32_t> saidAt;
};

} // namespace palvuro
