#include "aboutbox.h"
#include "messageboxcatcher.h"

#include <QRegularExpression>
#include <QTest>

class TestAboutBox : public QObject
{
    Q_OBJECT

private slots:
    void shownOverTheWindow()
    {
        QWidget window;
        MessageBoxCatcher catcher;
        showAboutBox(&window, QStringLiteral("0.5.0"));
        const MessageBoxCatcher::Box box = catcher.boxes().value(0);
        QCOMPARE(box.title, QStringLiteral("About Zintora"));
        QCOMPARE(box.format, Qt::RichText);
        QCOMPARE(box.parent, &window);
        // The fixed pieces in their paragraphs: the version right after the v,
        // the alpha notice on its own, the mail subject, the web site's line
        // feeds and the end of the last paragraph.
        const QRegularExpression shape(
            "^Zintora v0\\.5\\.0\n<p>A simple timelapse screen recorder\\.<br>[^<]+</p><p>This is "
            "alpha software\\.</p><p>.*mailto:.*subject=Zintora%20Feedback.*<br>.*\n\n.*</p>$",
            QRegularExpression::DotMatchesEverythingOption);
        QVERIFY2(shape.match(box.text).hasMatch(), qPrintable(box.text));
    }
};

QTEST_MAIN(TestAboutBox)
#include "tst_aboutbox.moc"
