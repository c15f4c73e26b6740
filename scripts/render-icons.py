#!/usr/bin/env python3
"""Renders the program's SVG icon into the PNG sizes that are committed
beside it (packaging/icons/), through the system's librsvg and cairo.
Run it after changing the SVG."""
import ctypes
import pathlib
import sys

SIZES = (16, 22, 24, 32, 48, 64, 128, 256)


class Rect(ctypes.Structure):
    _fields_ = [("x", ctypes.c_double), ("y", ctypes.c_double),
                ("width", ctypes.c_double), ("height", ctypes.c_double)]


def main():
    icons = pathlib.Path(__file__).resolve().parent.parent / "packaging" / "icons"
    svg = icons / "org.tonyx.Tonyx.svg"
    rsvg = ctypes.CDLL("librsvg-2.so.2")
    cairo = ctypes.CDLL("libcairo.so.2")
    rsvg.rsvg_handle_new_from_file.restype = ctypes.c_void_p
    rsvg.rsvg_handle_new_from_file.argtypes = [ctypes.c_char_p, ctypes.c_void_p]
    rsvg.rsvg_handle_render_document.argtypes = [ctypes.c_void_p, ctypes.c_void_p,
                                                 ctypes.POINTER(Rect), ctypes.c_void_p]
    cairo.cairo_image_surface_create.restype = ctypes.c_void_p
    cairo.cairo_create.restype = ctypes.c_void_p
    cairo.cairo_create.argtypes = [ctypes.c_void_p]
    cairo.cairo_destroy.argtypes = [ctypes.c_void_p]
    cairo.cairo_surface_write_to_png.argtypes = [ctypes.c_void_p, ctypes.c_char_p]
    cairo.cairo_surface_destroy.argtypes = [ctypes.c_void_p]
    handle = rsvg.rsvg_handle_new_from_file(str(svg).encode(), None)
    if not handle:
        sys.exit(f"cannot read {svg}")
    for size in SIZES:
        surface = cairo.cairo_image_surface_create(0, size, size)  # ARGB32
        cr = cairo.cairo_create(surface)
        if not rsvg.rsvg_handle_render_document(handle, cr, ctypes.byref(Rect(0, 0, size, size)),
                                                None):
            sys.exit(f"cannot render {svg} at {size}")
        out = icons / f"org.tonyx.Tonyx-{size}.png"
        if cairo.cairo_surface_write_to_png(surface, str(out).encode()) != 0:
            sys.exit(f"cannot write {out}")
        cairo.cairo_destroy(cr)
        cairo.cairo_surface_destroy(surface)


if __name__ == "__main__":
    main()
