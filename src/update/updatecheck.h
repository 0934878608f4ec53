#pragma once

#include <QUrl>

// "http://" + the project's web host + "/latest-version.json".
QUrl defaultUpdateEndpoint();
