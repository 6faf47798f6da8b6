#!/usr/bin/python3
"""How many colours a rectangle of the X screen shows, every fourth pixel
along both axes: a drawn scene has many, a blank window one.
usage: colours.py X Y WIDTH HEIGHT (DISPLAY from the environment)"""
import ctypes
import sys


class XImage(ctypes.Structure):
    _fields_ = [('width', ctypes.c_int), ('height', ctypes.c_int), ('xoffset', ctypes.c_int),
                ('format', ctypes.c_int), ('data', ctypes.POINTER(ctypes.c_ubyte)),
                ('byte_order', ctypes.c_int), ('bitmap_unit', ctypes.c_int),
                ('bitmap_bit_order', ctypes.c_int), ('bitmap_pad', ctypes.c_int),
                ('depth', ctypes.c_int), ('bytes_per_line', ctypes.c_int),
                ('bits_per_pixel', ctypes.c_int)]


x11 = ctypes.cdll.LoadLibrary('libX11.so.6')
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
x11.XDefaultRootWindow.restype = ctypes.c_ulong
x11.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_uint,
                          ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
x11.XGetImage.restype = ctypes.POINTER(XImage)
display = x11.XOpenDisplay(None)
if not display:
    sys.exit('colours.py: cannot open the display')
x, y, width, height = (int(a) for a in sys.argv[1:5])
image = x11.XGetImage(display, x11.XDefaultRootWindow(display), x, y, width, height, 0xffffffff, 2)
if not image or image.contents.bits_per_pixel != 32:
    sys.exit('colours.py: no 32-bit image')
im = image.contents
colours = set()
for j in range(0, height, 4):
    row = j * im.bytes_per_line
    for i in range(0, width, 4):
        p = row + 4 * i
        colours.add((im.data[p], im.data[p + 1], im.data[p + 2]))
print(len(colours))
