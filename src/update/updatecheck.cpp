#include "updatecheck.h"

#include "updatehost.h"

QUrl defaultUpdateEndpoint()
{
    return QUrl(QStringLiteral("http://" ZINTORA_UPDATE_HOST "/latest-version.json"),
                QUrl::TolerantMode);
}
