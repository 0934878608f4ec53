// The update check against a small HTTP server of the test's own on
// 127.0.0.1, with canned replies, through the main window's Help action.

#include "mainwindow.h"
#include "messageboxcatcher.h"

#include <QAction>
#include <QNetworkProxy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

namespace {

// Sends the same canned reply to every request. An endless server sends the
// reply's head and then body bytes until the client hangs up or the limit
// is reached.
class CannedHttpServer : public QObject
{
public:
    static constexpr qint64 endlessLimit = 64 * 1024 * 1024;

    CannedHttpServer(QByteArray reply, bool endless) : reply(std::move(reply)), endless(endless)
    {
        connect(&server, &QTcpServer::newConnection, this, &CannedHttpServer::accept);
    }

    bool listen() { return server.listen(QHostAddress::LocalHost, 0); }
    QUrl url() const
    {
        return QUrl(
            QStringLiteral("http://127.0.0.1:%1/latest-version.json").arg(server.serverPort()));
    }

    int requests = 0;
    qint64 endlessSent = 0;
    bool clientHungUp = false;

private:
    void accept()
    {
        while (QTcpSocket *socket = server.nextPendingConnection()) {
            socket->setParent(this);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
        }
    }

    void read(QTcpSocket *socket)
    {
        QByteArray &request = pending[socket];
        request += socket->readAll();
        if (!request.contains("\r\n\r\n"))
            return;
        pending.remove(socket);
        ++requests;
        socket->write(reply);
        if (!endless) {
            socket->disconnectFromHost();
            return;
        }
        connect(socket, &QTcpSocket::disconnected, this, [this] {
            if (endlessSent < endlessLimit)
                clientHungUp = true;
        });
        connect(socket, &QTcpSocket::bytesWritten, this, [this, socket] {
            if (socket->state() != QAbstractSocket::ConnectedState || socket->bytesToWrite() > 0)
                return;
            if (endlessSent >= endlessLimit) {
                socket->disconnectFromHost();
                return;
            }
            const QByteArray chunk(64 * 1024, ' ');
            endlessSent += socket->write(chunk);
        });
    }

    QTcpServer server;
    QByteArray reply;
    bool endless;
    QHash<QTcpSocket *, QByteArray> pending;
};

QByteArray http(const QByteArray &statusLine, const QByteArray &body,
                const QByteArray &headers = QByteArray(), bool withLength = true)
{
    QByteArray reply = "HTTP/1.1 " + statusLine + "\r\nConnection: close\r\n" + headers;
    if (withLength)
        reply += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    return reply + "\r\n" + body;
}

QByteArray ok(const QByteArray &body)
{
    return http("200 OK", body, "Content-Type: application/json\r\n");
}

QByteArray document(const QByteArray &version, const QByteArray &link)
{
    return "{\"latest_update\": " + version + ", \"download_url\": " + link + "}";
}

// An update document of exactly the given size.
QByteArray paddedDocument(int size)
{
    const QByteArray head = "{\"latest_update\": \"0.5.0\", \"download_url\": "
                            "\"http://example.org/\", \"padding\": \"";
    const QByteArray tail = "\"}";
    return head + QByteArray(size - head.size() - tail.size(), 'x') + tail;
}

const QString oops = QStringLiteral("Oops.");
const QString connectionText =
    QStringLiteral("There was an error trying to connect to the server.\nPlease try again later!");
const QString statusText = QStringLiteral("The server seems to be down.\nPlease try again later!");
QString codeText(const char *code)
{
    return QStringLiteral("An error ocurred. Please try again later.\n (CODE %1)").arg(code);
}
const QString goodTitle = QStringLiteral("You're good to go");
const QString goodText = QStringLiteral("Your current (0.5.0) version seems to be the latest one.");
const QString newTitle = QStringLiteral("New update available!");
QString announced(const QString &version, const QString &linkHtml)
{
    return QStringLiteral("version ") + version +
           QStringLiteral(" is now available!<br> To download it, go to: <br> ") + linkHtml +
           QStringLiteral(" to download it.");
}
QString anchor(const QString &href)
{
    return QStringLiteral("<a href='%1'>%1</a>").arg(href);
}

QAction *checkAction(MainWindow &window)
{
    return window.findChild<QAction *>(QStringLiteral("actionCheck_for_updates"));
}

} // namespace

class TestUpdateCheck : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // The test's server is on this machine; no proxy of the environment.
        QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
    }
    void reply_data();
    void reply();
    void overlappingChecksGiveOneBoxEach();
};

void TestUpdateCheck::reply_data()
{
    QTest::addColumn<QByteArray>("response"); // empty: nobody listens
    QTest::addColumn<bool>("endless");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("icon");

    const int critical = QMessageBox::Critical;
    const int information = QMessageBox::Information;
    const int none = QMessageBox::NoIcon;
    const QByteArray link = "\"http://example.org/zintora-0.6.0.tar.gz\"";
    const QString linkHtml = anchor(QStringLiteral("http://example.org/zintora-0.6.0.tar.gz"));

    QTest::addRow("connection refused")
        << QByteArray() << false << oops << connectionText << critical;
    QTest::addRow("404") << http("404 Not Found", "no such file") << false << oops << connectionText
                         << critical;
    QTest::addRow("500") << http("500 Internal Server Error", "") << false << oops << connectionText
                         << critical;
    QTest::addRow("204") << http("204 No Content", "", "", false) << false << oops << statusText
                         << critical;
    QTest::addRow("301") << http("301 Moved Permanently", "",
                                 "Location: http://127.0.0.1:1/latest-version.json\r\n")
                         << false << oops << statusText << critical;
    QTest::addRow("empty body") << ok("") << false << oops << codeText("E_002") << critical;
    QTest::addRow("malformed JSON")
        << ok("{\"latest_update\": \"0.6.0\",") << false << oops << codeText("E_002") << critical;
    QTest::addRow("array") << ok("[\"0.6.0\", \"http://example.org/\"]") << false << oops
                           << codeText("E_001") << critical;
    QTest::addRow("no latest_update")
        << ok("{\"download_url\": " + link + "}") << false << oops << codeText("E_003") << critical;
    QTest::addRow("no download_url")
        << ok("{\"latest_update\": \"0.6.0\"}") << false << oops << codeText("E_003") << critical;
    QTest::addRow("same version") << ok(document("\"0.5.0\"", link)) << false << goodTitle
                                  << goodText << information;
    QTest::addRow("older version") << ok(document("\"0.4.9\"", link)) << false << newTitle
                                   << announced("0.4.9", linkHtml) << none;
    QTest::addRow("leading space") << ok(document("\" 0.5.0\"", link)) << false << newTitle
                                   << announced(" 0.5.0", linkHtml) << none;
    QTest::addRow("leading letter") << ok(document("\"v0.5.0\"", link)) << false << newTitle
                                    << announced("v0.5.0", linkHtml) << none;
    QTest::addRow("number") << ok(document("5", link)) << false << newTitle
                            << announced("", linkHtml) << none;
    QTest::addRow("null") << ok(document("null", link)) << false << newTitle
                          << announced("", linkHtml) << none;
    QTest::addRow("placeholders filled once")
        << ok(document("\"%2\"", "\"http://example.org/%251\"")) << false << newTitle
        << announced("%2", anchor("http://example.org/%251")) << none;
    QTest::addRow("exactly 64 KiB")
        << ok(paddedDocument(64 * 1024)) << false << goodTitle << goodText << information;
    QTest::addRow("over 64 KiB") << ok(paddedDocument(64 * 1024 + 1)) << false << oops
                                 << codeText("E_002") << critical;
    QTest::addRow("over 64 KiB, no length")
        << http("200 OK", paddedDocument(64 * 1024 + 1), "", false) << false << oops
        << codeText("E_002") << critical;
    QTest::addRow("endless body") << http("200 OK", "{", "", false) << true << oops
                                  << codeText("E_002") << critical;
    QTest::addRow("markup in version")
        << ok(document("\"<b>0.6.0</b><img src='x'>\"", link)) << false << newTitle
        << announced("&lt;b&gt;0.6.0&lt;/b&gt;&lt;img src=&#39;x&#39;&gt;", linkHtml) << none;
    QTest::addRow("markup in link")
        << ok(document("\"0.6.0\"", "\"<a href='file:///etc/passwd'>get it</a>\"")) << false
        << newTitle
        << announced("0.6.0", "&lt;a href=&#39;file:///etc/passwd&#39;&gt;get it&lt;/a&gt;")
        << none;
    QTest::addRow("quote in a web link")
        << ok(document("\"0.6.0\"", "\"https://example.org/x' onclick='y\"")) << false << newTitle
        << announced("0.6.0", "https://example.org/x&#39; onclick=&#39;y") << none;
    QTest::addRow("quote in a clickable link")
        << ok(document("\"0.6.0\"", "\"https://example.org/it's\"")) << false << newTitle
        << announced("0.6.0", anchor("https://example.org/it&#39;s")) << none;
    QTest::addRow("javascript link")
        << ok(document("\"0.6.0\"", "\"javascript:alert(1)\"")) << false << newTitle
        << announced("0.6.0", "javascript:alert(1)") << none;
    QTest::addRow("file link") << ok(document("\"0.6.0\"", "\"file:///etc/passwd\"")) << false
                               << newTitle << announced("0.6.0", "file:///etc/passwd") << none;
}

void TestUpdateCheck::reply()
{
    QFETCH(QByteArray, response);
    QFETCH(bool, endless);
    QFETCH(QString, title);
    QFETCH(QString, text);
    QFETCH(int, icon);

    CannedHttpServer server(response, endless);
    QVERIFY(server.listen());
    QUrl endpoint = server.url();
    if (response.isEmpty()) {
        // A port that was free a moment ago and that nobody listens on now.
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
        endpoint.setPort(closed.serverPort());
    }

    MessageBoxCatcher catcher;
    MainWindow window;
    window.setUpdateEndpoint(endpoint);
    checkAction(window)->trigger();

    QVERIFY(catcher.waitForBoxes(1, 30000));
    QCOMPARE(catcher.boxes().size(), 1);
    const MessageBoxCatcher::Box &box = catcher.boxes().first();
    QCOMPARE(box.title, title);
    QCOMPARE(box.text, text);
    QCOMPARE(int(box.icon), icon);
    QCOMPARE(box.parent, &window);
    if (title == newTitle)
        QCOMPARE(box.format, Qt::RichText);
    if (endless) {
        QVERIFY(QTest::qWaitFor(
            [&] { return server.clientHungUp || server.endlessSent >= server.endlessLimit; },
            30000));
        QVERIFY2(server.clientHungUp, "the whole endless body was read");
    }
}

void TestUpdateCheck::overlappingChecksGiveOneBoxEach()
{
    CannedHttpServer server(ok(document("\"0.5.0\"", "\"http://example.org/\"")), false);
    QVERIFY(server.listen());

    MessageBoxCatcher catcher;
    MainWindow window;
    window.setUpdateEndpoint(server.url());
    checkAction(window)->trigger();
    checkAction(window)->trigger();

    QVERIFY(catcher.waitForBoxes(2, 30000));
    QCOMPARE(server.requests, 2);
    QCOMPARE(catcher.boxes().size(), 2);
    for (const MessageBoxCatcher::Box &box : catcher.boxes())
        QCOMPARE(box.title, goodTitle);
}

QTEST_MAIN(TestUpdateCheck)
#include "tst_updatecheck.moc"
