// SPDX-License-Identifier: GPL-3.0-or-later
/* The picture the benchmark's moving-content clients (X11 and Wayland)
 * scroll across the screen, so that both desktops record the same content. */
#pragma once

#include <math.h>
#include <stdint.h>

/* The scroll wraps after this many pixels in each direction. */
#define SCROLL_SPAN 512

/* Something an encoder has to work for, like a desktop with photos and
 * text: smooth colour waves, blocks of fine detail and sharp edges. */
static inline uint32_t texel(int x, int y, uint32_t *noise)
{
    *noise = *noise * 1664525u + 1013904223u;
    int r = (int)(127 + 120 * sin(x * 0.011 + y * 0.004));
    int g = (int)(127 + 120 * sin(y * 0.013 - x * 0.003 + 1.0));
    int b = (int)(127 + 120 * sin((x + y) * 0.007 + 2.0));
    int cellX = x / 48, cellY = y / 24;
    if (((cellX * 7 + cellY * 13) % 5) == 0) {
        /* "Text": dark strokes on a light cell. */
        int on = ((x * 3 + (y & ~3)) % 7) < 2 && (y % 24) > 4 && (y % 24) < 18;
        r = g = b = on ? 30 : 235;
    }
    int grain = (int)(*noise >> 28) - 8;
    r += grain;
    g += grain;
    b += grain;
    r = r < 0 ? 0 : r > 255 ? 255 : r;
    g = g < 0 ? 0 : g > 255 ? 255 : g;
    b = b < 0 ? 0 : b > 255 ? 255 : b;
    return ((uint32_t)r << 16) | ((uint32_t)g << 8) | (uint32_t)b;
}
