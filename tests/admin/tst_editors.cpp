// The three admin windows: categories and questions, scores, the users list.
#include "admin/CategoryEditorWindow.h"
#include "admin/ScoreEditorWindow.h"
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
#include <optional>

using namespace palvuro;

namespace {

// The first value SQL yields on the folder's database, run by a connection of its own.
QString rawValue(const QString& folder, const QString& sql) {
    QSqlDatabase db = QSqlDatabase::contains(QStringLiteral("raw"))
                          ? QSqlDatabase::database(QStringLiteral("raw"), false)
                          : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("raw"));
    db.close();
    db.setDatabaseName(folder + QStringLiteral("/Trivia.mdb"));
    QSqlQuery query(db.open() ? db : QSqlDatabase());
    return query.exec(sql) && query.next() ? query.value(0).toString() : QString();
}

// Every pair of a table in row order, "QUESTION/ANSWER|..." (null shown as <null>).
QString pairsOf(const QString& folder, const QString& table) {
    return rawValue(
        folder, QStringLiteral("SELECT group_concat(ifnull(Questions, '<null>') || '/' || "
                               "ifnull(Answers, '<null>'), '|') FROM (SELECT * FROM \"%1\" ORDER BY rowid)")
                    .arg(table));
}

// The messages shown as "icon:text" (n, i, e, c: none, information, exclamation, critical); where the
// expected one is "icon:*part", any text holding the part stands as the expected one.
QStringList shownAs(const QStringList& expected) {
    QStringList out;
    for (const MessageBox::Shown& shown : MessageBox::shown()) {
        const QString text = QString("niec").at(int(shown.icon)) + QStringLiteral(":") + shown.text;
        const QString wanted = expected.value(out.size());
        const bool part =
            wanted.mid(2, 1) == "*" && text.startsWith(wanted.left(2)) && text.contains(wanted.mid(3));
        out << (part ? wanted : text);
    }
    return out;
}

const std::map<QString, QString> kShortNames = {
    {"q", "txt_Question"},   {"a", "txtAnswer"},    {"findQ", "txtEditQ"},    {"findA", "txtEditA"},
    {"search", "txtSearch"}, {"score", "txtScore"}, {"category", "CCatorgy"}, {"new", "txtAddCatergory"},
    {"nick", "txtNick"},     {"users", "listUsers"}};

QObject* control(QWidget* window, const QString& name) {
    const auto shortName = kShortNames.find(name);
    return window->findChild<QObject*>(shortName == kShortNames.end() ? name : shortName->second);
}

// The property that holds what a box shows.
const char* textProperty(QObject* object) {
    return qobject_cast<QComboBox*>(object)        ? "currentText"
           : qobject_cast<QPlainTextEdit*>(object) ? "plainText"
                                                   : "text";
}

// One step on a control, named by its object name or short name: "NAME" clicks or triggers it,
// "NAME=TEXT" sets its text as a paste would, "NAME+TEXT" types, "NAME<KEYS>" presses keys,
// "NAME@ROW" clicks a list row; checks: "NAME?TEXT" its text, "NAME#A,B" its items.
void controlStep(QWidget* window, const QString& step) {
    static const QRegularExpression form(QStringLiteral("^(\\w+)(?:([=+<@?#])(.*))?$"),
                                         QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch parts = form.match(step);
    QObject* object = parts.hasMatch() ? control(window, parts.captured(1)) : nullptr;
    QVERIFY2(object, qPrintable("bad step " + step));
    const QString op = parts.captured(2), arg = parts.captured(3);
    auto* combo = qobject_cast<QComboBox*>(object);
    QWidget* keyTarget = combo ? combo->lineEdit() : qobject_cast<QWidget*>(object); // an editable combo's
    if (op.isEmpty() && qobject_cast<QAction*>(object)) {
        qobject_cast<QAction*>(object)->trigger();
    } else if (op.isEmpty()) {
        auto* button = qobject_cast<QAbstractButton*>(object);
        QVERIFY2(button, qPrintable("bad step " + step));
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
    } else if (op == "=") {
        QVERIFY(object->setProperty(textProperty(object), arg));
    } else if (op == "+") {
        QTest::keyClicks(keyTarget, arg);
    } else if (op == "<") {
        const QKeySequence keys(arg.chopped(1));
        for (int i = 0; i < keys.count(); ++i)
            QTest::keyClick(keyTarget, keys[i].key());
    } else if (op == "@") {
        auto* list = qobject_cast<QListWidget*>(object);
        QListWidgetItem* item = list->item(arg.toInt());
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(item).center());
    } else if (op == "?") {
        QCOMPARE(object->property(textProperty(object)).toString(), arg);
    } else {
        const QAbstractItemModel* model =
            combo ? combo->model() : qobject_cast<QListWidget*>(object)->model();
        QStringList items;
        for (int i = 0; i < model->rowCount(); ++i)
            items << model->index(i, 0).data().toString();
        QCOMPARE(items.join(','), arg);
    }
}

void closeAndWait(QPointer<QWidget>& window) {
    QVERIFY(window->close());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(window.isNull());
}

} // namespace

class EditorsTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir config_;
    std::unique_ptr<QTemporaryDir> folder_;
    QString kind_; // "categories", "scores" or "users"
    QPointer<QWidget> window_;
    QString path() const { return folder_->path(); }

    // Deletes itself when closed, as it does when the main window opens it.
    void open() {
        window_ = kind_ == "categories" ? new CategoryEditorWindow(path())
                  : kind_ == "scores"   ? static_cast<QWidget*>(new ScoreEditorWindow(path()))
                                        : new UsersEditorWindow(path());
        window_->show();
    }

    // ART and HISTORY; BOB 7, ANNA 2 and O'HARA 2.
    void seed() {
        TriviaDatabase db(path());
        for (const char* pair : {"ART/WHO PAINTED GUERNICA?/PICASSO", "HISTORY/WHO WAS FIRST/ADAM",
                                 "HISTORY/WHO WAS FIRST/EVE", "HISTORY/CAPITAL OF FRANCE/PARIS"}) {
            const QStringList f = QString(pair).split('/');
            db.createCategory(f[0]); // the pair is refused if it is not there
            QCOMPARE(db.addPair(f[0], f[1], f[2]), DbStatus::Ok);
        }
        qint64 points = 0;
        for (const char* nick : {"BOB", "BOB", "ANNA", "ANNA", "O'HARA", "O'HARA"})
            db.scoreCorrectAnswer(nick, &points);
        db.setScore("BOB", 7);
    }

    // A step on the window (see controlStep) or on its surroundings: "yes"/"no" (the answer to the next
    // questions), "reopen", "refusedClose", "null" (a null question in ART), "remember:NAME" (the stored
    // category), "file:BYTES" (the users file); checks "=table:NAME=Q/A|Q/A", "=setting:NAME",
    // "=points:NICK=N" (empty: no row), "=saved:BYTES" (the users file once the window closed).
    void step(const QString& step) {
        const QString arg = step.section(':', 1);
        if (step == "yes" || step == "no") {
            MessageBox::setTestMode(true, step == "yes");
        } else if (step == "reopen") {
            closeAndWait(window_);
            open();
        } else if (step == "refusedClose") {
            QVERIFY(!window_->close() && window_->isVisible());
        } else if (step == "null") {
            rawValue(path(), "INSERT INTO ART (Questions, Answers) VALUES (NULL, 'NOBODY')");
        } else if (step.startsWith("remember:")) {
            SettingsStore::write(SettingsStore::Category, arg);
        } else if (step.startsWith("file:")) {
            QFile file(folder_->filePath("Users List.txt"));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(arg.toUtf8()) == arg.toUtf8().size());
        } else if (step.startsWith("=table:")) {
            QCOMPARE(pairsOf(path(), arg.section('=', 0, 0)), arg.section('=', 1));
        } else if (step.startsWith("=setting:")) {
            QCOMPARE(SettingsStore::read(SettingsStore::Category), arg);
        } else if (step.startsWith("=points:")) {
            std::optional<qint64> points;
            QCOMPARE(TriviaDatabase(path()).lookupScore(arg.section('=', 0, 0), &points), DbStatus::Ok);
            QCOMPARE(points ? QString::number(*points) : QString(), arg.section('=', 1));
        } else if (step.startsWith("=saved:")) {
            closeAndWait(window_);
            QFile file(folder_->filePath("Users List.txt"));
            QCOMPARE(file.open(QIODevice::ReadOnly) ? file.readAll() : "<missing>", arg.toUtf8());
        } else {
            controlStep(window_, step);
        }
    }

private Q_SLOTS:
    void initTestCase() { QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config_.path()); }
    void init() {
        folder_ = std::make_unique<QTemporaryDir>();
        MessageBox::setTestMode(true, true);
        MessageBox::clearShown();
        SettingsStore::remove(SettingsStore::Category);
    }
    void cleanup() { delete window_; } // a failed row may leave it open

    // Steps are separated by ";; ", those before the window opens start with "@" (see step); messages are
    // "icon:text" (see shownAs).
    void script_data() {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QStringList>("messages");
        const auto row = [](const char* tag, const char* window, const QString& steps,
                            const QStringList& messages = {}) {
            QTest::newRow(tag) << QString(window) << steps << messages;
        };
        const QString art = "=table:ART=WHO PAINTED GUERNICA?/PICASSO";
        const QString history = "=table:HISTORY=WHO WAS FIRST/ADAM|WHO WAS FIRST/EVE|CAPITAL OF FRANCE/PARIS";
        const QString addQA = "q=q;; a=a;; cmdAdd;; ", failed = "e:Faild to add catergory";
        const QString noFind = "e:You must find a question or answer before you can ";
        const QString sure = "n:Are you sure you want to\r\ndelete this category ?";
        row("typing into the category box", "categories",
            "category+xyz 1;; category<Backspace, Del, Return>;; category?ART;; category#ART,HISTORY;; "
            "category<Down>;; category?HISTORY;; =setting:HISTORY;; q=new one;; a=x;; cmdAdd;; " +
                history + "|NEW ONE/X");
        row("gone category forgotten", "categories",
            "@remember:OLD;; category#ART,HISTORY;; category?ART;; =setting:;; " + addQA + art + "|Q/A");
        row("new category", "categories",
            "new+" + QString(65, 'm') + ";; new?" + QString(64, 'm') +
                ";; new=  Movies ;; cmdAddCatergory;; "
                "category#ART,HISTORY,Movies;; category?Movies;; new?;; " +
                addQA + "=table:MOVIES=Q/A;; reopen;; category#ART,HISTORY,MOVIES;; " + art);
        row("refused category names", "categories",
            "cmdAddCatergory;; new=HISTORY;; cmdAddCatergory;; new?HISTORY;; new=History;; cmdAddCatergory;; "
            "new?History;; new=x]; DROP TABLE ART; --;; cmdAddCatergory;; category#ART,HISTORY;; " +
                art + ";; category?ART",
            {"e:This catergory already exists", failed, failed});
        row("delete categories", "categories",
            "no;; cmdDelete;; category#ART,HISTORY;; " + art + ";; yes;; cmdDelete;; category#HISTORY;; " +
                "category?HISTORY;; =setting:HISTORY;; =table:ART=;; " + addQA + history +
                "|Q/A;; cmdDelete;; category#;; category?;; =setting:;; " + addQA +
                "cmdDelete;; q=;; a=a;; cmdAdd;; reopen;; category#",
            {sure, sure, sure, "e:No catorgies to add to.", "e:No catorgies to delete.",
             "e:Please include your question and answer first."});
        // Typed in front of text already there, the excess is cut from what was typed.
        row("boxes hold 255 characters, pairs trimmed and upper-cased", "categories",
            "q+" + QString(300, 'q') + ";; q?" + QString(255, 'q') + ";; findA=" + QString(254, 'a') +
                ";; findA+XYZ;; findA?X" + QString(254, 'a') + ";; q= what is the capital of france? ;; " +
                "a= paris;; cmdAdd;; q?;; a?;; q=   ;; a=\tx\n;; cmdAdd;; " + art +
                "|WHAT IS THE CAPITAL OF FRANCE?/PARIS|/\tX\n");
        row("finder changes and deletes the found row", "categories",
            "@remember:HISTORY;; cmdUpdate;; cmdDeleteQA;; findQ=  who was first ;; cmdSearchQ;; "
            "findQ?WHO WAS FIRST;; findA?ADAM;; cmdDeleteQA;; findQ?;; findA?;; cmdDeleteQA;; findQ=who was "
            "first;; cmdSearchQ;; findA?EVE;; findQ=;; cmdSearchQ;; findA=;; cmdUpdate;; findQ= who was "
            "second ;; findA=eve ;; cmdUpdate;; cmdUpdate;; =table:HISTORY=WHO WAS SECOND/EVE|CAPITAL OF "
            "FRANCE/PARIS",
            {noFind + "update it.", noFind + "delete it.", noFind + "delete it.", "e:Please enter question.",
             "e:Please include your question and answer.", noFind + "update it."});
        row("null shown empty, answer not trimmed, found row stays in its table", "categories",
            "@null;; findA=nobody;; cmdSearchA;; findQ?;; findA?NOBODY;; findQ=who?;; cmdUpdate;; "
            "findA= picasso;; cmdSearchA;; findA? picasso;; findA=picasso;; cmdSearchA;; findQ?WHO PAINTED "
            "GUERNICA?;; category<Down>;; category?HISTORY;; findA=dali;; cmdUpdate;; =table:ART=WHO PAINTED "
            "GUERNICA?/DALI|WHO?/NOBODY;; " +
                history,
            {"i:*", "i:Cannot find answer"});

        const QString notFound = "i:Nick Name Not Found", findFirst = "e:You must find a player first";
        row("find, then update a found player", "scores",
            "score=5;; cmdUpdate;; search=  bob ;; cmdFind;; score?7;; score=0042;; cmdUpdate;; "
            "=points:BOB=42;; score?0042;; score=;; cmdUpdate;; search=o'hara;; cmdFind;; score?2;; "
            "score=99;; search=nobody;; cmdFind;; score?;; search?nobody;; score=1;; cmdUpdate;; "
            "=points:BOB=42;; search=;; cmdFind;; mnuResetAll;; =points:BOB=;; =points:ANNA=",
            {findFirst, "e:Please Enter A Score Vaule", notFound, findFirst, notFound});
        // Text that arrives without typing (a paste from the context menu) is refused at Update.
        row("digits only", "scores",
            "score+1a-. 2x,3;; score?123;; score<Backspace>;; score?12;; score+34567890123;; "
            "score?123456789;; search=bob;; cmdFind;; score=4 2;; cmdUpdate;; =points:BOB=7",
            {"e:*4 2"});

        const QString amyBen = "@file:\"Amy\"\r\n\"Ben\"\r\n;; ", marker = UsersList::deletedMarker();
        row("missing file, no data", "users",
            "optDel;; cmdExe;; optMod;; cmdExe;; users#;; =saved:", {"n:No data", "n:No data"});
        row("add rewrites a hand-written file", "users",
            "@file:alice, bob\r\n;; cmdExe;; nick=bob;; cmdExe;; nick?;; nick=bob;; cmdExe;; "
            "users#alice,bob,bob,bob;; =saved:\"alice\"\r\n\"bob\"\r\n\"bob\"\r\n\"bob\"\r\n",
            {"n:Please Include UserName"});
        // A deleted entry keeps its place, can be renamed, and is left out when the list is saved.
        row("delete and edit", "users",
            amyBen + "users@0;; optDel;; cmdExe;; users#" + marker + ",Ben;; optMod;; users@0;; nick?" +
                marker + ";; nick=Amy2;; cmdExe;; nick?;; users@1;; optDel;; cmdExe;; users#Amy2," + marker +
                ";; =saved:\"Amy2\"\r\n");
        row("refusals and the marker leave the file alone", "users",
            amyBen + "optDel;; cmdExe;; nick=Zed;; optMod;; nick?Zed;; cmdExe;; users@1;; nick=;; cmdExe;; " +
                "optAdd;; nick=" + marker + ";; cmdExe;; users#Amy,Ben," + marker +
                ";; =saved:\"Amy\"\r\n\"Ben\"\r\n",
            {"i:Please Select User First", "i:Please Select User First", "n:Please Include UserName"});
        row("failed save keeps the window open", "users",
            "@file:\"Amy\"\r\n;; nick=say \"hi\";; cmdExe;; refusedClose;; optMod;; users@1;; nick=Sayhi;; "
            "cmdExe;; users#Amy,Sayhi;; =saved:\"Amy\"\r\n\"Sayhi\"\r\n",
            {"e:*Users List.txt"});
        row("no press leaves odd file byte for byte", "users",
            "@file:alice, bob\n\"x\"  trailing\r\n\r\n;; optMod;; users@0;; users#alice,bob,x,;; "
            "=saved:alice, bob\n\"x\"  trailing\r\n\r\n");
    }
    void script() {
        QFETCH(QString, window);
        QFETCH(QString, steps);
        QFETCH(QStringList, messages);
        kind_ = window;
        seed();
        for (const QString& each : steps.split(";; ")) {
            if (!window_ && !each.startsWith('@'))
                open();
            step(each.startsWith('@') ? each.mid(1) : each);
            if (QTest::currentTestFailed())
                return;
        }
        QCOMPARE(shownAs(messages), messages);
    }
};

QTEST_MAIN(EditorsTest)
#include "tst_editors.moc"
