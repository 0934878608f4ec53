#pragma once

#include <QLoggingCategory>

// The area selection's part of the message log.
Q_DECLARE_LOGGING_CATEGORY(lcAreaSelect)
