#!/usr/bin/env python3
"""Writes the seed inputs of fuzz_download into corpus/fuzz_download.

The target reads frame bytes from the front of its input and every number
from the back (see fuzzinput.h), so a seed is the frame bytes
followed by the numbers in reverse order of use.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "corpus", "fuzz_download")


def word(counter, field, button):
    return ((counter & 0x3FFFFF) | (0x400000 if button else 0) | ((field & 0x100) << 15)
            | ((field & 0xFF) << 24))


def frame(status, counter, words):
    words = (list(words) + [0] * 16)[:16]
    return struct.pack("<17I", (counter << 8) | status, *words)


class Seed:
    def __init__(self, previous=None, clock=1700000000, at_once=False):
        self.front = b""
        self.back = []  # bytes in the order the target consumes them
        if previous is None:
            self.number(0, 255)
        else:
            timer, user_no, button = previous
            self.number(1, 255)
            self.number(timer, 0x3FFFFF)
            self.number(user_no + 1, 511)
            self.number(button, 255)
        self.number(clock, 1 << 34)
        self.number(1 if at_once else 0, 255)

    def number(self, value, span):
        size = 0
        while span >> (8 * size):
            size += 1
        self.back += list(value.to_bytes(size, "big"))

    def frame(self, data, polls=1, at_once=False, seconds=0, length=None, jump=None):
        control = (polls - 1) | (4 if at_once else 0)
        if jump is not None:
            control |= 0x80
        else:
            control |= (seconds & 7) << 3
        if length is not None:
            control |= 0x40
        self.number(control, 255)
        if jump is not None:
            self.number(jump + 100000, 200000)
        if length is not None:
            self.number(length, 68)
            data = data[:length]
        self.front += data
        return self

    def bytes(self):
        return self.front + bytes(reversed(self.back))


def events(n, newest=100000):
    return [word(newest - 3 * i, 1 + i % 500, i % 2) for i in range(n)]


def main():
    os.makedirs(OUT, exist_ok=True)
    seeds = {}
    log = events(21)
    seeds["whole"] = Seed().frame(frame(0, 100010, log[:16])).frame(frame(0, 0, log[16:]))
    seeds["previous"] = Seed(previous=(99994, 2, 0), at_once=True).frame(
        frame(0, 100010, log[:16]), polls=2)
    seeds["short"] = Seed().frame(frame(0, 100010, log[:16])).frame(
        frame(0, 0, log[16:]), length=30)
    seeds["status"] = Seed().frame(frame(5, 100010, log[:16]))
    seeds["silence"] = Seed()
    seeds["jump"] = Seed(clock=5).frame(frame(0, 3, log[:16]), jump=-4000).frame(
        frame(0, 0, log[16:]), jump=90000)
    many = Seed()
    log = events(6200, newest=4000000)
    for i in range(0, 6200, 16):
        many.frame(frame(0, 4000010, log[i:i + 16]), at_once=i % 64 == 0)
    seeds["limit"] = many
    for name, seed in seeds.items():
        with open(os.path.join(OUT, name), "wb") as f:
            f.write(seed.bytes())


if __name__ == "__main__":
    main()
