#include "AdminTestKit.h"

#include "admin/ScoreEditorWindow.h"

#include <QAction>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>

#include <memory>
#include <optional>

using namespace palvuro;
using namespace palvuro::admintest;

static PrivateConfigHome configHome;

class ScoreEditorTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> folder_;
    std::unique_ptr<ScoreEditorWindow> window_;
    QLineEdit* search_ = nullptr;
    QLineEdit* score_ = nullptr;

    void click(const char* name) {
        QTest::mouseClick(child<QPushButton>(window_.get(), name), Qt::LeftButton);
    }

    void find(const QString& typed) {
        search_->clear();
        QTest::keyClicks(search_, typed);
        click("cmdFind");
    }

    std::optional<qint64> pointsOf(const QString& nick) {
        TriviaDatabase db(folder_->path());
        std::optional<qint64> points;
        if (db.lookupScore(nick, &points) != DbStatus::Ok)
            return -1;
        return points;
    }

    void seedPlayers() {
        TriviaDatabase db(folder_->path());
        qint64 score = 0;
        for (const char* nick : {"BOB", "ANNA", "O'HARA"}) {
            QCOMPARE(db.scoreCorrectAnswer(nick, &score), DbStatus::Ok);
            QCOMPARE(db.scoreCorrectAnswer(nick, &score), DbStatus::Ok);
        }
        QCOMPARE(db.setScore("BOB", 7), DbStatus::Ok);
    }

    void openWindow() {
        window_ = std::make_unique<ScoreEditorWindow>(folder_->path());
        window_->show();
        search_ = child<QLineEdit>(window_.get(), "txtSearch");
        score_ = child<QLineEdit>(window_.get(), "txtScore");
    }

private Q_SLOTS:
    void init() {
        folder_ = std::make_unique<QTemporaryDir>();
        MessageBox::setTestMode(true, true);
        MessageBox::clearShown();
        seedPlayers();
        openWindow();
    }
    void cleanup() { window_.reset(); }

    void controlsAreNamed() {
        QCOMPARE(window_->objectName(), QString("frmEditScores"));
        QCOMPARE(window_->windowTitle(), QString("Edit Scores"));
        QCOMPARE(child<QGroupBox>(window_.get(), "Frame2")->title(), QString("Edit Player`s Score"));
        QCOMPARE(child<QMenu>(window_.get(), "mnu_Reset")->title(), QString("Re&set Scores"));
        QCOMPARE(window_->findChild<QAction*>("mnuResetAll")->text(), QString("Reset &All Scores"));
        QCOMPARE(search_->maxLength(), 39);
        QCOMPARE(score_->maxLength(), 9);
    }

    void find_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("score");
        QTest::newRow("spaces and lower case") << "  bob "
                                               << "7";
        QTest::newRow("quote in nick") << "o'hara"
                                       << "2";
        QTest::newRow("unknown") << "nobody"
                                 << "";
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("sql") << "x' OR '1'='1"
                             << "";
    }
    void find() {
        QFETCH(QString, typed);
        QFETCH(QString, score);
        score_->setText("99");
        find(typed);
        QCOMPARE(score_->text(), score);
        if (score.isEmpty()) {
            QCOMPARE(shownTexts(), QStringList{"Nick Name Not Found"});
            QCOMPARE(lastIcon(), MessageBox::Icon::Information);
            QCOMPARE(search_->selectedText(), typed);
            QCOMPARE(window_->focusWidget(), search_);
        } else {
            QVERIFY(shownTexts().isEmpty());
        }
    }

    void updateNeedsAFoundPlayerAndAScore() {
        QTest::keyClicks(score_, "5");
        click("cmdUpdate");
        find(" bob");
        score_->clear();
        QTest::keyClicks(score_, "0042");
        click("cmdUpdate");
        QCOMPARE(pointsOf("BOB"), 42);
        QCOMPARE(score_->text(), QString("0042"));
        score_->clear();
        click("cmdUpdate");
        find("nobody");
        QTest::keyClicks(score_, "1");
        click("cmdUpdate");
        QCOMPARE(shownTexts(), QStringList({"You must find a player first", "Please Enter A Score Vaule",
                                            "Nick Name Not Found", "You must find a player first"}));
        QCOMPARE(pointsOf("BOB"), 42);
    }

    void scoreBoxTakesDigitsOnly() {
        QTest::keyClicks(score_, "1a-. 2x,3");
        QCOMPARE(score_->text(), QString("123"));
        QTest::keyClick(score_, Qt::Key_Backspace);
        QCOMPARE(score_->text(), QString("12"));
        QTest::keyClicks(score_, "34567890123");
        QCOMPARE(score_->text(), QString("123456789"));
        // Text that arrives without typing (a paste from the context menu) is refused at Update.
        find("bob");
        score_->setText("4 2");
        click("cmdUpdate");
        QCOMPARE(lastIcon(), MessageBox::Icon::Exclamation);
        QVERIFY(shownTexts().last().contains("4 2"));
        QCOMPARE(pointsOf("BOB"), 7);
    }

    void resetAllDeletesEveryRow() {
        find("anna");
        window_->findChild<QAction*>("mnuResetAll")->trigger();
        QVERIFY(shownTexts().isEmpty());
        QCOMPARE(pointsOf("BOB"), std::nullopt);
        QCOMPARE(pointsOf("ANNA"), std::nullopt);
        // The found flag survives: the update runs, changes nothing and says nothing.
        click("cmdUpdate");
        QVERIFY(shownTexts().isEmpty());
        QCOMPARE(pointsOf("ANNA"), std::nullopt);
        find("bob");
        QCOMPARE(shownTexts(), QStringList{"Nick Name Not Found"});
        qint64 score = 0;
        QCOMPARE(TriviaDatabase(folder_->path()).scoreCorrectAnswer("BOB", &score), DbStatus::Ok);
        QCOMPARE(score, 1);
    }

    void unusableDatabaseIsReported() {
        find("bob");
        writeFile(folder_->path() + "/Trivia.mdb", QByteArray(8192, '\x7f'));
        find("bob");
        QTest::keyClicks(score_, "3");
        click("cmdUpdate");
        window_->findChild<QAction*>("mnuResetAll")->trigger();
        // A Find that could not look the nick up leaves no player found.
        QCOMPARE(MessageBox::shown().size(), std::size_t(3));
        QCOMPARE(shownTexts().at(1), QString("You must find a player first"));
        for (std::size_t i : {0, 2}) {
            const MessageBox::Shown& shown = MessageBox::shown().at(i);
            QCOMPARE(shown.icon, MessageBox::Icon::Exclamation);
            QVERIFY2(shown.text.contains("Trivia.mdb"), qPrintable(shown.text));
        }
        QCOMPARE(readFile(folder_->path() + "/Trivia.mdb"), QByteArray(8192, '\x7f'));
        // Once the file is usable again, so is the window.
        QVERIFY(QFile::remove(folder_->path() + "/Trivia.mdb"));
        MessageBox::clearShown();
        find("bob");
        QCOMPARE(shownTexts(), QStringList{"Nick Name Not Found"});
    }
};

QTEST_MAIN(ScoreEditorTest)
#include "tst_scoreeditor.moc"
