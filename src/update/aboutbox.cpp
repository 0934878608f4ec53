// SPDX-License-Identifier: GPL-3.0-or-later
#include "aboutbox.h"

#include "updatehost.h"

#include <QMessageBox>

QString aboutText(const QString &version, const QString &host)
{
    const QString site = QStringLiteral("http://%1").arg(host);
    QString text;
    text += QStringLiteral("Zintora v");
    text += QStringLiteral("%1\n").arg(version);
    text += QStringLiteral("<p>A simple timelapse screen recorder.<br>");
    text += QStringLiteral("Made by the Zintora developers, 2026. Free software under the GNU "
                           "General Public License, version 3 or later.</p>");
    text += QStringLiteral("<p>This is alpha software.</p>");
    text += QStringLiteral("<p>Tell us what you think: <a href='mailto:feedback@%1"
                           "?subject=Zintora%20Feedback'>feedback@%1</a><br>")
                .arg(host);
    text += QStringLiteral("Visit <a href='%1'>%1</a> for updates and news.\n\n").arg(site);
    text += QStringLiteral("Follow us at <a href='%1/social'>%1/social</a></p>").arg(site);
    return text;
}

void showAboutBox(QWidget *parent, const QString &version)
{
    QMessageBox box(parent);
    box.setWindowTitle(QStringLiteral("About Zintora"));
    box.setTextFormat(Qt::RichText);
    box.setText(aboutText(version, QStringLiteral(ZINTORA_UPDATE_HOST)));
    box.exec();
}
