// The three admin windows: categories and questions, scores, the users list.
#include "admin/CategoryEditorWindow.h"
#include "admin/ScoreEditorWindow.h"
#include "admin/UsersEditor.h"
#include "admin/UsersEditorWindow.h"
#include "data/SettingsStore.h"
#include "data/TriviaDatabase.h"
#include "data/UsersList.h"
#include "platform/MessageBox.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtTest>
#include <QtWidgets>

#include <map>
#include <memory>
#include <optional>

using namespace palvuro;

namespace {

// Points the per-user settings at a private folder before anything creates a QSettings.
struct PrivateConfigHome {
    QTemporaryDir dir;
    PrivateConfigHome() { qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.path())); }
} configHome;

template <typename T> T* child(QWidget* window, const char* name) {
    return window->findChild<T*>(QString::fromLatin1(name));
}

void click(QWidget* window, const char* name) {
    QTest::mouseClick(child<QPushButton>(window, name), Qt::LeftButton);
}

// SQL run on the folder's database by a connection of its own.
QSqlQuery rawQuery(const QString& folder, const QString& sql) {
    QSqlDatabase db = QSqlDatabase::database(QStringLiteral("raw"), false);
    if (!db.isValid())
        db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("raw"));
    db.close();
    db.setDatabaseName(folder + QStringLiteral("/Trivia.mdb"));
    db.open();
    QSqlQuery query(db);
    query.exec(sql);
    return query;
}

// Every pair of a table in row order, "QUESTION/ANSWER" (null shown as <null>).
QStringList pairsOf(const QString& folder, const QString& table) {
    QSqlQuery query =
        rawQuery(folder, QStringLiteral("SELECT Questions, Answers FROM \"%1\" ORDER BY rowid").arg(table));
    QStringList rows;
    const auto text = [&](int column) {
        return query.value(column).isNull() ? QStringLiteral("<null>") : query.value(column).toString();
    };
    while (query.next())
        rows << text(0) + QLatin1Char('/') + text(1);
    return rows;
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// One step on the category window: "new:TEXT" and "q:", "a:", "findQ:", "findA:" (the boxes), "add:Q/A",
// "cmdNAME" (a click), "type:TEXT" and "down" into the category box, "yes"/"no" (the answer to questions),
// "reopen"; and checks: "=category:", "=setting:", "=items:A,B", "=table:NAME=Q/A|Q/A", "=selectedA:",
// "=new:", "=BOX:TEXT".
void categoryStep(std::unique_ptr<CategoryEditorWindow>& window, const QString& folder, const QString& step) {
    const QString key = step.section(':', 0, 0), arg = step.section(':', 1);
    const std::map<QString, const char*> names = {
        {"q", "txt_Question"}, {"a", "txtAnswer"}, {"findQ", "txtEditQ"}, {"findA", "txtEditA"}};
    const auto box = [&](const QString& name) { return child<QPlainTextEdit>(window.get(), names.at(name)); };
    auto* category = child<QComboBox>(window.get(), "CCatorgy");
    auto* newCategory = child<QLineEdit>(window.get(), "txtAddCatergory");
    QStringList items;
    for (int i = 0; i < category->count(); ++i)
        items << category->itemText(i);
    if (step.startsWith("cmd")) {
        click(window.get(), qPrintable(step));
    } else if (step == "down") {
        QTest::keyClick(category->lineEdit(), Qt::Key_Down);
    } else if (key == "type") { // and the keys that would change it
        QTest::keyClicks(category->lineEdit(), arg);
        for (Qt::Key edit : {Qt::Key_Backspace, Qt::Key_Delete, Qt::Key_Return})
            QTest::keyClick(category->lineEdit(), edit);
    } else if (step == "yes" || step == "no") {
        MessageBox::setTestMode(true, step == "yes");
    } else if (step == "reopen") {
        window = std::make_unique<CategoryEditorWindow>(folder);
        window->show();
    } else if (key == "new") {
        newCategory->setText(arg);
    } else if (key == "add") {
        box("q")->setPlainText(arg.section('/', 0, 0));
        box("a")->setPlainText(arg.section('/', 1));
        click(window.get(), "cmdAdd");
    } else if (key == "=category") {
        QCOMPARE(category->currentText(), arg);
    } else if (key == "=setting") {
        QCOMPARE(SettingsStore::read(SettingsStore::Category), arg);
    } else if (key == "=items") {
        QCOMPARE(items.join(','), arg);
    } else if (key == "=new") {
        QCOMPARE(newCategory->text(), arg);
    } else if (key == "=table") {
        QCOMPARE(pairsOf(folder, arg.section('=', 0, 0)).join('|'), arg.section('=', 1));
    } else if (key == "=selectedA") {
        QVERIFY(box("findA")->textCursor().selectedText() == arg && window->focusWidget() == box("findA"));
    } else if (key.startsWith('=')) {
        QCOMPARE(box(key.mid(1))->toPlainText(), arg);
    } else {
        box(key)->setPlainText(arg);
    }
}

// One step on the score window, opened on BOB 7, ANNA 2 and O'HARA 2: "find:NICK" (typed afresh),
// "score:TEXT" (typed afresh), "type:TEXT" (typed on), "paste:TEXT", "backspace", "cmdUpdate", "reset"
// (the menu), "junk"/"unjunk" (the database file spoiled/removed); checks "=score:", "=points:NICK=N"
// (empty: no row), "=selected:TEXT" (the search box's text selected and focused), "=junk" (left as it was).
void scoreStep(QWidget* window, const QString& folder, const QString& step) {
    const QString key = step.section(':', 0, 0), arg = step.section(':', 1);
    auto* search = child<QLineEdit>(window, "txtSearch");
    auto* score = child<QLineEdit>(window, "txtScore");
    const QString file = folder + "/Trivia.mdb";
    if (key == "find") {
        search->clear();
        QTest::keyClicks(search, arg);
        click(window, "cmdFind");
    } else if (key == "score" || key == "type") {
        if (key == "score")
            score->clear();
        QTest::keyClicks(score, arg);
    } else if (key == "paste") {
        score->setText(arg);
    } else if (step == "backspace") {
        QTest::keyClick(score, Qt::Key_Backspace);
    } else if (step.startsWith("cmd")) {
        click(window, qPrintable(step));
    } else if (step == "reset") {
        window->findChild<QAction*>("mnuResetAll")->trigger();
    } else if (step == "junk" || step == "=junk") {
        if (step == "junk")
            writeFile(file, QByteArray(8192, '\x7f'));
        QCOMPARE(readFile(file), QByteArray(8192, '\x7f'));
    } else if (step == "unjunk") {
        QVERIFY(QFile::remove(file));
    } else if (key == "=score") {
        QCOMPARE(score->text(), arg);
    } else if (key == "=selected") {
        QVERIFY(search->selectedText() == arg && window->focusWidget() == search);
    } else if (key == "=points") {
        std::optional<qint64> points;
        QCOMPARE(TriviaDatabase(folder).lookupScore(arg.section('=', 0, 0), &points), DbStatus::Ok);
        QCOMPARE(points ? QString::number(*points) : QString(), arg.section('=', 1));
    } else {
        QFAIL(qPrintable("bad step " + step));
    }
}

QStringList itemsOf(QListWidget* list) {
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts << list->item(i)->text();
    return texts;
}

// Each shown message as "icon:text": n, i, e, c for none, information, exclamation, critical.
QStringList shownWithIcons() {
    QStringList out;
    for (const MessageBox::Shown& shown : MessageBox::shown())
        out << QString("niec").at(int(shown.icon)) + QStringLiteral(":") + shown.text;
    return out;
}

// Messages against their expected "icon:text" or, with a star, "icon:*part of the text".
bool shownAre(const QStringList& expected) {
    const QStringList all = shownWithIcons();
    for (int i = 0; i < all.size() && all.size() == expected.size(); ++i) {
        const QString& wanted = expected[i];
        const bool part = wanted.size() > 1 && wanted[2] == '*';
        if (part ? !(all[i].startsWith(wanted.left(2)) && all[i].contains(wanted.mid(3))) : all[i] != wanted)
            return false;
    }
    return all.size() == expected.size();
}
#define VERIFY_SHOWN(...) QVERIFY2(shownAre(QStringList{__VA_ARGS__}), qPrintable(shownWithIcons().join('|')))

// One step on the users window: "nick:TEXT", "mode:add|del|edit", "select:ROW", "exe", "refusedClose",
// "expectNick:TEXT".
void runStep(QWidget* window, const QString& step) {
    const QString arg = step.section(':', 1);
    auto* users = child<QListWidget>(window, "listUsers");
    auto* nick = child<QLineEdit>(window, "txtNick");
    if (step.startsWith("nick:")) {
        nick->setText(arg);
    } else if (step.startsWith("mode:")) {
        auto* option = child<QRadioButton>(window, arg == "add"   ? "optAdd"
                                                   : arg == "del" ? "optDel"
                                                                  : "optMod");
        QTest::mouseClick(option, Qt::LeftButton, {}, QPoint(6, option->height() / 2));
        QVERIFY(option->isChecked());
    } else if (step.startsWith("select:")) {
        QListWidgetItem* item = users->item(arg.toInt());
        QTest::mouseClick(users->viewport(), Qt::LeftButton, {}, users->visualItemRect(item).center());
        QVERIFY(item->isSelected());
    } else if (step == "exe") {
        click(window, "cmdExe");
    } else if (step == "refusedClose") {
        QVERIFY(!window->close() && window->isVisible());
    } else if (step.startsWith("expectNick:")) {
        QCOMPARE(nick->text(), arg);
    } else {
        QFAIL(qPrintable("bad step " + step));
    }
}

void closeAndWait(QPointer<UsersEditorWindow>& window) {
    QVERIFY(window->close());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(window.isNull());
}

} // namespace

class EditorsTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> folder_;
    QString path() const { return folder_->path(); }
    QString usersFile() const { return folder_->filePath("Users List.txt"); }

    void artAndHistory() {
        TriviaDatabase db(path());
        QVERIFY(db.createCategory("ART") == DbStatus::Ok && db.createCategory("HISTORY") == DbStatus::Ok);
        for (const char* pair : {"ART/WHO PAINTED GUERNICA?/PICASSO", "HISTORY/WHO WAS FIRST/ADAM",
                                 "HISTORY/WHO WAS FIRST/EVE", "HISTORY/CAPITAL OF FRANCE/PARIS"}) {
            const QStringList f = QString(pair).split('/');
            QCOMPARE(db.addPair(f[0], f[1], f[2]), DbStatus::Ok);
        }
    }

private Q_SLOTS:
    void init() {
        folder_ = std::make_unique<QTemporaryDir>();
        MessageBox::setTestMode(true, true);
        MessageBox::clearShown();
        SettingsStore::remove(SettingsStore::Category);
    }

    void windowsAreNamed() {
        CategoryEditorWindow categories(path());
        ScoreEditorWindow scores(path());
        QPointer<UsersEditorWindow> users = new UsersEditorWindow(path());
        QCOMPARE(categories.objectName() + '|' + categories.windowTitle(),
                 QString("frmCatergories|Add Categories / Questions"));
        QCOMPARE(scores.objectName() + '|' + scores.windowTitle(), QString("frmEditScores|Edit Scores"));
        QCOMPARE(users->objectName() + '|' + users->windowTitle(), QString("frmTriviaUsers|User Editor"));
        QCOMPARE(child<QPushButton>(&categories, "cmdAddCatergory")->text(), QString("&Add Caterory"));
        QCOMPARE(child<QPushButton>(&categories, "cmdAdd")->text(), QString("A&dd"));
        QCOMPARE(child<QGroupBox>(&scores, "Frame2")->title(), QString("Edit Player`s Score"));
        QCOMPARE(child<QMenu>(&scores, "mnu_Reset")->title(), QString("Re&set Scores"));
        QCOMPARE(scores.findChild<QAction*>("mnuResetAll")->text(), QString("Reset &All Scores"));
        QCOMPARE(child<QPushButton>(users, "cmdExe")->text(), QString("&Excute"));
        QCOMPARE(child<QLineEdit>(&categories, "txtAddCatergory")->maxLength(), 64);
        QCOMPARE(child<QLineEdit>(&scores, "txtSearch")->maxLength(), 39);
        QCOMPARE(child<QLineEdit>(&scores, "txtScore")->maxLength(), 9);
        closeAndWait(users);
    }

    void pairBoxesHoldAtMost255Characters() {
        CategoryEditorWindow window(path());
        auto* question = child<QPlainTextEdit>(&window, "txt_Question");
        auto* answer = child<QPlainTextEdit>(&window, "txtEditA");
        QTest::keyClicks(question, QString(300, 'q'));
        QCOMPARE(question->toPlainText().size(), 255);
        answer->setPlainText(QString(254, 'a'));
        QTextCursor(answer->document()).insertText("XYZ");
        QCOMPARE(answer->toPlainText(), "X" + QString(254, 'a'));
    }

    // Steps are separated by ";; " (see categoryStep), the first may set up the database: ART and HISTORY
    // unless "@junk" (a file that is not a database), "@null" (a null question too) or "@remember:NAME";
    // messages are "icon:text" (see shownAre).
    void categoryScript_data() {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QStringList>("messages");
        const QString art = "=table:ART=WHO PAINTED GUERNICA?/PICASSO";
        const QString history = "=table:HISTORY=WHO WAS FIRST/ADAM|WHO WAS FIRST/EVE|CAPITAL OF FRANCE/PARIS";
        const QString failed = "e:Faild to add catergory";
        const QString noFind = "You must find a question or answer before you can ";
        const QString sure = "n:Are you sure you want to\r\ndelete this category ?";
        QTest::newRow("typing into the category box")
            << QString("type:xyz 1;; =category:ART;; =items:ART,HISTORY;; down;; =category:HISTORY;; "
                       "=setting:HISTORY;; add:new one/x;; " +
                       history + "|NEW ONE/X")
            << QStringList{};
        QTest::newRow("nothing remembered")
            << QString("=items:ART,HISTORY;; =category:ART;; =setting:;; add:q/a;; " + art + "|Q/A")
            << QStringList{};
        QTest::newRow("HISTORY remembered")
            << QString("@remember:HISTORY;; =category:HISTORY;; =setting:HISTORY;; add:q/a;; " + history +
                       "|Q/A")
            << QStringList{};
        QTest::newRow("gone category forgotten")
            << QString("@remember:OLD;; =items:ART,HISTORY;; =category:ART;; =setting:;; add:q/a;; " + art +
                       "|Q/A")
            << QStringList{};
        QTest::newRow("remembered in other case")
            << QString("@remember:history;; =category:history;; cmdDelete;; =items:ART") << QStringList{sure};
        QTest::newRow("new category")
            << QString("new:  Movies ;; cmdAddCatergory;; =items:ART,HISTORY,Movies;; =category:Movies;; "
                       "=new:;; add:q/a;; =table:MOVIES=Q/A;; reopen;; =items:ART,HISTORY,MOVIES;; " +
                       art)
            << QStringList{};
        QTest::newRow("listed category")
            << QString("new:HISTORY;; cmdAddCatergory;; =items:ART,HISTORY;; =new:HISTORY;; =category:ART")
            << QStringList{"e:This catergory already exists"};
        QTest::newRow("other case of a table")
            << QString("new:History;; cmdAddCatergory;; =items:ART,HISTORY;; =new:History")
            << QStringList{failed};
        QTest::newRow("no name") << QString("cmdAddCatergory;; =items:ART,HISTORY") << QStringList{};
        QTest::newRow("sql in the name")
            << QString("new:x]; DROP TABLE ART; --;; cmdAddCatergory;; =items:ART,HISTORY;; " + art)
            << QStringList{failed};
        QTest::newRow("delete categories")
            << QString("no;; cmdDelete;; =items:ART,HISTORY;; " + art +
                       ";; yes;; cmdDelete;; =items:HISTORY;; =category:HISTORY;; =setting:HISTORY;; "
                       "=table:ART=;; add:q/a;; " +
                       history +
                       "|Q/A;; cmdDelete;; =items:;; =category:;; =setting:;; add:q/a;; cmdDelete;; add:/a;; "
                       "reopen;; =items:")
            << QStringList{sure,
                           sure,
                           sure,
                           "e:No catorgies to add to.",
                           "e:No catorgies to delete.",
                           "e:Please include your question and answer first."};
        QTest::newRow("pair trimmed and upper-cased")
            << QString("q: what is the capital of france? ;; a: paris;; cmdAdd;; =q:;; =a:;; q:   ;; "
                       "a:\tx\n;; cmdAdd;; " +
                       art + "|WHAT IS THE CAPITAL OF FRANCE?/PARIS|/\tX\n")
            << QStringList{};
        QTest::newRow("finder changes and deletes the found row")
            << QString("@remember:HISTORY;; cmdUpdate;; cmdDeleteQA;; findQ:  who was first ;; cmdSearchQ;; "
                       "=findQ:WHO WAS "
                       "FIRST;; =findA:ADAM;; cmdDeleteQA;; =findQ:;; =findA:;; cmdDeleteQA;; findQ:who was "
                       "first;; cmdSearchQ;; =findA:EVE;; findQ:;; cmdSearchQ;; findA:;; cmdUpdate;; findQ: "
                       "who was second ;; findA:eve ;; cmdUpdate;; cmdUpdate;; =table:HISTORY=WHO WAS "
                       "SECOND/EVE|CAPITAL OF FRANCE/PARIS")
            << QStringList{"e:" + noFind + "update it.",
                           "e:" + noFind + "delete it.",
                           "e:" + noFind + "delete it.",
                           "e:Please enter question.",
                           "e:Please include your question and answer.",
                           "e:" + noFind + "update it."};
        QTest::newRow("answer is not trimmed")
            << QString("@remember:HISTORY;; findA: paris;; cmdSearchA;; =selectedA: paris;; cmdUpdate;; "
                       "findA:paris;; "
                       "cmdSearchA;; =findQ:CAPITAL OF FRANCE")
            << QStringList{"i:Cannot find answer", "e:" + noFind + "update it."};
        QTest::newRow("found row stays in its table")
            << QString("findA:picasso;; cmdSearchA;; down;; =category:HISTORY;; findA:dali;; cmdUpdate;; "
                       "=table:ART=WHO PAINTED GUERNICA?/DALI;; " +
                       history)
            << QStringList{};
        QTest::newRow("null value shown empty")
            << QString(
                   "@null;; findA:nobody;; cmdSearchA;; =findQ:;; =findA:NOBODY;; findQ:who?;; cmdUpdate;; " +
                   art + "|WHO?/NOBODY")
            << QStringList{"i:*"};
        QTest::newRow("unusable database")
            << QString("@junk;; =items:;; add:q/a;; new:ART;; cmdAddCatergory;; findQ:q;; cmdSearchQ")
            << QStringList{"e:*Trivia.mdb", "e:No catorgies to add to.", failed, "e:*"};
    }
    void categoryScript() {
        QFETCH(QString, steps);
        const QString setup = steps.startsWith('@') ? steps.section(";; ", 0, 0).mid(1) : QString();
        QFETCH(QStringList, messages);
        if (setup == "junk")
            writeFile(path() + "/Trivia.mdb", QByteArray(4096, 'x'));
        else
            artAndHistory();
        if (setup == "null")
            QVERIFY(
                rawQuery(path(), "INSERT INTO ART (Questions, Answers) VALUES (NULL, 'NOBODY')").isActive());
        if (setup.startsWith("remember:"))
            SettingsStore::write(SettingsStore::Category, setup.section(':', 1));
        auto window = std::make_unique<CategoryEditorWindow>(path());
        window->show();
        for (const QString& step : steps.split(";; ")) {
            if (!step.startsWith('@'))
                categoryStep(window, path(), step);
            if (QTest::currentTestFailed())
                return;
        }
        QVERIFY2(shownAre(messages), qPrintable(shownWithIcons().join('|')));
        if (setup == "junk")
            QCOMPARE(readFile(path() + "/Trivia.mdb"), QByteArray(4096, 'x'));
    }

    void scoreScript_data() {
        QTest::addColumn<QString>("steps"); // separated by ";; " (see scoreStep)
        QTest::addColumn<QStringList>("messages");
        const QString notFound = "i:Nick Name Not Found", findFirst = "e:You must find a player first";
        QTest::newRow("spaces and lower case")
            << QString("paste:99;; find:  bob ;; =score:7") << QStringList{};
        QTest::newRow("quote in nick") << QString("paste:99;; find:o'hara;; =score:2") << QStringList{};
        QTest::newRow("unknown") << QString("paste:99;; find:nobody;; =score:;; =selected:nobody")
                                 << QStringList{notFound};
        QTest::newRow("empty") << QString("paste:99;; find:;; =score:;; =selected:") << QStringList{notFound};
        QTest::newRow("update needs a found player and a score")
            << QString(
                   "score:5;; cmdUpdate;; find: bob;; score:0042;; cmdUpdate;; =points:BOB=42;; "
                   "=score:0042;; score:;; cmdUpdate;; find:nobody;; score:1;; cmdUpdate;; =points:BOB=42")
            << QStringList{findFirst, "e:Please Enter A Score Vaule", notFound, findFirst};
        QTest::newRow("digits only")
            << QString(
                   "type:1a-. 2x,3;; =score:123;; backspace;; =score:12;; type:34567890123;; "
                   "=score:123456789;; "
                   // Text that arrives without typing (a paste from the context menu) is refused at Update.
                   "find:bob;; paste:4 2;; cmdUpdate;; =points:BOB=7")
            << QStringList{"e:*4 2"};
        // The found flag survives a reset: the update runs, changes nothing and says nothing.
        QTest::newRow("reset deletes every row")
            << QString(
                   "find:anna;; reset;; =points:BOB=;; =points:ANNA=;; cmdUpdate;; =points:ANNA=;; find:bob")
            << QStringList{notFound};
        // A Find that could not look the nick up leaves no player found; once the file is usable again, so is
        // the window.
        QTest::newRow("unusable database")
            << QString("find:bob;; junk;; find:bob;; type:3;; cmdUpdate;; reset;; =junk;; unjunk;; find:bob")
            << QStringList{"e:*Trivia.mdb", findFirst, "e:*Trivia.mdb", notFound};
    }
    void scoreScript() {
        QFETCH(QString, steps);
        QFETCH(QStringList, messages);
        {
            TriviaDatabase db(path());
            qint64 points = 0;
            for (const char* nick : {"BOB", "ANNA", "O'HARA"})
                for (int i = 0; i < 2; ++i)
                    db.scoreCorrectAnswer(nick, &points);
            db.setScore("BOB", 7);
        }
        ScoreEditorWindow window(path());
        window.show();
        for (const QString& step : steps.split(";; ")) {
            scoreStep(&window, path(), step);
            if (QTest::currentTestFailed())
                return;
        }
        QVERIFY2(shownAre(messages), qPrintable(shownWithIcons().join('|')));
    }

    void usersScript_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("items");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QByteArray>("saved"); // "-": as it was
        const QByteArray amyBen = "\"Amy\"\r\n\"Ben\"\r\n";
        const QStringList both{"Amy", "Ben"};
        const QString marker = UsersList::deletedMarker();
        QTest::newRow("missing file is made empty")
            << QByteArray("<missing>") << QStringList{} << QStringList{} << QStringList{} << QByteArray();
        QTest::newRow("add") << amyBen << QStringList{"nick:bob", "exe", "expectNick:", "nick:bob", "exe"}
                             << QStringList{"Amy", "Ben", "bob", "bob"} << QStringList{}
                             << QByteArray(amyBen + "\"bob\"\r\n\"bob\"\r\n");
        QTest::newRow("add empty rewrites hand-written file")
            << QByteArray("alice, bob\r\n") << QStringList{"exe"} << QStringList{"alice", "bob"}
            << QStringList{"n:Please Include UserName"} << QByteArray("\"alice\"\r\n\"bob\"\r\n");
        QTest::newRow("delete") << amyBen << QStringList{"select:1", "mode:del", "exe"}
                                << QStringList{"Amy", marker} << QStringList{} << QByteArray("\"Amy\"\r\n");
        QTest::newRow("delete without selection")
            << amyBen << QStringList{"mode:del", "exe"} << both << QStringList{"i:Please Select User First"}
            << QByteArray("-");
        QTest::newRow("edit") << amyBen << QStringList{"mode:edit", "select:0", "expectNick:Amy",
                                                       "nick:Ann",  "exe",      "expectNick:"}
                              << QStringList{"Ann", "Ben"} << QStringList{}
                              << QByteArray("\"Ann\"\r\n\"Ben\"\r\n");
        QTest::newRow("edit refusals")
            << amyBen
            << QStringList{"nick:Zed", "mode:edit", "expectNick:Zed", "exe", "select:1", "nick:", "exe"}
            << both << QStringList{"i:Please Select User First", "n:Please Include UserName"}
            << QByteArray("-");
        QTest::newRow("deleted entry renamed")
            << amyBen
            << QStringList{"select:0",  "mode:del", "exe", "mode:edit", "select:0", "expectNick:" + marker,
                           "nick:Amy2", "exe"}
            << QStringList{"Amy2", "Ben"} << QStringList{} << QByteArray("\"Amy2\"\r\n\"Ben\"\r\n");
        QTest::newRow("marker typed is never saved")
            << amyBen << QStringList{"nick:" + marker, "exe"} << QStringList{"Amy", "Ben", marker}
            << QStringList{} << QByteArray("-");
        QTest::newRow("no data leaves file alone")
            << QByteArray() << QStringList{"mode:del", "exe", "mode:edit", "exe"} << QStringList{}
            << QStringList{"n:No data", "n:No data"} << QByteArray("-");
        QTest::newRow("failed save keeps the window open")
            << QByteArray("\"Amy\"\r\n")
            << QStringList{"nick:say \"hi\"", "exe",        "refusedClose", "mode:edit",
                           "select:1",        "nick:Sayhi", "exe"}
            << QStringList{"Amy", "Sayhi"} << QStringList{"e:*Users List.txt"}
            << QByteArray("\"Amy\"\r\n\"Sayhi\"\r\n");
        QTest::newRow("no press leaves odd file byte for byte")
            << QByteArray("alice, bob\n\"x\"  trailing\r\n\r\n") << QStringList{"mode:edit", "select:0"}
            << QStringList{"alice", "bob", "x", ""} << QStringList{} << QByteArray("-");
    }
    void usersScript() {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, steps);
        QFETCH(QStringList, items);
        QFETCH(QStringList, messages);
        QFETCH(QByteArray, saved);
        if (file != "<missing>")
            writeFile(usersFile(), file);
        QPointer<UsersEditorWindow> window = new UsersEditorWindow(path());
        window->show();
        QVERIFY(child<QRadioButton>(window, "optAdd")->isChecked());
        for (const QString& step : steps) {
            runStep(window, step);
            if (QTest::currentTestFailed())
                return;
        }
        QCOMPARE(itemsOf(child<QListWidget>(window, "listUsers")), items);
        QVERIFY2(shownAre(messages), qPrintable(shownWithIcons().join('|')));
        closeAndWait(window);
        QCOMPARE(readFile(usersFile()), saved == "-" ? file : saved);
    }

    void usersListHoldsAtMost32767Entries() {
        UsersEditor editor(QStringList(UsersEditor::MaxEntries - 1, "x"));
        QCOMPARE(editor.execute(UsersEditor::Mode::Add, "last", -1).change, UsersEditor::Change::Appended);
        const UsersEditor::Outcome refused = editor.execute(UsersEditor::Mode::Add, "one more", -1);
        QCOMPARE(refused.change, UsersEditor::Change::Nothing);
        QVERIFY(refused.notice && refused.notice->text.contains("32767"));
        QVERIFY(!refused.clearNick);
        QCOMPARE(editor.entries().size(), UsersEditor::MaxEntries);
        QCOMPARE(editor.entries().last(), QString("last"));
    }
};

QTEST_MAIN(EditorsTest)
#include "tst_editors.moc"
