// Every committed fuzz seed through its fuzz case, so that the cases' invariants are checked in
// every test run and not only by the clang fuzzing build.
#include "fuzz/BusFramesFuzz.h"
#include "fuzz/IrcMessagesFuzz.h"
#include "fuzz/RoomLinesFuzz.h"
#include "fuzz/UsersFileFuzz.h"

#include <QtTest>

using namespace palvuro;

class TstFuzzReplay : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void seeds_data() {
        QTest::addColumn<QString>("path");
        for (const char* target :
             {"fuzz_room_lines", "fuzz_users_file", "fuzz_bus_frames", "fuzz_irc_messages"}) {
            const QDir corpus(QStringLiteral(PALVURO_SOURCE_DIR "/fuzz/corpus/") + QLatin1String(target));
            const QStringList names = corpus.entryList(QDir::Files, QDir::Name);
            QVERIFY2(!names.isEmpty(), qPrintable(corpus.path() + " holds no seeds"));
            for (const QString& name : names)
                QTest::newRow(qPrintable(QLatin1String(target) + '/' + name)) << corpus.filePath(name);
        }
    }
    void seeds() {
        QFETCH(QString, path);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.constData());
        const std::size_t size = bytes.size();
        const QByteArray tag = QTest::currentDataTag();
        QString failure;
        RoomLinesFuzz::Stats stats;
        const bool held = tag.startsWith("fuzz_room_lines") ? RoomLinesFuzz::run(data, size, &failure, &stats)
                          : tag.startsWith("fuzz_users_file")   ? UsersFileFuzz::run(data, size, &failure)
                          : tag.startsWith("fuzz_irc_messages") ? IrcMessagesFuzz::run(data, size, &failure)
                                                                : BusFramesFuzz::run(data, size, &failure);
        QVERIFY2(held, qPrintable(failure));
        // The game seed really plays: questions, answers and scores, or the checks above prove little.
        if (tag == "fuzz_room_lines/game.bin")
            QVERIFY2(stats.scored >= 2 && stats.botTexts >= 10, qPrintable(QString::number(stats.scored)));
    }
};

QTEST_GUILESS_MAIN(TstFuzzReplay)
#include "tst_fuzzreplay.moc"
