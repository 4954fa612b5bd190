#!/usr/bin/env python3
"""Writes the program's four sounds as 16-bit mono WAV files into the given folder.

Each sound is a short run of soft sine chimes; the recipe below is the whole source of them.
"""
import math
import struct
import sys
import wave
from pathlib import Path

RATE = 44100

# name: [(frequency in Hz, start in s, length in s, loudness 0..1), ...]
RECIPE = {
    "Message": [(880.0, 0.00, 0.18, 0.45), (1318.5, 0.09, 0.30, 0.40)],
    "Broadcast": [(659.3, 0.00, 0.16, 0.40), (880.0, 0.10, 0.16, 0.40), (1108.7, 0.20, 0.34, 0.40)],
    "Online": [(523.3, 0.00, 0.14, 0.35), (784.0, 0.08, 0.28, 0.35)],
    "File": [(987.8, 0.00, 0.10, 0.35), (987.8, 0.14, 0.10, 0.35), (1479.98, 0.28, 0.30, 0.35)],
}


def render(notes):
    length = max(start + duration for _, start, duration, _ in notes) + 0.02
    samples = [0.0] * int(length * RATE)
    for frequency, start, duration, loudness in notes:
        first = int(start * RATE)
        count = int(duration * RATE)
        for i in range(count):
            t = i / RATE
            attack = min(1.0, t / 0.005)
            decay = math.exp(-5.0 * t / duration)
            samples[first + i] += loudness * attack * decay * math.sin(2 * math.pi * frequency * t)
    return b"".join(struct.pack("<h", int(max(-1.0, min(1.0, s)) * 32767)) for s in samples)


def main():
    folder = Path(sys.argv[1])
    folder.mkdir(parents=True, exist_ok=True)
    for name, notes in RECIPE.items():
        with wave.open(str(folder / f"{name}.wav"), "wb") as out:
            out.setnchannels(1)
            out.setsampwidth(2)
            out.setframerate(RATE)
            out.writeframes(render(notes))


if __name__ == "__main__":
    main()
