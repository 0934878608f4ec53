// SPDX-License-Identifier: GPL-3.0-or-later
// The Help menu: the update check against a small HTTP server of the test's
// own on 127.0.0.1, with canned replies, and the About box.

#include "aboutbox.h"
#include "mainwindow.h"
#include "messageboxcatcher.h"

#include <QAction>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

// Answers each request with the same canned bytes and hangs up; an endless
// server sends spaces after them for as long as the client reads (up to a
// cap that keeps a client without a limit from filling the memory).
static void serve(QTcpServer &server, const QByteArray &reply, bool endless)
{
    QObject::connect(&server, &QTcpServer::newConnection, [&server, reply, endless] {
        QTcpSocket *socket = server.nextPendingConnection();
        QObject::connect(socket, &QTcpSocket::readyRead, [=] {
            if (!socket->peek(4096).contains("\r\n\r\n"))
                return; // the rest of the request is still to come
            socket->write(reply);
            if (!endless)
                socket->disconnectFromHost();
        });
        QObject::connect(socket, &QTcpSocket::bytesWritten, [=, sent = qint64(0)]() mutable {
            if (endless && socket->bytesToWrite() == 0 && (sent += 1 << 16) < 256 << 20)
                socket->write(QByteArray(1 << 16, ' '));
        });
    });
}

static QByteArray http(QByteArray status, const QByteArray &body = {}, bool sized = true)
{
    if (sized)
        status += "\r\nContent-Length: " + QByteArray::number(body.size());
    return "HTTP/1.1 " + status + "\r\nConnection: close\r\n\r\n" + body;
}

// An update document; one padded to a size (with white space, before it) is
// sent without a length, so that the client has to count.
static QByteArray update(QByteArray version, QByteArray link = "\"http://a.b/\"", int size = 0)
{
    const QByteArray body = "{\"latest_update\": " + version + ", \"download_url\": " + link + "}";
    return http("200 OK", body.rightJustified(size, ' '), !size);
}

// The expected boxes as title|text.
static const QString latest =
    "You're good to go|Your current (0.5.0) version seems to be the latest one.";
static const QString refused =
    "Oops.|There was an error trying to connect to the server.\nPlease try again later!";
static const QString down = "Oops.|The server seems to be down.\nPlease try again later!";
static const QString code = "Oops.|An error ocurred. Please try again later.\n (CODE E_00%1)";
static const QString fresh = "New update available!|version %1 is now available!<br> To download "
                             "it, go to: <br> %2 to download it.";
static const QString anchor = "<a href='%1'>%1</a>", web = anchor.arg("http://a.b/");

class TestUpdateCheck : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy); }

    void reply_data()
    {
        QTest::addColumn<QByteArray>("response"); // empty: nobody listens
        QTest::addColumn<QString>("box");

        QTest::newRow("refused") << QByteArray() << refused;
        QTest::newRow("silent") << http("200 OK") << refused; // connected, never answered
        QTest::newRow("404") << http("404 Not Found", "gone") << refused;
        QTest::newRow("204") << http("204 No Content", {}, false) << down;
        QTest::newRow("301") << http("301 Moved\r\nLocation: http://127.0.0.1:1/") << down;
        QTest::newRow("malformed") << http("200 OK", "{\"latest_update\": ") << code.arg(2);
        QTest::newRow("array") << http("200 OK", "[\"0.6.0\", \"http://a.b/\"]") << code.arg(1);
        QTest::newRow("no version") << http("200 OK", "{\"download_url\": \"\"}") << code.arg(3);
        QTest::newRow("no link") << http("200 OK", "{\"latest_update\": \"0.6\"}") << code.arg(3);
        QTest::newRow("same with v") << update("\"v0.5\"") << latest;
        QTest::newRow("older") << update("\"0.4.10\"") << latest;
        QTest::newRow("newer by a number") << update("\"v0.10\"") << fresh.arg("v0.10", web);
        QTest::newRow("space") << update("\" 0.5.1\"") << code.arg(3);
        QTest::newRow("64 KiB, same") << update("\"0.5.0\"", "\"\"", 64 << 10) << latest;
        QTest::newRow("64 KiB + 1") << update("\"0.5.0\"", "\"\"", (64 << 10) + 1) << code.arg(2);
        QTest::newRow("endless") << http("200 OK", "{", false) << code.arg(2);
        // A placeholder in the link must not take the version.
        QTest::newRow("markup") << update("\"9\"", "\"<i>'%1\"")
                                << fresh.arg("9", "&lt;i&gt;&#39;%1");
        QTest::newRow("quote") << update("\"2\"", "\"https://a.b/'\"")
                               << fresh.arg("2", anchor.arg("https://a.b/&#39;"));
        // A host is not enough: only web links become anchors.
        QTest::newRow("js") << update("\"1\"", "\"javascript://a.b/\"")
                            << fresh.arg("1", "javascript://a.b/");
    }

    // Two checks started back to back give a box each.
    void reply()
    {
        QFETCH(QByteArray, response);
        QFETCH(QString, box);

        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        const QByteArray tag = QTest::currentDataTag();
        if (tag != "silent") // the system accepts the connection all the same
            serve(server, response, tag == "endless");
        MessageBoxCatcher catcher;
        MainWindow window;
        window.setUpdateDeadline(2000);
        window.setUpdateEndpoint(
            QString("http://127.0.0.1:%1/latest-version.json").arg(server.serverPort()));
        if (response.isEmpty())
            server.close();
        for (int check = 0; check < 2; ++check)
            window.findChild<QAction *>("actionCheck_for_updates")->trigger();

        QVERIFY(catcher.waitForBoxes(2, 30000));
        for (const MessageBoxCatcher::Box &shown : catcher.boxes())
            QCOMPARE(shown.title + '|' + shown.text, box);
        QCOMPARE(catcher.boxes()[0].icon == QMessageBox::Critical, box.startsWith("Oops."));
        QCOMPARE(catcher.boxes()[0].format == Qt::RichText, box.startsWith("New update"));
        // Each check's network objects go when it ends.
        QTRY_VERIFY(window.findChildren<QNetworkAccessManager *>().isEmpty());
    }

    void aboutBox()
    {
        MessageBoxCatcher catcher;
        showAboutBox(nullptr, QStringLiteral("0.5.0"));
        const MessageBoxCatcher::Box box = catcher.boxes().value(0);
        QCOMPARE(box.title, QStringLiteral("About Zintora"));
        QCOMPARE(box.format, Qt::RichText);
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

QTEST_MAIN(TestUpdateCheck)
#include "tst_updatecheck.moc"
