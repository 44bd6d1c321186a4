#include "AdminTestKit.h"

#include "admin/UsersEditor.h"
#include "admin/UsersEditorWindow.h"
#include "data/UsersList.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>

#include <memory>

using namespace palvuro;
using namespace palvuro::admintest;

static PrivateConfigHome configHome;

namespace {

QStringList itemsOf(QListWidget* list) {
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts << list->item(i)->text();
    return texts;
}

// One recorded message as "icon:text", n = no icon, i = information, e = exclamation.
QStringList shownWithIcons() {
    QStringList out;
    for (const MessageBox::Shown& shown : MessageBox::shown()) {
        const char* icon = shown.icon == MessageBox::Icon::Information   ? "i:"
                           : shown.icon == MessageBox::Icon::Exclamation ? "e:"
                                                                         : "n:";
        out << QLatin1String(icon) + shown.text;
    }
    return out;
}

} // namespace

class UsersEditorTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> folder_;
    QString usersFile() const { return folder_->path() + "/Users List.txt"; }

    // Runs one step of a script: "nick:TEXT", "mode:add|del|edit", "select:N", "exe",
    // "expectNick:TEXT".
    void runStep(QWidget* window, const QString& step) {
        const QString arg = step.section(':', 1);
        auto* users = child<QListWidget>(window, "listUsers");
        auto* nick = child<QLineEdit>(window, "txtNick");
        if (step.startsWith("nick:")) {
            nick->setText(arg);
        } else if (step.startsWith("mode:")) {
            const char* name = arg == "add" ? "optAdd" : arg == "del" ? "optDel" : "optMod";
            auto* option = child<QRadioButton>(window, name);
            QTest::mouseClick(option, Qt::LeftButton, {}, QPoint(6, option->height() / 2));
            QVERIFY(option->isChecked());
        } else if (step.startsWith("select:")) {
            QListWidgetItem* item = users->item(arg.toInt());
            QTest::mouseClick(users->viewport(), Qt::LeftButton, {}, users->visualItemRect(item).center());
            QVERIFY(item->isSelected());
        } else if (step == "exe") {
            QTest::mouseClick(child<QPushButton>(window, "cmdExe"), Qt::LeftButton);
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

private Q_SLOTS:
    void init() {
        folder_ = std::make_unique<QTemporaryDir>();
        MessageBox::setTestMode(true, true);
        MessageBox::clearShown();
    }

    void opensWithFileOrder() {
        writeFile(usersFile(), "\"Amy\"\r\n\"Ben\"\r\n");
        QPointer<UsersEditorWindow> window = new UsersEditorWindow(folder_->path());
        QCOMPARE(window->objectName(), QString("frmTriviaUsers"));
        QCOMPARE(window->windowTitle(), QString("User Editor"));
        QCOMPARE(itemsOf(child<QListWidget>(window, "listUsers")), QStringList({"Amy", "Ben"}));
        QVERIFY(child<QRadioButton>(window, "optAdd")->isChecked());
        QVERIFY(child<QLineEdit>(window, "txtNick")->text().isEmpty());
        QCOMPARE(child<QPushButton>(window, "cmdExe")->text(), QString("&Excute"));
        closeAndWait(window);
    }

    void missingFileIsCreatedEmpty() {
        QPointer<UsersEditorWindow> window = new UsersEditorWindow(folder_->path());
        QCOMPARE(readFile(usersFile()), QByteArray());
        QVERIFY(MessageBox::shown().empty());
        closeAndWait(window);
    }

    void script_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("items");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QByteArray>("saved");
        const QByteArray amyBen = "\"Amy\"\r\n\"Ben\"\r\n";
        const QStringList both{"Amy", "Ben"};
        const QString marker = UsersList::deletedMarker();

        QTest::newRow("add") << amyBen << QStringList{"nick:bob", "exe", "expectNick:", "nick:bob", "exe"}
                             << QStringList{"Amy", "Ben", "bob", "bob"} << QStringList{}
                             << QByteArray(amyBen + "\"bob\"\r\n\"bob\"\r\n");
        QTest::newRow("add empty rewrites hand-written file")
            << QByteArray("alice, bob\r\n") << QStringList{"exe"} << QStringList{"alice", "bob"}
            << QStringList{"n:Please Include UserName"} << QByteArray("\"alice\"\r\n\"bob\"\r\n");
        QTest::newRow("delete") << amyBen << QStringList{"select:1", "mode:del", "exe"}
                                << QStringList{"Amy", marker} << QStringList{} << QByteArray("\"Amy\"\r\n");
        QTest::newRow("delete without selection") << amyBen << QStringList{"mode:del", "exe"} << both
                                                  << QStringList{"i:Please Select User First"} << amyBen;
        QTest::newRow("edit") << amyBen << QStringList{"mode:edit", "select:0", "expectNick:Amy",
                                                       "nick:Ann",  "exe",      "expectNick:"}
                              << QStringList{"Ann", "Ben"} << QStringList{}
                              << QByteArray("\"Ann\"\r\n\"Ben\"\r\n");
        QTest::newRow("edit refusals")
            << amyBen
            << QStringList{"nick:Zed", "mode:edit", "expectNick:Zed", "exe", "select:1", "nick:", "exe"}
            << both << QStringList{"i:Please Select User First", "n:Please Include UserName"} << amyBen;
        QTest::newRow("deleted entry renamed")
            << amyBen
            << QStringList{"select:0",  "mode:del", "exe", "mode:edit", "select:0", "expectNick:" + marker,
                           "nick:Amy2", "exe"}
            << QStringList{"Amy2", "Ben"} << QStringList{} << QByteArray("\"Amy2\"\r\n\"Ben\"\r\n");
        QTest::newRow("marker typed is never saved")
            << amyBen << QStringList{"nick:" + marker, "exe"} << QStringList{"Amy", "Ben", marker}
            << QStringList{} << amyBen;
        QTest::newRow("no data leaves file alone")
            << QByteArray() << QStringList{"mode:del", "exe", "mode:edit", "exe"} << QStringList{}
            << QStringList{"n:No data", "n:No data"} << QByteArray();
        QTest::newRow("no press leaves odd file byte for byte")
            << QByteArray("alice, bob\n\"x\"  trailing\r\n\r\n") << QStringList{"mode:edit", "select:0"}
            << QStringList{"alice", "bob", "x", ""} << QStringList{}
            << QByteArray("alice, bob\n\"x\"  trailing\r\n\r\n");
    }
    void script() {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, steps);
        QFETCH(QStringList, items);
        QFETCH(QStringList, messages);
        QFETCH(QByteArray, saved);
        writeFile(usersFile(), file);
        QPointer<UsersEditorWindow> window = new UsersEditorWindow(folder_->path());
        window->show();
        for (const QString& step : steps) {
            runStep(window, step);
            if (QTest::currentTestFailed())
                return;
        }
        QCOMPARE(itemsOf(child<QListWidget>(window, "listUsers")), items);
        QCOMPARE(shownWithIcons(), messages);
        closeAndWait(window);
        QCOMPARE(readFile(usersFile()), saved);
    }

    void failedSaveKeepsWindowOpen() {
        writeFile(usersFile(), "\"Amy\"\r\n");
        QPointer<UsersEditorWindow> window = new UsersEditorWindow(folder_->path());
        window->show();
        runStep(window, "nick:say \"hi\"");
        runStep(window, "exe");
        QVERIFY(!window->close());
        QVERIFY(window->isVisible());
        QCOMPARE(MessageBox::shown().size(), std::size_t(1));
        QCOMPARE(lastIcon(), MessageBox::Icon::Exclamation);
        QVERIFY(shownTexts().first().contains("Users List.txt"));
        QCOMPARE(readFile(usersFile()), QByteArray("\"Amy\"\r\n"));
        for (const char* step : {"mode:edit", "select:1", "nick:Sayhi", "exe"})
            runStep(window, step);
        closeAndWait(window);
        QCOMPARE(readFile(usersFile()), QByteArray("\"Amy\"\r\n\"Sayhi\"\r\n"));
    }

    void listHoldsAtMost32767Entries() {
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

QTEST_MAIN(UsersEditorTest)
#include "tst_userseditor.moc"
