#include "chat/ChatReader.h"
#include "tests/chat/LinkRig.h"

#include <QtTest>

using namespace palvuro;

// A channel's window keeps a bounded number of lines while the bot reads it: lines come one per
// look of the reader, as the channel's pacing brings them, and every command and every answer
// of a long run reaches the bot whole, also those shown just as the oldest lines are dropped.

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr int kLongRun = 20000; // the same paths, at a pace the sanitizers can keep
#else
constexpr int kLongRun = 100000;
#endif

// Long enough to wrap over several rows at the widths tested.
const QString kAnswer = QStringLiteral("THE LONG ANSWER THAT NO WINDOW SHOWS ON ONE OF ITS ROWS ANYWAY");

} // namespace

class TestWindowLimit : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void everyCommandAndAnswerReachesTheBot_data() {
        QTest::addColumn<int>("wrap");
        QTest::addColumn<int>("keep");
        QTest::addColumn<int>("lines");
        QTest::newRow("unwrapped") << 0 << 1000 << kLongRun;
        QTest::newRow("wrapped") << 24 << 1000 << kLongRun;
        QTest::newRow("smallest window") << 24 << 2 << 3000;
    }

    void everyCommandAndAnswerReachesTheBot() {
        QFETCH(int, wrap);
        QFETCH(int, keep);
        QFETCH(int, lines);
        LinkRig rig(wrap);
        rig.desk.room().setKeepLines(keep);
        ChatReader reader(rig.session, rig.desk.api(), rig.link);
        rig.link.startReading("TriviaBot");
        QStringList commands;
        QStringList scorers;
        reader.setCommandHandler([&](const RoomLine& line) { commands << line.text(); });
        reader.setAnswerHandler([&](const QString& nick) {
            scorers << nick;
            rig.session.openQuestion(QStringLiteral("Q"), kAnswer);
        });
        rig.session.openQuestion(QStringLiteral("Q"), kAnswer);

        ChatRoom& room = rig.desk.room();
        QStringList expectedCommands;
        QStringList expectedScorers;
        const QString filler = QStringLiteral("a chatter's long line that wraps ").repeated(3);
        qsizetype longestText = 0;
        for (int i = 0; i < lines; ++i) {
            const QString n = QString::number(i);
            switch (i % 6) {
            case 0:
                room.hear("ANNA", "!getuserscore P" + n);
                expectedCommands << "ANNA  : !GETUSERSCORE P" + n + ' ';
                break;
            case 1:
                room.hear("C" + n, filler + n);
                break;
            case 2:
                room.hear("P" + n, kAnswer.toLower());
                expectedScorers << "P" + n;
                break;
            case 3:
                // Two lines at once, the second alone a command: only whole is this line right.
                room.say("TriviaBot", "Is Correct P" + n + "\r\nEVE  : !q");
                expectedCommands << "TRIVIABOT  : IS CORRECT P" + n + "EVE  : !Q ";
                break;
            case 4:
                room.hear("BOB", "!start " + filler.toUpper().remove(' ') + n);
                expectedCommands << "BOB  : !START " + filler.toUpper().remove(' ') + n + ' ';
                break;
            default:
                room.report("CAT has left the room");
            }
            reader.readNewText();
            QVERIFY2(room.text().lineCount() <= keep + 1, qPrintable(QString::number(i)));
            longestText = std::max<qsizetype>(longestText, room.text().textLength());
        }
        for (qsizetype i = 0; i < std::min(commands.size(), expectedCommands.size()); ++i)
            QCOMPARE(commands[i], expectedCommands[i]);
        QCOMPARE(commands.size(), expectedCommands.size());
        QCOMPARE(scorers, expectedScorers);
        // Each kept line is at most a few hundred characters: the text stays that size however
        // long the run.
        QVERIFY2(longestText <= std::int64_t{keep} * 200, qPrintable(QString::number(longestText)));
    }
};

QTEST_GUILESS_MAIN(TestWindowLimit)
#include "tst_windowlimit.moc"
