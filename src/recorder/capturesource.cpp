// SPDX-License-Identifier: GPL-3.0-or-later
#include "capturesource.h"

#include "captureroute.h"
#include "ffmpegcapturesource.h"

#ifdef ZINTORA_HAVE_PORTAL
#include "portalcapturesource.h"
#endif

std::unique_ptr<CaptureSource> createCaptureSource()
{
#ifdef ZINTORA_HAVE_PORTAL
    if (captureRoute(currentCaptureSession()).kind == CaptureRoute::ScreenCast)
        return createPortalCaptureSource();
#endif
    // A desktop that the grab device cannot record either is refused before
    // a recording starts.
    return std::make_unique<FfmpegCaptureSource>();
}
