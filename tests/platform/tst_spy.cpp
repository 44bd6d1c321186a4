// palvuro-spy run as a process against windows this test publishes on the desktop bus.
#include "tests/platform/BusServerThread.h"
#include "tests/platform/FakeChatWindows.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace palvuro;

class TstSpy : public QObject {
    Q_OBJECT
private:
    QTemporaryDir runtime_;
    QString spy_;
    std::unique_ptr<BusServerThread> server_;
    FakeChatWindows windows_; // lives on the server's thread

    struct Run {
        int exitCode = -1;
        QString out;
        QString err;
    };

    Run spy(const QStringList& args) {
        QProcess process;
        process.start(spy_, args);
        Run run;
        if (!process.waitForFinished(20000))
            return run;
        run.exitCode = process.exitCode();
        run.out = QString::fromUtf8(process.readAllStandardOutput());
        run.err = QString::fromUtf8(process.readAllStandardError());
        return run;
    }

private Q_SLOTS:
    void initTestCase() {
        spy_ = qEnvironmentVariable("PALVURO_BIN_DIR") + QStringLiteral("/palvuro-spy");
        if (!QFileInfo(spy_).isExecutable())
            QSKIP("palvuro-spy is not built");
        QVERIFY(runtime_.isValid());
        qputenv("XDG_RUNTIME_DIR", runtime_.path().toLocal8Bit());
        server_ = std::make_unique<BusServerThread>();
        QVERIFY(server_->start());
        server_->run([&] {
            windows_.build(server_->registry());
            windows_.paragraphs = {"ANNA  : caf\xe9 \x80 ", "BOB  : hi "};
        });
    }

    void cleanupTestCase() { server_.reset(); }

    void listsAndTraces() {
        const Run list = spy({QStringLiteral("list")});
        QCOMPARE(list.exitCode, 0);
        QVERIFY2(list.out.contains(
                     QStringLiteral("0x%1  Palvuro 2.0\n").arg(windows_.main, 8, 16, QLatin1Char('0'))),
                 qPrintable(list.out));

        const Run tree = spy({QStringLiteral("tree"), QStringLiteral("palvuro 2.0")});
        QCOMPARE(tree.exitCode, 0);
        const QStringList rows = tree.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(rows.size(), 9);
        QCOMPARE(rows[3], QStringLiteral("4  0x%1  RichEdit20W").arg(windows_.text, 8, 16, QLatin1Char('0')));
    }

    void readsTheRoomInUtf8() {
        const Run lines = spy({QStringLiteral("lines"), QStringLiteral("Palvuro 2.0")});
        QCOMPARE(lines.exitCode, 0);
        QCOMPARE(lines.out, QStringLiteral("ANNA  : café € \nBOB  : hi \n\n"));
    }

    void saysInTheRoom() {
        server_->run([&] { windows_.sendButtonMessages.clear(); });
        const Run say =
            spy({QStringLiteral("say"), QStringLiteral("Palvuro 2.0"), QStringLiteral("héllo\r\n€ there")});
        QCOMPARE(say.exitCode, 0);
        const auto state = [&] {
            std::pair<std::string, std::vector<std::uint32_t>> seen;
            server_->run([&] { seen = {windows_.inputText, windows_.sendButtonMessages}; });
            return seen;
        };
        QTRY_COMPARE(state().second, (std::vector<std::uint32_t>{wm::LButtonDown, wm::LButtonUp}));
        QCOMPARE(state().first, std::string("h\xe9llo\r\n\x80 there"));
    }

    void refusesWhatItCannotDo_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("no command") << QStringList{} << 2;
        QTest::newRow("unknown command") << QStringList{"poke"} << 2;
        QTest::newRow("missing title") << QStringList{"tree"} << 2;
        QTest::newRow("say without text") << QStringList{"say", "Palvuro 2.0"} << 2;
        QTest::newRow("partial title") << QStringList{"tree", "Palvuro"} << 1;
        QTest::newRow("unknown title") << QStringList{"lines", "Nowhere"} << 1;
    }
    void refusesWhatItCannotDo() {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        const Run run = spy(args);
        QCOMPARE(run.exitCode, exitCode);
        QVERIFY(run.out.isEmpty());
        QVERIFY(!run.err.isEmpty());
    }

    void saysNothingWithoutARoom() {
        Hwnd bare = 0;
        server_->run([&] { bare = server_->registry().create(0, "Bare", "No Room Here"); });
        const Run run = spy({QStringLiteral("say"), QStringLiteral("No Room Here"), QStringLiteral("x")});
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains(QLatin1String("AfxWnd70u")), qPrintable(run.err));
        server_->run([&] { server_->registry().destroy(bare); });
    }
};

QTEST_GUILESS_MAIN(TstSpy)
#include "tst_spy.moc"
