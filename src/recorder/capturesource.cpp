#include "capturesource.h"

#include "ffmpegcapturesource.h"

#ifdef ZINTORA_HAVE_PORTAL
#include "portalcapturesource.h"
#endif

#include <QtGlobal>

std::unique_ptr<CaptureSource> createCaptureSource()
{
#if defined(ZINTORA_HAVE_PORTAL) && defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    // A Wayland session shows X11 grabs only black, even to a program that
    // itself runs under XWayland with DISPLAY set: ask the desktop instead.
    if (!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return createPortalCaptureSource();
#endif
    return std::make_unique<FfmpegCaptureSource>();
}
