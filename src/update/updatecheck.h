// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QJsonObject>
#include <QLoggingCategory>
#include <QString>
#include <QUrl>

#include <optional>

class QNetworkAccessManager;
class QNetworkReply;
class QWidget;

Q_DECLARE_LOGGING_CATEGORY(lcUpdate)

// "http://" + the project's web host + "/latest-version.json".
QUrl defaultUpdateEndpoint();

// The version of this build, which the check compares with the latest.
QString currentVersion();

// The reply comes over plain HTTP from whoever is on the path: a body longer
// than this is not read and counts as not valid JSON.
constexpr qint64 maxPollReplySize = 64 * 1024;

// A check that has no complete answer by then ends with the connection
// message: a server that accepts the connection and never answers must not
// leave the user waiting forever.
constexpr int updateCheckDeadlineMs = 15000;

// Sends the GET for one check on the manager, which reports the reply with
// its finished() signal. The transfer is cut off once the body is known to
// be longer than maxPollReplySize, and aborted after deadlineMs.
QNetworkReply *startPoll(QNetworkAccessManager *manager, const QUrl &endpoint, int deadlineMs);

// Compares versions written as dotted numbers with an optional leading "v"
// ("0.5.0", "v0.5", "1.10"); missing parts count as 0. Returns -1, 0 or 1 as
// a is lower, equal or higher than b, or nullopt when either is not such a
// version.
std::optional<int> compareVersions(const QString &a, const QString &b);

// The message to show for a finished reply, or an empty text when the reply
// is usable; in that case object holds the update document.
QString validatePollReply(QNetworkReply *reply, QJsonObject &object);

// The rich text announcing a newer version. Both values come from the
// network: they are shown as text, and the link is clickable only when it is
// an absolute http or https URL.
QString newVersionText(const QString &version, const QString &link);

// Shows the one message box of a finished check over the parent (modal).
void showPollResult(QWidget *parent, QNetworkReply *reply, const QString &currentVersion);
