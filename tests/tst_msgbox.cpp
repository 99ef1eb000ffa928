// SPDX-License-Identifier: MIT
// The Qt message box as the program asks for it, answered as a user would.
#include "msgbox.h"
#include "testsupport.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

using namespace platform;

class TestMsgBox : public QObject
{
    Q_OBJECT

  private slots:
    void realDialogAnswers_data()
    {
        QTest::addColumn<int>("flags");
        QTest::addColumn<QString>("action");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QStringList>("buttons");
        const QStringList okCancel = {QStringLiteral("取消"), QStringLiteral("确定")};
        const QStringList okOnly = {QStringLiteral("确定")};
        QTest::newRow("question: Enter takes the default, Cancel")
            << 289 << "enter" << 2 << okCancel;
        QTest::newRow("question: Escape cancels") << 289 << "escape" << 2 << okCancel;
        QTest::newRow("question: closing the box cancels") << 289 << "close" << 2 << okCancel;
        QTest::newRow("question: OK clicked") << 289 << "ok" << 1 << okCancel;
        QTest::newRow("notice: Enter is OK") << 0 << "enter" << 1 << okOnly;
        QTest::newRow("notice: Escape is OK") << 0 << "escape" << 1 << okOnly;
        QTest::newRow("notice: closing is OK") << 0 << "close" << 1 << okOnly;
    }

    void realDialogAnswers()
    {
        QFETCH(int, flags);
        QFETCH(QString, action);
        QFETCH(int, answer);
        QFETCH(QStringList, buttons);
        QStringList seenButtons;
        QString seenTitle;
        QMessageBox::Icon seenIcon = QMessageBox::NoIcon;
        // Acts on the dialog once it is up; gives up after a few seconds.
        QTimer poll;
        int attempts = 0;
        connect(&poll, &QTimer::timeout, this, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box && ++attempts > 300)
                poll.stop();
            if (!box)
                return;
            poll.stop();
            seenTitle = box->windowTitle();
            seenIcon = box->icon();
            for (QAbstractButton *b : box->buttons())
                seenButtons.append(b->text());
            if (action == QLatin1String("enter"))
                QTest::keyClick(box, Qt::Key_Return);
            else if (action == QLatin1String("escape"))
                QTest::keyClick(box, Qt::Key_Escape);
            else if (action == QLatin1String("close"))
                box->close();
            else
                for (QAbstractButton *b : box->buttons())
                    if (b->text() == QStringLiteral("确定"))
                        b->click();
        });
        poll.start(10);

        QCOMPARE(MsgBox(u"确定要退出吗？", flags, u"提示"), answer);
        QCOMPARE(seenTitle, QStringLiteral("提示"));
        seenButtons.sort();
        QCOMPARE(seenButtons, buttons);
        QCOMPARE(seenIcon, flags & vbQuestion ? QMessageBox::Question : QMessageBox::NoIcon);
    }
};

CLOCK_TEST_MAIN(TestMsgBox)
#include "tst_msgbox.moc"
