// SPDX-License-Identifier: GPL-3.0-or-later
#include "updatecheck.h"

#include "updatehost.h"
#include "version.h"

#include <QJsonDocument>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QTimer>

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

QString currentVersion()
{
    return QStringLiteral(ZINTORA_VERSION);
}

QNetworkReply *startPoll(QNetworkAccessManager *manager, const QUrl &endpoint, int deadlineMs)
{
    QNetworkReply *reply = manager->get(QNetworkRequest(endpoint));
    // The reply as context: the timer goes with it. An aborted reply reports
    // an error, which the check shows as the connection message.
    QTimer::singleShot(deadlineMs, reply, [reply] {
        if (reply->isRunning()) {
            qCDebug(lcUpdate) << "update check timed out";
            reply->abort();
        }
    });
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

std::optional<int> compareVersions(const QString &a, const QString &b)
{
    // ASCII digits only: \d would take any script's digits.
    static const QRegularExpression dotted(QStringLiteral("^v?([0-9]+(?:\\.[0-9]+)*)$"));
    const QRegularExpressionMatch ma = dotted.match(a);
    const QRegularExpressionMatch mb = dotted.match(b);
    if (!ma.hasMatch() || !mb.hasMatch())
        return std::nullopt;
    const QStringList pa = ma.captured(1).split(QLatin1Char('.'));
    const QStringList pb = mb.captured(1).split(QLatin1Char('.'));
    // Compared as digit strings without leading zeros, so that no part is
    // too long to compare: the longer is the higher.
    const auto part = [](const QStringList &parts, int i) {
        const QString digits = parts.value(i);
        int zeros = 0;
        while (zeros < digits.size() && digits.at(zeros) == QLatin1Char('0'))
            ++zeros;
        return digits.mid(zeros);
    };
    for (int i = 0; i < qMax(pa.size(), pb.size()); ++i) {
        const QString x = part(pa, i);
        const QString y = part(pb, i);
        if (x.size() != y.size())
            return x.size() < y.size() ? -1 : 1;
        if (x != y)
            return x < y ? -1 : 1;
    }
    return 0;
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
    // Only a higher version is news; one that is no version at all makes the
    // document unusable, like a missing key.
    const std::optional<int> order = compareVersions(version, currentVersion);
    if (!order) {
        QMessageBox::critical(parent, QStringLiteral("Oops."), codeMessage("E_003"));
        return;
    }
    if (*order <= 0) {
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
