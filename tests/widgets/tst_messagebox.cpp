#include "widgets/MessageBox.h"
#include "widgets/Offscreen.h"

#include <QtTest>

using namespace palvuro;

// The tests run on the offscreen platform, where nobody can click: a box that opened there would
// stop the program for good.
class TestMessageBox : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void loggedAndAnsweredByDefault() {
        QVERIFY(Offscreen::active());
        QTest::ignoreMessage(QtWarningMsg,
                             "a message box nobody can see, answered OK: Unable To Locate Chat Room");
        MessageBox::show(nullptr, MessageBox::Icon::Exclamation,
                         QStringLiteral("Unable To Locate Chat Room"));
        QTest::ignoreMessage(QtWarningMsg, "a message box nobody can see, answered Yes: Delete it?");
        QVERIFY(MessageBox::askYesNo(nullptr, QStringLiteral("Delete it?")));
    }
};

QTEST_MAIN(TestMessageBox)
#include "tst_messagebox.moc"
