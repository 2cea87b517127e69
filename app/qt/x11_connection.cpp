// Lends the display probe Qt's own X connection: asking RandR through it
// costs no connection of its own at start-up.
#include <QGuiApplication>

#include "probe/linux/linux_probe.h"

extern "C" xcb_connection_t* zarv_program_x_connection() {
    auto* x11 = qGuiApp != nullptr ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>()
                                   : nullptr;
    return x11 != nullptr ? x11->connection() : nullptr;
}
