// The three admin windows (categories and questions, scores, the users list) driven as the
// operator drives them: every box, list and message is checked where it shows.
#include "admin/CategoryEditorWindow.h"
#include "admin/ScoreEditorWindow.h"
#include "admin/UsersEditorWindow.h"
#include "data/SettingsStore.h"
#include "data/TriviaDatabase.h"
#include "data/TriviaStore.h"
#include "data/UsersList.h"
#include "tests/support/StoreBackends.h"
#include "tests/support/TestFiles.h"
#include "widgets/MessageBox.h"

#include <QtTest>
#include <QtWidgets>

#include <functional>
#include <optional>
#include <type_traits>

using namespace palvuro;

namespace {

// A shown message as "e:TEXT", the icon's initial first: n(one), i(nformation), e(xclamation), c(ritical).
QString asText(MessageBox::Icon icon, const QString& text) {
    return QString("niec").at(int(icon)) + ':' + text;
}

const QString kArt = "WHO PAINTED GUERNICA?/PICASSO";
const QString kHistory = "WHO WAS FIRST/ADAM|WHO WAS FIRST/EVE|CAPITAL OF FRANCE/PARIS";
const QString kSure = "n:Are you sure you want to\r\ndelete this category ?";

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
    StoreBackends backends_;
    std::optional<TriviaStore> store_;
    std::function<QWidget*()> make_;
    QPointer<QWidget> window_;
    size_t checkedMessages_ = 0;

    QString path() const { return folder_->path(); }

    // Opens the window on a folder seeded with ART and HISTORY, BOB 7 and ANNA 2. It
    // deletes itself when closed, as it does when the main window opens it.
    template <class Window> void open() {
        seed();
        make_ = [this] {
            if constexpr (std::is_same_v<Window, UsersEditorWindow>)
                return new Window(path()); // the users list stays in the folder whatever the store
            else
                return new Window(*store_);
        };
        reopen();
    }
    void reopen() {
        if (window_)
            closeAndWait(window_);
        window_ = make_();
        window_->show();
    }

    void seed() {
        const auto connection = store_->connect();
        TriviaDatabase& db = *connection;
        for (const char* pair : {"ART/WHO PAINTED GUERNICA?/PICASSO", "HISTORY/WHO WAS FIRST/ADAM",
                                 "HISTORY/WHO WAS FIRST/EVE", "HISTORY/CAPITAL OF FRANCE/PARIS"}) {
            const QStringList f = QString(pair).split('/');
            db.createCategory(f[0]); // the pair is refused if it is not there
            QCOMPARE(db.addPair(f[0], f[1], f[2]), DbStatus::Ok);
        }
        qint64 points = 0;
        for (const char* nick : {"BOB", "ANNA", "ANNA"})
            db.scoreCorrectAnswer(nick, &points);
        db.setScore("BOB", 7);
    }

    // A control by its object name; a name the window does not have is a mistake in the test.
    QObject* control(const char* name) {
        QObject* object = window_->findChild<QObject*>(QLatin1String(name));
        if (!object)
            qFatal("the window has no control named %s", name);
        return object;
    }
    // The property that holds what a box shows.
    static const char* textProperty(QObject* object) {
        return qobject_cast<QComboBox*>(object)        ? "currentText"
               : qobject_cast<QPlainTextEdit*>(object) ? "plainText"
                                                       : "text";
    }
    // Where typed keys go: an editable combo box types into its line edit.
    QWidget* keyTarget(const char* name) {
        QObject* object = control(name);
        auto* combo = qobject_cast<QComboBox*>(object);
        return combo ? combo->lineEdit() : qobject_cast<QWidget*>(object);
    }

    void click(const char* name) {
        QObject* object = control(name);
        if (auto* action = qobject_cast<QAction*>(object)) {
            action->trigger();
            return;
        }
        auto* button = qobject_cast<QAbstractButton*>(object);
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
    }
    // The text arrives whole, as a paste does.
    void paste(const char* name, const QString& text) {
        QObject* object = control(name);
        object->setProperty(textProperty(object), text);
    }
    void type(const char* name, const QString& text) { QTest::keyClicks(keyTarget(name), text); }
    void press(const char* name, std::initializer_list<Qt::Key> keys) {
        for (Qt::Key key : keys)
            QTest::keyClick(keyTarget(name), key);
    }
    void clickRow(const char* name, int row) {
        auto* list = qobject_cast<QListWidget*>(control(name));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(list->item(row)).center());
    }
    void addPair(const QString& question, const QString& answer) {
        paste("txt_Question", question);
        paste("txtAnswer", answer);
        click("cmdAdd");
    }

    QString textOf(const char* name) {
        QObject* object = control(name);
        return object->property(textProperty(object)).toString();
    }
    QStringList itemsOf(const char* name) {
        QObject* object = control(name);
        auto* combo = qobject_cast<QComboBox*>(object);
        const QAbstractItemModel* model =
            combo ? combo->model() : qobject_cast<QListWidget*>(object)->model();
        QStringList items;
        for (int i = 0; i < model->rowCount(); ++i)
            items << model->index(i, 0).data().toString();
        return items;
    }
    // What clicking shows: the messages, "|" between them.
    QString messagesOnClicking(const char* name) {
        click(name);
        return newMessages().join('|');
    }
    // The messages shown since the last look.
    QStringList newMessages() {
        QStringList texts;
        const auto& shown = MessageBox::shown();
        for (; checkedMessages_ < shown.size(); ++checkedMessages_)
            texts << asText(shown[checkedMessages_].icon, shown[checkedMessages_].text);
        return texts;
    }

    QString tableOf(const QString& table) {
        return StoreBackends::pairsOf(*store_->connect(), table).join('|');
    }
    // The stored points, empty when the nick has no row.
    QString pointsOf(const QString& nick) {
        std::optional<qint64> points;
        if (store_->connect()->lookupScore(nick, &points) != DbStatus::Ok)
            return QStringLiteral("<failed>");
        return points ? QString::number(*points) : QString();
    }
    void writeUsersFile(const QByteArray& bytes) {
        QVERIFY(TestFiles::write(folder_->filePath("Users List.txt"), bytes));
    }
    // The users file once the window has closed (and saved what it holds).
    QByteArray usersFileAfterClosing() {
        closeAndWait(window_);
        return TestFiles::read(folder_->filePath("Users List.txt"));
    }

private Q_SLOTS:
    void initTestCase_data() { StoreBackends::addRows(); }
    void initTestCase() { QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config_.path()); }
    void init() {
        if (backends_.onServer() && QByteArray(QTest::currentTestFunction()).startsWith("usersList"))
            QSKIP("the users list is a file whatever the store");
        folder_ = std::make_unique<QTemporaryDir>();
        store_.emplace(backends_.forRow(path()));
        MessageBox::setTestMode(true, true);
        MessageBox::clearShown();
        checkedMessages_ = 0;
        SettingsStore::remove(SettingsStore::Category);
    }
    void cleanup() {
        delete window_; // a failed test may leave it open
        if (!QTest::currentTestFailed())
            QCOMPARE(newMessages(), QStringList()); // every message was checked where it showed
    }

    // A remembered category that is gone is forgotten; the box takes no typing and remembers a choice.
    void categoryBoxTakesNoTypingAndRemembersTheChoice() {
        SettingsStore::write(SettingsStore::Category, "OLD");
        open<CategoryEditorWindow>();
        QCOMPARE(SettingsStore::read(SettingsStore::Category), "");
        type("CCatorgy", "xyz 1");
        press("CCatorgy", {Qt::Key_Backspace, Qt::Key_Delete, Qt::Key_Return});
        QCOMPARE(textOf("CCatorgy"), "ART");
        QCOMPARE(itemsOf("CCatorgy"), QStringList({"ART", "HISTORY"}));
        press("CCatorgy", {Qt::Key_Down});
        QCOMPARE(SettingsStore::read(SettingsStore::Category), "HISTORY");
        addPair("new one", "x");
        QCOMPARE(tableOf("HISTORY"), kHistory + "|NEW ONE/X");
    }

    void newCategoryIsShownAsTypedAndStoredUpperCased() {
        open<CategoryEditorWindow>();
        QCOMPARE(messagesOnClicking("cmdAddCatergory"), ""); // nothing typed: nothing happens
        paste("txtAddCatergory", "HISTORY");
        QCOMPARE(messagesOnClicking("cmdAddCatergory"), "e:This catergory already exists");
        paste("txtAddCatergory", "History");
        QCOMPARE(messagesOnClicking("cmdAddCatergory"), "e:Faild to add catergory");
        QCOMPARE(textOf("txtAddCatergory"), "History");
        QCOMPARE(itemsOf("CCatorgy"), QStringList({"ART", "HISTORY"}));

        type("txtAddCatergory", QString(65, 'm'));
        QCOMPARE(textOf("txtAddCatergory").size(), 64);
        paste("txtAddCatergory", "  Movies ");
        click("cmdAddCatergory");
        QCOMPARE(itemsOf("CCatorgy"), QStringList({"ART", "HISTORY", "Movies"}));
        QCOMPARE(textOf("CCatorgy"), "Movies");
        QCOMPARE(textOf("txtAddCatergory"), "");
        addPair("q", "a");
        QCOMPARE(tableOf("MOVIES"), "Q/A");
        reopen();
        QCOMPARE(itemsOf("CCatorgy"), QStringList({"ART", "HISTORY", "MOVIES"}));
    }

    void categoriesAreDeletedOnlyWhenConfirmed() {
        open<CategoryEditorWindow>();
        MessageBox::setTestMode(true, false);
        QCOMPARE(messagesOnClicking("cmdDelete"), kSure);
        QCOMPARE(tableOf("ART"), kArt);

        MessageBox::setTestMode(true, true);
        QCOMPARE(messagesOnClicking("cmdDelete"), kSure);
        QCOMPARE(itemsOf("CCatorgy"), QStringList{"HISTORY"});
        QCOMPARE(SettingsStore::read(SettingsStore::Category), "HISTORY");
        QCOMPARE(tableOf("ART"), ""); // gone
        addPair("q", "a");
        QCOMPARE(tableOf("HISTORY"), kHistory + "|Q/A");

        QCOMPARE(messagesOnClicking("cmdDelete"), kSure);
        QCOMPARE(textOf("CCatorgy"), "");
        QCOMPARE(SettingsStore::read(SettingsStore::Category), "");
        addPair("q", "a");
        QCOMPARE(newMessages(), QStringList{"e:No catorgies to add to."});
        QCOMPARE(messagesOnClicking("cmdDelete"), "e:No catorgies to delete.");
        addPair("", "a");
        QCOMPARE(newMessages(), QStringList{"e:Please include your question and answer first."});
    }

    // Typed in front of text already there, the excess is cut from what was typed.
    void boxesHold255CharactersAndPairsAreTrimmedAndUpperCased() {
        open<CategoryEditorWindow>();
        type("txt_Question", QString(300, 'q'));
        QCOMPARE(textOf("txt_Question"), QString(255, 'q'));
        paste("txtEditA", QString(254, 'a'));
        type("txtEditA", "XYZ");
        QCOMPARE(textOf("txtEditA"), "X" + QString(254, 'a'));
        // A line break is stored as CR LF, so it takes two of the 255.
        paste("txtEditQ", QString(253, 'q') + '\n');
        type("txtEditQ", "z");
        QCOMPARE(textOf("txtEditQ"), QString(253, 'q') + '\n');
        paste("txtEditQ", QString(254, 'q'));
        press("txtEditQ", {Qt::Key_Return});
        QCOMPARE(textOf("txtEditQ"), QString(254, 'q'));
        addPair("   ", "\tx\n"); // only spaces are trimmed; a line break is kept as CR LF
        QCOMPARE(textOf("txt_Question"), "");
        QCOMPARE(textOf("txtAnswer"), "");
        QCOMPARE(tableOf("ART"), kArt + "|/\tX\r\n");
    }

    void finderChangesAndDeletesOnlyTheFoundRow() {
        const QString noFind = "You must find a question or answer before you can ";
        SettingsStore::write(SettingsStore::Category, "HISTORY");
        open<CategoryEditorWindow>();
        QCOMPARE(messagesOnClicking("cmdUpdate"), "e:" + noFind + "update it.");
        QCOMPARE(messagesOnClicking("cmdDeleteQA"), "e:" + noFind + "delete it.");

        paste("txtEditQ", "  who was first ");
        click("cmdSearchQ");
        QCOMPARE(textOf("txtEditQ"), "WHO WAS FIRST");
        QCOMPARE(textOf("txtEditA"), "ADAM");
        click("cmdDeleteQA");
        QCOMPARE(textOf("txtEditQ"), "");
        QCOMPARE(textOf("txtEditA"), "");
        QCOMPARE(messagesOnClicking("cmdDeleteQA"), "e:" + noFind + "delete it.");

        paste("txtEditQ", "who was first");
        click("cmdSearchQ");
        QCOMPARE(textOf("txtEditA"), "EVE");
        paste("txtEditQ", "");
        QCOMPARE(messagesOnClicking("cmdSearchQ"), "e:Please enter question.");
        paste("txtEditA", "");
        QCOMPARE(messagesOnClicking("cmdUpdate"), "e:Please include your question and answer.");
        paste("txtEditQ", " who was second ");
        paste("txtEditA", "eve ");
        QCOMPARE(messagesOnClicking("cmdUpdate"), "");
        QCOMPARE(messagesOnClicking("cmdUpdate"), "e:" + noFind + "update it.");
        QCOMPARE(tableOf("HISTORY"), "WHO WAS SECOND/EVE|CAPITAL OF FRANCE/PARIS");
    }

    void finderShowsNullAsEmptyAndKeepsTheFoundRowsTable() {
        open<CategoryEditorWindow>();
        QVERIFY(backends_.sql(*store_, "INSERT INTO \"ART\" (Questions, Answers) VALUES (NULL, 'NOBODY')"));
        paste("txtEditA", "nobody");
        QCOMPARE(messagesOnClicking("cmdSearchA"), "i:No question is stored for this pair, so its box is "
                                                   "empty. Fill it in and press Update, or delete the "
                                                   "pair.");
        QCOMPARE(textOf("txtEditQ"), "");
        QCOMPARE(textOf("txtEditA"), "NOBODY");
        paste("txtEditQ", "who?");
        click("cmdUpdate");

        paste("txtEditA", " picasso"); // the answer is searched as typed
        QCOMPARE(messagesOnClicking("cmdSearchA"), "i:Cannot find answer");
        QCOMPARE(textOf("txtEditA"), " picasso");
        paste("txtEditA", "picasso");
        click("cmdSearchA");
        QCOMPARE(textOf("txtEditQ"), "WHO PAINTED GUERNICA?");
        press("CCatorgy", {Qt::Key_Down});
        QCOMPARE(textOf("CCatorgy"), "HISTORY");
        paste("txtEditA", "dali");
        click("cmdUpdate");
        QCOMPARE(tableOf("ART"), "WHO PAINTED GUERNICA?/DALI|WHO?/NOBODY");
        QCOMPARE(tableOf("HISTORY"), kHistory);
    }

    void scoreIsChangedOnlyForAFoundPlayer() {
        open<ScoreEditorWindow>();
        paste("txtScore", "5");
        QCOMPARE(messagesOnClicking("cmdUpdate"), "e:You must find a player first");
        paste("txtSearch", "  bob ");
        click("cmdFind");
        QCOMPARE(textOf("txtScore"), "7");
        paste("txtScore", "0042");
        click("cmdUpdate");
        QCOMPARE(pointsOf("BOB"), "42");
        QCOMPARE(textOf("txtScore"), "0042");
        paste("txtScore", "");
        QCOMPARE(messagesOnClicking("cmdUpdate"), "e:Please Enter A Score Vaule");

        paste("txtScore", "99");
        paste("txtSearch", "nobody");
        QCOMPARE(messagesOnClicking("cmdFind"), "i:Nick Name Not Found");
        QCOMPARE(textOf("txtScore"), "");
        QCOMPARE(textOf("txtSearch"), "nobody");
        paste("txtScore", "1");
        // The find that failed forgot BOB.
        QCOMPARE(messagesOnClicking("cmdUpdate"), "e:You must find a player first");
        QCOMPARE(pointsOf("BOB"), "42");

        click("mnuResetAll");
        QCOMPARE(pointsOf("BOB"), "");
        QCOMPARE(pointsOf("ANNA"), "");
    }

    // Text that arrives without typing (a paste from the context menu) is refused at Update.
    void scoreBoxTakesNineDigitsOnly() {
        open<ScoreEditorWindow>();
        type("txtScore", "1a-. 2x,3");
        QCOMPARE(textOf("txtScore"), "123");
        press("txtScore", {Qt::Key_Backspace});
        QCOMPARE(textOf("txtScore"), "12");
        type("txtScore", "34567890123");
        QCOMPARE(textOf("txtScore"), "123456789");
        paste("txtSearch", "bob");
        click("cmdFind");
        paste("txtScore", "4 2");
        QCOMPARE(messagesOnClicking("cmdUpdate"),
                 "e:The score \"4 2\" is not a number. Enter digits only; nothing was changed.");
        QCOMPARE(pointsOf("BOB"), "7");
    }

    void usersListWithoutFileHasNoData() {
        open<UsersEditorWindow>();
        click("optMod");
        QCOMPARE(messagesOnClicking("cmdExe"), "n:No data");
        QCOMPARE(itemsOf("listUsers"), QStringList());
        QCOMPARE(usersFileAfterClosing(), QByteArray());
    }

    // Delete and Modify need a chosen entry and Modify a name; a deleted entry keeps its place,
    // can be renamed, and is left out when the list is saved, as is a name typed as the marker.
    void usersListDeletedEntryKeepsItsPlaceUntilSaved() {
        const QString marker = UsersList::deletedMarker();
        writeUsersFile("\"Amy\"\r\n\"Ben\"\r\n\"Cy\"\r\n");
        open<UsersEditorWindow>();
        click("optDel");
        QCOMPARE(messagesOnClicking("cmdExe"), "i:Please Select User First");
        paste("txtNick", "Zed");
        click("optMod");
        QCOMPARE(textOf("txtNick"), "Zed");
        QCOMPARE(messagesOnClicking("cmdExe"), "i:Please Select User First");
        clickRow("listUsers", 2);
        paste("txtNick", "");
        QCOMPARE(messagesOnClicking("cmdExe"), "n:Please Include UserName");

        clickRow("listUsers", 0);
        click("optDel");
        click("cmdExe");
        QCOMPARE(itemsOf("listUsers"), QStringList({marker, "Ben", "Cy"}));
        click("optMod");
        clickRow("listUsers", 0);
        QCOMPARE(textOf("txtNick"), marker);
        paste("txtNick", "Amy2");
        click("cmdExe");
        QCOMPARE(textOf("txtNick"), "");
        clickRow("listUsers", 1);
        click("optDel");
        click("cmdExe");
        click("optAdd");
        paste("txtNick", marker);
        click("cmdExe");
        QCOMPARE(itemsOf("listUsers"), QStringList({"Amy2", marker, "Cy", marker}));
        QCOMPARE(usersFileAfterClosing(), QByteArray("\"Amy2\"\r\n\"Cy\"\r\n"));
    }

    void usersListFailedSaveKeepsTheWindowOpen() {
        writeUsersFile("\"Amy\"\r\n");
        open<UsersEditorWindow>();
        paste("txtNick", "say \"hi\"");
        click("cmdExe");
        QVERIFY(!window_->close());
        QVERIFY(window_->isVisible());
        QCOMPARE(newMessages(),
                 QStringList{"e:The users list could not be saved to \"" +
                             folder_->filePath("Users List.txt") +
                             "\":\r\nThe name say \"hi\" cannot be stored in Users List.txt: the "
                             "file has no room for a double quote or a character outside the "
                             "Windows-1252 code page."});
        click("optMod");
        clickRow("listUsers", 1);
        paste("txtNick", "Sayhi");
        click("cmdExe");
        QCOMPARE(itemsOf("listUsers"), QStringList({"Amy", "Sayhi"}));
        QCOMPARE(usersFileAfterClosing(), QByteArray("\"Amy\"\r\n\"Sayhi\"\r\n"));
    }

    // A file another program wrote is read as well as it can be, left byte for byte when nothing
    // changed, and rewritten whole after an add.
    void usersListRewritesAnOddFileOnlyWhenChanged() {
        const QByteArray odd("alice, bob\n\"x\"  trailing\r\n\r\n");
        writeUsersFile(odd);
        open<UsersEditorWindow>();
        click("optMod");
        clickRow("listUsers", 0);
        QCOMPARE(itemsOf("listUsers"), QStringList({"alice", "bob", "x", ""}));
        QCOMPARE(usersFileAfterClosing(), odd);
        reopen();
        QCOMPARE(messagesOnClicking("cmdExe"), "n:Please Include UserName");
        paste("txtNick", "bob");
        click("cmdExe");
        QCOMPARE(textOf("txtNick"), "");
        QCOMPARE(usersFileAfterClosing(), QByteArray("\"alice\"\r\n\"bob\"\r\n\"x\"\r\n\"\"\r\n\"bob\"\r\n"));
    }
};

QTEST_MAIN(EditorsTest)
#include "tst_editors.moc"
