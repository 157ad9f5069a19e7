"""The visible windows of an X display and their titles, read through Xlib in this process.

A scenario polls the window list several times a second; as a separate program per window
(xdotool) each poll cost more processor time than the program under test got on an emulated
processor. The list is the one `xdotool search --onlyvisible --name .` gives, with the titles
`xdotool getwindowname` prints: every viewable window with a WM_NAME, each level's windows in
stacking order before the levels below them, titled by _NET_WM_NAME (UTF-8), else WM_NAME.
"""

import ctypes

_xlib = ctypes.CDLL("libX11.so.6")
_Window = ctypes.c_ulong
_Atom = ctypes.c_ulong
_IS_VIEWABLE = 2
_ANY_PROPERTY_TYPE = 0


class _WindowAttributes(ctypes.Structure):
    _fields_ = [("x", ctypes.c_int), ("y", ctypes.c_int), ("width", ctypes.c_int),
                ("height", ctypes.c_int), ("border_width", ctypes.c_int),
                ("depth", ctypes.c_int), ("visual", ctypes.c_void_p), ("root", _Window),
                ("class_", ctypes.c_int), ("bit_gravity", ctypes.c_int),
                ("win_gravity", ctypes.c_int), ("backing_store", ctypes.c_int),
                ("backing_planes", ctypes.c_ulong), ("backing_pixel", ctypes.c_ulong),
                ("save_under", ctypes.c_int), ("colormap", ctypes.c_ulong),
                ("map_installed", ctypes.c_int), ("map_state", ctypes.c_int),
                ("all_event_masks", ctypes.c_long), ("your_event_mask", ctypes.c_long),
                ("do_not_propagate_mask", ctypes.c_long), ("override_redirect", ctypes.c_int),
                ("screen", ctypes.c_void_p)]


_xlib.XOpenDisplay.restype = ctypes.c_void_p
_xlib.XOpenDisplay.argtypes = [ctypes.c_char_p]
_xlib.XCloseDisplay.argtypes = [ctypes.c_void_p]
_xlib.XDefaultRootWindow.restype = _Window
_xlib.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
_xlib.XQueryTree.argtypes = [ctypes.c_void_p, _Window, ctypes.POINTER(_Window),
                             ctypes.POINTER(_Window), ctypes.POINTER(ctypes.POINTER(_Window)),
                             ctypes.POINTER(ctypes.c_uint)]
_xlib.XGetWindowAttributes.argtypes = [ctypes.c_void_p, _Window,
                                       ctypes.POINTER(_WindowAttributes)]
_xlib.XInternAtom.restype = _Atom
_xlib.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
_xlib.XGetWindowProperty.argtypes = [
    ctypes.c_void_p, _Window, _Atom, ctypes.c_long, ctypes.c_long, ctypes.c_int, _Atom,
    ctypes.POINTER(_Atom), ctypes.POINTER(ctypes.c_int), ctypes.POINTER(ctypes.c_ulong),
    ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.c_void_p)]
_xlib.XFree.argtypes = [ctypes.c_void_p]
_ErrorHandler = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)
_xlib.XSetErrorHandler.argtypes = [_ErrorHandler]

# A window can go between the listing and the look at it; Xlib's default handler would end this
# process for that. Such a window simply drops out of the list.
_ERROR_HANDLER = _ErrorHandler(lambda *_: 0)
_xlib.XSetErrorHandler(_ERROR_HANDLER)


def _property_bytes(display, window, atom):
    """A text property's bytes, or None."""
    kind, unit_bits = _Atom(), ctypes.c_int()
    count, left, data = ctypes.c_ulong(), ctypes.c_ulong(), ctypes.c_void_p()
    status = _xlib.XGetWindowProperty(
        display, window, atom, 0, 4096, 0, _ANY_PROPERTY_TYPE, ctypes.byref(kind),
        ctypes.byref(unit_bits), ctypes.byref(count), ctypes.byref(left), ctypes.byref(data))
    if status != 0 or not data:
        return None
    try:
        return ctypes.string_at(data, count.value) if unit_bits.value == 8 else None
    finally:
        _xlib.XFree(data)


def _title(display, window, atoms):
    """The title xdotool prints, of a window its search by name finds (one with a WM_NAME)."""
    wm_name = _property_bytes(display, window, atoms["WM_NAME"])
    if not wm_name:
        return ""
    text = _property_bytes(display, window, atoms["_NET_WM_NAME"]) or wm_name
    return text.decode("utf-8", "replace")


def _children(display, window):
    root, parent = _Window(), _Window()
    children, count = ctypes.POINTER(_Window)(), ctypes.c_uint()
    if not _xlib.XQueryTree(display, window, ctypes.byref(root), ctypes.byref(parent),
                            ctypes.byref(children), ctypes.byref(count)):
        return []
    try:
        return [children[i] for i in range(count.value)]
    finally:
        if children:
            _xlib.XFree(children)


def _matching(display, window, atoms, found):
    """xdotool's walk: the window's viewable, titled children bottom to top, then each child's
    own children in turn."""
    children = _children(display, window)
    for child in children:
        attributes = _WindowAttributes()
        if not _xlib.XGetWindowAttributes(display, child, ctypes.byref(attributes)):
            continue  # gone meanwhile
        if attributes.map_state == _IS_VIEWABLE:
            title = _title(display, child, atoms)
            if title:
                found.append((str(child), title))
    for child in children:
        _matching(display, child, atoms, found)


def visible_windows(display_name):
    """(id as text, title) of every viewable window with a title on the display."""
    display = _xlib.XOpenDisplay(display_name.encode())
    if not display:
        return []
    try:
        atoms = {name: _xlib.XInternAtom(display, name.encode(), 0)
                 for name in ("_NET_WM_NAME", "WM_NAME")}
        found = []
        _matching(display, _xlib.XDefaultRootWindow(display), atoms, found)
        return found
    finally:
        _xlib.XCloseDisplay(display)
