// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class QWidget;

// The rich text of the About box for this version, with links on the host.
QString aboutText(const QString &version, const QString &host);

// Shows the modal About box over the parent and returns when it is closed.
void showAboutBox(QWidget *parent, const QString &version);
