#!/usr/bin/python3
"""How many colours a binary PPM picture on standard input shows, every
fourth pixel along both axes: a drawn scene has many, a blank window one."""
import sys

data = sys.stdin.buffer.read()
fields = []
at = 0
while len(fields) < 4:  # magic, width, height, maximum
    while data[at:at + 1].isspace():
        at += 1
    start = at
    while not data[at:at + 1].isspace():
        at += 1
    fields.append(data[start:at])
if fields[0] != b'P6' or fields[3] != b'255':
    sys.exit('colours.py: not an 8-bit binary PPM')
width, height = int(fields[1]), int(fields[2])
pixels = data[at + 1:]
colours = {pixels[3 * (j * width + i):3 * (j * width + i) + 3] for j in range(0, height, 4) for i in range(0, width, 4)}
print(len(colours))
