#include "AdminTestKit.h"

#include "admin/CategoryEditorWindow.h"
#include "data/SettingsStore.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>

#include <memory>

using namespace palvuro;
using namespace palvuro::admintest;

static PrivateConfigHome configHome;

namespace {

// The window and its controls, found by their names.
struct Editor {
    std::unique_ptr<CategoryEditorWindow> window;
    QComboBox* category;
    QLineEdit* newCategory;
    QPlainTextEdit* question;
    QPlainTextEdit* answer;
    QPlainTextEdit* editQ;
    QPlainTextEdit* editA;

    explicit Editor(const QString& folder)
        : window(std::make_unique<CategoryEditorWindow>(folder)),
          category(child<QComboBox>(window.get(), "CCatorgy")),
          newCategory(child<QLineEdit>(window.get(), "txtAddCatergory")),
          question(child<QPlainTextEdit>(window.get(), "txt_Question")),
          answer(child<QPlainTextEdit>(window.get(), "txtAnswer")),
          editQ(child<QPlainTextEdit>(window.get(), "txtEditQ")),
          editA(child<QPlainTextEdit>(window.get(), "txtEditA")) {
        window->show();
    }

    void click(const char* name) {
        QTest::mouseClick(child<QPushButton>(window.get(), name), Qt::LeftButton);
    }
    QStringList items() const {
        QStringList names;
        for (int i = 0; i < category->count(); ++i)
            names << category->itemText(i);
        return names;
    }
    void addPair(const QString& q, const QString& a) {
        question->setPlainText(q);
        answer->setPlainText(a);
        click("cmdAdd");
    }
    void type(QPlainTextEdit* box, const QString& text) {
        box->clear();
        QTest::keyClicks(box, text);
    }
};

// The next control that Tab reaches: the focus chain skips frames, labels and the inner
// parts of a control (the category box's edit line).
QWidget* nextTabStop(QWidget* from) {
    QWidget* next = from->nextInFocusChain();
    while (!(next->focusPolicy() & Qt::TabFocus) || next->objectName().isEmpty() || next->focusProxy())
        next = next->nextInFocusChain();
    return next;
}

} // namespace

class CategoryEditorTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> folder_;
    QString path() const { return folder_->path(); }

    void artAndHistory() {
        addCategory(path(), "ART", {{"WHO PAINTED GUERNICA?", "PICASSO"}});
        addCategory(path(), "HISTORY",
                    {{"WHO WAS FIRST", "ADAM"}, {"WHO WAS FIRST", "EVE"}, {"CAPITAL OF FRANCE", "PARIS"}});
    }

private Q_SLOTS:
    void init() {
        folder_ = std::make_unique<QTemporaryDir>();
        MessageBox::setTestMode(true, true);
        MessageBox::clearShown();
        SettingsStore::remove(SettingsStore::Category);
    }

    void controlsAreNamed() {
        artAndHistory();
        Editor e(path());
        QCOMPARE(e.window->objectName(), QString("frmCatergories"));
        QCOMPARE(e.window->windowTitle(), QString("Add Categories / Questions"));
        QVERIFY(e.window->isWindow());
        QVERIFY(e.window->testAttribute(Qt::WA_DeleteOnClose));
        QCOMPARE(child<QPushButton>(e.window.get(), "cmdAddCatergory")->text(), QString("&Add Caterory"));
        QCOMPARE(child<QPushButton>(e.window.get(), "cmdAdd")->text(), QString("A&dd"));
        QCOMPARE(e.newCategory->maxLength(), 64);
        // Tab order from the category box through the finder's buttons.
        const char* order[] = {"CCatorgy",     "cmdDelete", "txtAddCatergory", "cmdAddCatergory",
                               "txt_Question", "txtAnswer", "cmdAdd",          "cmdUpdate",
                               "txtEditQ",     "txtEditA",  "cmdSearchQ",      "cmdSearchA",
                               "cmdDeleteQA"};
        QWidget* current = child<QWidget>(e.window.get(), order[0]);
        for (std::size_t i = 1; i < std::size(order); ++i) {
            current = nextTabStop(current);
            QCOMPARE(current->objectName(), QString(order[i]));
        }
    }

    void loadOpensRememberedCategory_data() {
        QTest::addColumn<QString>("remembered");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("keyAfter");
        QTest::newRow("nothing remembered") << ""
                                            << "ART"
                                            << "";
        QTest::newRow("HISTORY remembered") << "HISTORY"
                                            << "HISTORY"
                                            << "HISTORY";
        QTest::newRow("gone category forgotten") << "OLD"
                                                 << "ART"
                                                 << "";
    }
    void loadOpensRememberedCategory() {
        QFETCH(QString, remembered);
        QFETCH(QString, shown);
        QFETCH(QString, keyAfter);
        artAndHistory();
        SettingsStore::write(SettingsStore::Category, remembered);
        Editor e(path());
        QCOMPARE(e.items(), QStringList({"ART", "HISTORY"}));
        QCOMPARE(e.category->currentText(), shown);
        QCOMPARE(SettingsStore::read(SettingsStore::Category), keyAfter);
        e.addPair("q", "a");
        QVERIFY(pairsOf(path(), shown).contains("Q/A"));
        QVERIFY(shownTexts().isEmpty());
    }

    void typingIntoCategoryBoxChangesNothing() {
        artAndHistory();
        Editor e(path());
        QLineEdit* line = e.category->lineEdit();
        QTest::keyClicks(line, "xyz 1");
        QTest::keyClick(line, Qt::Key_Backspace);
        QTest::keyClick(line, Qt::Key_Delete);
        QTest::keyClick(line, Qt::Key_Return);
        QCOMPARE(e.category->currentText(), QString("ART"));
        QCOMPARE(e.items(), QStringList({"ART", "HISTORY"}));
        // The arrow keys still pick, and a pick is remembered.
        QTest::keyClick(line, Qt::Key_Down);
        QCOMPARE(e.category->currentText(), QString("HISTORY"));
        QCOMPARE(SettingsStore::read(SettingsStore::Category), QString("HISTORY"));
        e.addPair("new one", "x");
        QCOMPARE(pairsOf(path(), "HISTORY").last(), QString("NEW ONE/X"));
    }

    void createCategory_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("items");
        const QStringList before{"ART", "HISTORY"};
        QTest::newRow("Movies with spaces") << "  Movies "
                                            << "" << (before + QStringList{"Movies"});
        QTest::newRow("listed") << "HISTORY"
                                << "This catergory already exists" << before;
        QTest::newRow("other case of existing table") << "History"
                                                      << "Faild to add catergory" << before;
        QTest::newRow("blank inside") << "World Capitals"
                                      << "Faild to add catergory" << before;
        QTest::newRow("only spaces") << "   "
                                     << "Faild to add catergory" << before;
        QTest::newRow("empty") << ""
                               << "" << before;
        QTest::newRow("sql in the name") << "x]; DROP TABLE ART; --"
                                         << "Faild to add catergory" << before;
    }
    void createCategory() {
        QFETCH(QString, typed);
        QFETCH(QString, message);
        QFETCH(QStringList, items);
        artAndHistory();
        Editor e(path());
        e.newCategory->setText(typed);
        e.click("cmdAddCatergory");
        QCOMPARE(e.items(), items);
        QCOMPARE(shownTexts(), message.isEmpty() ? QStringList() : QStringList{message});
        if (!message.isEmpty()) {
            QCOMPARE(lastIcon(), MessageBox::Icon::Exclamation);
            QCOMPARE(e.newCategory->text(), typed);
            QCOMPARE(e.category->currentText(), QString("ART"));
        }
        if (items.size() == 3) {
            QCOMPARE(e.category->currentText(), QString("Movies"));
            QVERIFY(e.newCategory->text().isEmpty());
            e.addPair("q", "a");
            QCOMPARE(pairsOf(path(), "MOVIES"), QStringList{"Q/A"});
            Editor reopened(path());
            QCOMPARE(reopened.items(), QStringList({"ART", "HISTORY", "MOVIES"}));
        }
        QCOMPARE(pairsOf(path(), "ART").size(), 1);
    }

    void deleteCategory() {
        artAndHistory();
        Editor e(path());
        MessageBox::setTestMode(true, false);
        e.click("cmdDelete");
        QCOMPARE(shownTexts(), QStringList{"Are you sure you want to\r\ndelete this category ?"});
        QCOMPARE(e.items(), QStringList({"ART", "HISTORY"}));
        QCOMPARE(pairsOf(path(), "ART").size(), 1);

        MessageBox::setTestMode(true, true);
        e.click("cmdDelete");
        QCOMPARE(e.items(), QStringList{"HISTORY"});
        QCOMPARE(e.category->currentText(), QString("HISTORY"));
        QCOMPARE(SettingsStore::read(SettingsStore::Category), QString("HISTORY"));
        QVERIFY(pairsOf(path(), "ART").isEmpty());
        e.addPair("q", "a");
        QCOMPARE(pairsOf(path(), "HISTORY").last(), QString("Q/A"));

        e.click("cmdDelete");
        QVERIFY(e.items().isEmpty());
        QVERIFY(e.category->currentText().isEmpty());
        QCOMPARE(SettingsStore::read(SettingsStore::Category), QString());
        MessageBox::clearShown();
        e.addPair("q", "a");
        e.click("cmdDelete");
        e.addPair("", "a");
        QCOMPARE(shownTexts(), QStringList({"No catorgies to add to.", "No catorgies to delete.",
                                            "Please include your question and answer first."}));
        Editor reopened(path());
        QVERIFY(reopened.items().isEmpty());
    }

    void deleteRemovesEntryOfRememberedNameInOtherCase() {
        artAndHistory();
        SettingsStore::write(SettingsStore::Category, "history");
        Editor e(path());
        QCOMPARE(e.category->currentText(), QString("history"));
        e.click("cmdDelete");
        QCOMPARE(e.items(), QStringList{"ART"});
    }

    void addPairIsTrimmedAndUpperCased() {
        artAndHistory();
        Editor e(path());
        e.type(e.question, " what is the capital of france? ");
        e.type(e.answer, " paris");
        e.click("cmdAdd");
        QVERIFY(shownTexts().isEmpty());
        QVERIFY(e.question->toPlainText().isEmpty());
        QVERIFY(e.answer->toPlainText().isEmpty());
        QCOMPARE(pairsOf(path(), "ART").last(), QString("WHAT IS THE CAPITAL OF FRANCE?/PARIS"));
        e.addPair("   ", "\tx\n");
        QCOMPARE(pairsOf(path(), "ART").last(), QString("/\tX\n"));
    }

    void pairBoxesHoldAtMost255Characters() {
        Editor e(path());
        QTest::keyClicks(e.question, QString(300, 'q'));
        QCOMPARE(e.question->toPlainText().size(), 255);
        e.editA->setPlainText(QString(254, 'a'));
        QTextCursor cursor(e.editA->document());
        cursor.insertText("XYZ");
        QCOMPARE(e.editA->toPlainText(), "X" + QString(254, 'a'));
    }

    void finderChangesAndDeletesTheFoundRow() {
        artAndHistory();
        SettingsStore::write(SettingsStore::Category, "HISTORY");
        Editor e(path());
        e.click("cmdUpdate");
        e.click("cmdDeleteQA");
        QCOMPARE(shownTexts(), QStringList({"You must find a question or answer before you can update it.",
                                            "You must find a question or answer before you can delete it."}));
        MessageBox::clearShown();

        e.type(e.editQ, "  who was first ");
        e.click("cmdSearchQ");
        QCOMPARE(e.editQ->toPlainText(), QString("WHO WAS FIRST"));
        QCOMPARE(e.editA->toPlainText(), QString("ADAM"));
        e.click("cmdDeleteQA");
        QVERIFY(e.editQ->toPlainText().isEmpty() && e.editA->toPlainText().isEmpty());
        e.click("cmdDeleteQA");
        e.type(e.editQ, "who was first");
        e.click("cmdSearchQ");
        QCOMPARE(e.editA->toPlainText(), QString("EVE"));

        // An empty search box keeps the found pair; an emptied box refuses the change.
        e.editQ->clear();
        e.click("cmdSearchQ");
        e.editA->clear();
        e.click("cmdUpdate");
        e.editQ->setPlainText(" who was second ");
        e.editA->setPlainText("eve ");
        e.click("cmdUpdate");
        e.click("cmdUpdate");
        QCOMPARE(shownTexts(),
                 QStringList({"You must find a question or answer before you can delete it.",
                              "Please enter question.", "Please include your question and answer.",
                              "You must find a question or answer before you can update it."}));
        QCOMPARE(pairsOf(path(), "HISTORY"), QStringList({"WHO WAS SECOND/EVE", "CAPITAL OF FRANCE/PARIS"}));
    }

    void answerIsNotTrimmed() {
        artAndHistory();
        SettingsStore::write(SettingsStore::Category, "HISTORY");
        Editor e(path());
        e.type(e.editA, " paris");
        e.click("cmdSearchA");
        QCOMPARE(shownTexts(), QStringList{"Cannot find answer"});
        QCOMPARE(lastIcon(), MessageBox::Icon::Information);
        QCOMPARE(e.editA->textCursor().selectedText(), QString(" paris"));
        QCOMPARE(e.window->focusWidget(), e.editA);
        e.click("cmdUpdate");
        QCOMPARE(shownTexts().last(),
                 QString("You must find a question or answer before you can update it."));
        e.type(e.editA, "paris");
        e.click("cmdSearchA");
        QCOMPARE(e.editQ->toPlainText(), QString("CAPITAL OF FRANCE"));
    }

    void quotesInStoredText_data() {
        QTest::addColumn<QString>("stored");
        QTest::newRow("double quote") << "WHO SAID \"HI\"?";
        QTest::newRow("single quote") << "IT'S WHOSE?";
        QTest::newRow("both and sql") << "\"'; DELETE FROM ART; --";
    }
    void quotesInStoredText() {
        QFETCH(QString, stored);
        artAndHistory();
        addCategory(path(), "QUOTES", {{stored, stored}});
        SettingsStore::write(SettingsStore::Category, "QUOTES");
        Editor e(path());
        e.type(e.editQ, stored.toLower());
        e.click("cmdSearchQ");
        e.click("cmdSearchA");
        QVERIFY2(shownTexts().isEmpty(), qPrintable(shownTexts().join('|')));
        QCOMPARE(e.editA->toPlainText(), stored);
        QCOMPARE(pairsOf(path(), "ART").size(), 1);
    }

    void foundRowStaysInSearchedTable() {
        artAndHistory();
        Editor e(path());
        e.type(e.editA, "picasso");
        e.click("cmdSearchA");
        QTest::keyClick(e.category->lineEdit(), Qt::Key_Down);
        QCOMPARE(e.category->currentText(), QString("HISTORY"));
        e.editA->setPlainText("dali");
        e.click("cmdUpdate");
        QCOMPARE(pairsOf(path(), "ART"), QStringList{"WHO PAINTED GUERNICA?/DALI"});
        QCOMPARE(pairsOf(path(), "HISTORY").size(), 3);
    }

    void nullValueIsShownEmptyAndExplained() {
        artAndHistory();
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "nulls");
            db.setDatabaseName(path() + "/Trivia.mdb");
            QVERIFY(db.open());
            QVERIFY(QSqlQuery(db).exec("INSERT INTO ART (Questions, Answers) VALUES (NULL, 'NOBODY')"));
        }
        QSqlDatabase::removeDatabase("nulls");
        Editor e(path());
        e.type(e.editA, "nobody");
        e.click("cmdSearchA");
        QCOMPARE(MessageBox::shown().size(), std::size_t(1));
        QCOMPARE(lastIcon(), MessageBox::Icon::Information);
        QVERIFY(e.editQ->toPlainText().isEmpty());
        QCOMPARE(e.editA->toPlainText(), QString("NOBODY"));
        e.editQ->setPlainText("who?");
        e.click("cmdUpdate");
        QCOMPARE(pairsOf(path(), "ART").last(), QString("WHO?/NOBODY"));
    }

    void unusableDatabaseIsReportedAndWindowStaysUsable() {
        writeFile(path() + "/Trivia.mdb", QByteArray(4096, 'x'));
        Editor e(path());
        QCOMPARE(MessageBox::shown().size(), std::size_t(1));
        QCOMPARE(lastIcon(), MessageBox::Icon::Exclamation);
        QVERIFY(shownTexts().first().contains("Trivia.mdb"));
        QVERIFY(e.items().isEmpty());
        MessageBox::clearShown();
        e.addPair("q", "a");
        e.newCategory->setText("ART");
        e.click("cmdAddCatergory");
        e.type(e.editQ, "q");
        e.click("cmdSearchQ");
        const QStringList texts = shownTexts();
        QCOMPARE(texts.size(), 3);
        QCOMPARE(texts.at(0), QString("No catorgies to add to."));
        QCOMPARE(texts.at(1), QString("Faild to add catergory"));
        QCOMPARE(readFile(path() + "/Trivia.mdb"), QByteArray(4096, 'x'));
    }
};

QTEST_MAIN(CategoryEditorTest)
#include "tst_categoryeditor.moc"
