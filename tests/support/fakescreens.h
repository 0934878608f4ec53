// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "desktopscreens.h"

#include <QRect>
#include <QVector>

// A desktop made up by a test: any number of screens at any place and scale.
class FakeScreens : public DesktopScreens
{
public:
    struct Screen
    {
        QRect geometry;  // logical
        QRect available; // logical
        double ratio = 1.0;
    };

    FakeScreens(QVector<Screen> screens, int primaryScreen)
        : list(std::move(screens)), primaryIndex(primaryScreen)
    {
    }

    int count() const override { return list.size(); }
    int primary() const override { return primaryIndex; }
    QRect logicalGeometry(int screen) const override { return list.value(screen).geometry; }
    QRect logicalAvailableGeometry(int screen) const override
    {
        return list.value(screen).available;
    }
    double devicePixelRatio(int screen) const override { return list.value(screen).ratio; }

private:
    QVector<Screen> list;
    int primaryIndex;
};
