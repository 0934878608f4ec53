// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLoggingCategory>

// The area selection's part of the message log.
Q_DECLARE_LOGGING_CATEGORY(lcAreaSelect)
