#include "updatecheck.h"

#include "updatehost.h"

#include <QJsonDocument>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

Q_LOGGING_CATEGORY(lcUpdate, "zintora.update")

namespace {

// Set on a reply whose transfer was cut off for its size.
const char *const cutOffProperty = "zintoraBodyCutOff";

QString connectionMessage()
{
    return QStringLiteral("There was an error trying to connect to the server.\n"
                          "Please try again later!");
}

QString statusMessage()
{
    return QStringLiteral("The server seems to be down.\nPlease try again later!");
}

QString codeMessage(const char *code)
{
    return QStringLiteral("An error ocurred. Please try again later.\n (CODE %1)")
        .arg(QLatin1String(code));
}

// HTML-escaped, single quotes too, since the link goes into a single-quoted
// attribute.
QString escaped(const QString &text)
{
    return text.toHtmlEscaped().replace(QLatin1Char('\''), QLatin1String("&#39;"));
}

bool isWebLink(const QString &link)
{
    const QUrl url(link, QUrl::StrictMode);
    const QString scheme = url.scheme();
    return url.isValid() && !url.isRelative() && !url.host().isEmpty() &&
           (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
}

} // namespace

QUrl defaultUpdateEndpoint()
{
    return QUrl(QStringLiteral("http://" ZINTORA_UPDATE_HOST "/latest-version.json"),
                QUrl::TolerantMode);
}

QNetworkReply *startPoll(QNetworkAccessManager *manager, const QUrl &endpoint)
{
    QNetworkReply *reply = manager->get(QNetworkRequest(endpoint));
    // Without this the network layer buffers whatever the server sends, for
    // as long as it sends it. readyRead comes with every piece of the body;
    // the progress signal is throttled and may come too late.
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [reply] {
        const qint64 announced = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong();
        if ((reply->bytesAvailable() > maxPollReplySize || announced > maxPollReplySize) &&
            !reply->property(cutOffProperty).toBool()) {
            qCDebug(lcUpdate) << "reply body too long, cut off after" << reply->bytesAvailable()
                              << "bytes";
            reply->setProperty(cutOffProperty, true);
            reply->abort();
        }
    });
    return reply;
}

QString validatePollReply(QNetworkReply *reply, QJsonObject &object)
{
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (reply->property(cutOffProperty).toBool()) {
        // Cut off by us, not failed: answer as the complete reply would have.
        if (status >= 400)
            return connectionMessage();
        if (status != 200)
            return statusMessage();
        return codeMessage("E_002");
    }
    if (reply->error() != QNetworkReply::NoError) {
        qCDebug(lcUpdate) << "update check failed:" << reply->errorString();
        return connectionMessage();
    }
    if (status != 200)
        return statusMessage();

    QByteArray body = reply->read(maxPollReplySize + 1);
    if (body.size() > maxPollReplySize)
        return codeMessage("E_002");
    const int nul = body.indexOf('\0');
    if (nul >= 0)
        body.truncate(nul);
    const QJsonDocument document = QJsonDocument::fromJson(QString::fromUtf8(body).toUtf8());
    if (document.isNull())
        return codeMessage("E_002");
    if (!document.isObject())
        return codeMessage("E_001");
    object = document.object();
    if (!object.contains(QLatin1String("latest_update")) ||
        !object.contains(QLatin1String("download_url")))
        return codeMessage("E_003");
    return QString();
}

QString newVersionText(const QString &version, const QString &link)
{
    // One pass over the pattern, so a value holding "%1" or "%2" stays as it is.
    if (isWebLink(link))
        return QStringLiteral("version %1 is now available!<br> To download it, go to: <br> "
                              "<a href='%2'>%2</a> to download it.")
            .arg(escaped(version), escaped(link));
    return QStringLiteral(
               "version %1 is now available!<br> To download it, go to: <br> %2 to download it.")
        .arg(escaped(version), escaped(link));
}

void showPollResult(QWidget *parent, QNetworkReply *reply, const QString &currentVersion)
{
    QJsonObject object;
    const QString error = validatePollReply(reply, object);
    if (!error.isEmpty()) {
        QMessageBox::critical(parent, QStringLiteral("Oops."), error);
        return;
    }

    // A value that is not a JSON string reads as empty text.
    const QString version = object.value(QLatin1String("latest_update")).toString();
    const QString link = object.value(QLatin1String("download_url")).toString();
    if (version == currentVersion) {
        QMessageBox::information(
            parent, QStringLiteral("You're good to go"),
            QStringLiteral("Your current (%1) version seems to be the latest one.")
                .arg(currentVersion));
        return;
    }

    QMessageBox box(parent);
    box.setWindowTitle(QStringLiteral("New update available!"));
    box.setTextFormat(Qt::RichText);
    box.setText(newVersionText(version, link));
    box.exec();
}
