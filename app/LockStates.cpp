// The lock states of the keyboard for the status bar's indicators. Under X11 they
// come from the keyboard extension's indicators; elsewhere the platform cannot tell.
#include "CMainFrame.h"

#ifdef TOVALINE_HAVE_X11
#include <QGuiApplication>
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#endif

bool QueryLockStates(LockStates& states)
{
#ifdef TOVALINE_HAVE_X11
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    Display* display = x11 ? x11->display() : nullptr;
    if (!display)
        return false;
    auto named = [display](const char* name) {
        Atom atom = XInternAtom(display, name, True);
        Bool on = False;
        if (atom != None && XkbGetNamedIndicator(display, atom, nullptr, &on, nullptr, nullptr))
            return on == True;
        return false;
    };
    states.bCaps = named("Caps Lock");
    states.bNum = named("Num Lock");
    states.bScroll = named("Scroll Lock");
    return true;
#else
    (void)states;
    return false;
#endif
}
