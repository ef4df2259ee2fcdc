// The bare X server of the tests has no window manager, so the names that one announces do not
// exist and the framework's windows would pass None for them, which the server rejects. A desktop
// always has them: this makes them exist for as long as the test program runs.
#include <X11/Xlib.h>

void announceWindowManagerAtoms();
void announceWindowManagerAtoms()
{
    static Display* display = XOpenDisplay (nullptr); // kept open: the server forgets them when the last client leaves
    if (display == nullptr)
        return;
    const char* names[] = { "KWM_WIN_DECORATION", "WM_CHANGE_STATE", "WM_DELETE_WINDOW", "WM_PROTOCOLS", "WM_STATE",
                            "WM_TAKE_FOCUS", "_KDE_NET_WM_WINDOW_TYPE_OVERRIDE", "_MOTIF_WM_HINTS", "_NET_FRAME_EXTENTS",
                            "_NET_WM_ALLOWED_ACTIONS", "_NET_WM_PING", "_NET_WM_STATE", "_NET_WM_STATE_FULLSCREEN",
                            "_NET_WM_STATE_HIDDEN", "_NET_WM_WINDOW_TYPE", "_NET_WM_WINDOW_TYPE_COMBO",
                            "_NET_WM_WINDOW_TYPE_NORMAL", "_NET_WORKAREA", "_WIN_HINTS" };
    for (auto* name : names)
        XInternAtom (display, name, False);
    XSync (display, False);
}
