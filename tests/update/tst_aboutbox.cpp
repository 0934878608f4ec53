#include "aboutbox.h"
#include "messageboxcatcher.h"

#include <QMainWindow>
#include <QRegularExpression>
#include <QTest>
#include <QTextDocument>

class TestAboutBox : public QObject
{
    Q_OBJECT

private slots:
    void textStructure();
    void shownModalOverTheWindow();
};

void TestAboutBox::textStructure()
{
    const QString text = aboutText(QStringLiteral("0.5.0"), QStringLiteral("zintora.example"));
    QVERIFY(text.startsWith(QStringLiteral("Zintora v0.5.0\n<p>A simple timelapse screen "
                                           "recorder.<br>")));
    // Credit line closes the first paragraph; the alpha notice stands alone.
    const int alpha = text.indexOf(QStringLiteral("</p><p>This is alpha software.</p><p>"));
    QVERIFY(alpha > 0);
    const QString rest = text.mid(alpha + int(strlen("</p><p>This is alpha software.</p>")));
    QVERIFY(rest.startsWith(QStringLiteral("<p>")));
    QVERIFY(rest.endsWith(QStringLiteral("</p>")));
    QVERIFY(rest.contains(QStringLiteral("mailto:")));
    QVERIFY(rest.contains(QStringLiteral("?subject=Zintora%20Feedback")));
    QVERIFY(rest.contains(QStringLiteral("<br>")));
    QVERIFY(rest.contains(QStringLiteral("http://zintora.example")));
    QVERIFY(rest.contains(QStringLiteral("\n\n")));
    QCOMPARE(text.count(QStringLiteral("<p>")), text.count(QStringLiteral("</p>")));

    // Rendered, the version follows the v directly, then the description.
    QTextDocument doc;
    doc.setHtml(text);
    QVERIFY(doc.toPlainText().startsWith(
                QStringLiteral("Zintora v0.5.0 \nA simple timelapse screen recorder.")) ||
            doc.toPlainText().startsWith(
                QStringLiteral("Zintora v0.5.0\nA simple timelapse screen recorder.")));
}

void TestAboutBox::shownModalOverTheWindow()
{
    QMainWindow window;
    MessageBoxCatcher catcher;
    showAboutBox(&window, QStringLiteral("0.5.0"));
    QCOMPARE(catcher.boxes().size(), 1);
    const auto &box = catcher.boxes().first();
    QCOMPARE(box.title, QStringLiteral("About Zintora"));
    QCOMPARE(box.format, Qt::RichText);
    QCOMPARE(box.icon, QMessageBox::NoIcon);
    QCOMPARE(box.parent, &window);
    QVERIFY(box.text.startsWith(QStringLiteral("Zintora v0.5.0")));
}

QTEST_MAIN(TestAboutBox)
#include "tst_aboutbox.moc"
