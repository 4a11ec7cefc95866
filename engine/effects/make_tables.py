#!/usr/bin/env python3
"""Writes effect_tables_generated.cpp: the effect tables that are known only by
their shape and a few fixed rows (chorus speed, formants, filter cutoff and
resonance). Run from anywhere; it writes next to itself. Deterministic."""

import math
import os

FS = 44100.0


def pchip(xs, ys, x):
    """Monotone piecewise cubic Hermite interpolation (Fritsch-Carlson)."""
    n = len(xs)
    h = [xs[i + 1] - xs[i] for i in range(n - 1)]
    d = [(ys[i + 1] - ys[i]) / h[i] for i in range(n - 1)]
    m = [0.0] * n
    m[0], m[-1] = d[0], d[-1]
    for i in range(1, n - 1):
        if d[i - 1] * d[i] <= 0:
            m[i] = 0.0
        else:
            w1 = 2 * h[i] + h[i - 1]
            w2 = h[i] + 2 * h[i - 1]
            m[i] = (w1 + w2) / (w1 / d[i - 1] + w2 / d[i])
    for i in (0, n - 2):  # keep the end slopes from overshooting
        k = i if i == 0 else n - 1
        seg = 0 if i == 0 else n - 2
        if m[k] * d[seg] <= 0:
            m[k] = 0.0
        elif abs(m[k]) > 3 * abs(d[seg]):
            m[k] = 3 * d[seg]
    for i in range(n - 1):
        if xs[i] <= x <= xs[i + 1]:
            t = (x - xs[i]) / h[i]
            h00 = 2 * t ** 3 - 3 * t ** 2 + 1
            h10 = t ** 3 - 2 * t ** 2 + t
            h01 = -2 * t ** 3 + 3 * t ** 2
            h11 = t ** 3 - t ** 2
            return h00 * ys[i] + h10 * h[i] * m[i] + h01 * ys[i + 1] + h11 * h[i] * m[i + 1]
    raise ValueError(x)


def pinned_pchip(pins, count):
    xs = [p[0] for p in pins]
    ys = [float(p[1]) for p in pins]
    table = [int(round(pchip(xs, ys, i))) for i in range(count)]
    for x, y in pins:
        table[x] = y
    return table


def chorus_speed():
    """Increments that never shrink: each segment between fixed rows gets
    increments rising from the geometric mean of the neighbouring secant
    slopes at its start to the one at its end, shaped to hit the row exactly."""
    pins = [(0, 0), (1, 1), (8, 295), (16, 2888), (32, 35278), (48, 162550), (64, 489708),
            (80, 1456568), (96, 3731884), (112, 13993406), (127, 33554432)]
    secants = [(pins[k + 1][1] - pins[k][1]) / (pins[k + 1][0] - pins[k][0]) for k in range(len(pins) - 1)]
    joints = [secants[0]]
    for k in range(1, len(secants)):
        joints.append(math.sqrt(secants[k - 1] * secants[k]))
    joints.append(secants[-1] ** 2 / joints[-1])
    table = [0] * 128
    for k in range(len(pins) - 1):
        a, va = pins[k]
        b, vb = pins[k + 1]
        steps = b - a
        if steps == 1:
            table[b] = vb
            continue
        lo, hi = joints[k], joints[k + 1]
        mu = (secants[k] - lo) / (hi - lo)
        ts = [(j + 0.5) / steps for j in range(steps)]
        p_lo, p_hi = 1e-3, 1e3
        for _ in range(200):
            p = math.sqrt(p_lo * p_hi)
            mean = sum(t ** p for t in ts) / steps
            if mean > mu:
                p_lo = p
            else:
                p_hi = p
        incs = [lo + (hi - lo) * t ** p for t in ts]
        scale = (vb - va) / sum(incs)
        acc = float(va)
        for j in range(steps):
            acc += incs[j] * scale
            table[a + j + 1] = int(round(acc))
        table[b] = vb
    return table


def cutoff():
    """Semitone steps of a sine-law coefficient at the low end; towards the top
    the distance to 2^31 shrinks smoothly to the last fixed row."""
    full = 2.0 ** 31
    f0 = math.asin(2123409 / full) * FS / math.pi
    def law(i):
        return full * math.sin(math.pi * f0 * 2 ** (i / 12) / FS)
    knee = 119
    y0 = math.log(full - law(knee))
    eps = 1e-4
    m0 = (math.log(full - law(knee + eps)) - math.log(full - law(knee - eps))) / (2 * eps)
    y1 = math.log(full - 2147391259)
    span = 150 - knee
    m1 = 2 * (y1 - y0) / span - m0
    table = []
    for i in range(151):
        if i <= knee:
            v = law(i)
        else:
            t = (i - knee) / span
            h00 = 2 * t ** 3 - 3 * t ** 2 + 1
            h10 = t ** 3 - 2 * t ** 2 + t
            h01 = -2 * t ** 3 + 3 * t ** 2
            h11 = t ** 3 - t ** 2
            y = h00 * y0 + h10 * span * m0 + h01 * y1 + h11 * span * m1
            v = full - math.exp(y)
        table.append(int(round(v)))
    for i, v in ((0, 2123409), (23, 8016909), (55, 50899550), (87, 322003276),
                 (119, 1753878656), (150, 2147391259)):
        table[i] = v
    return table


def resonance():
    top = 2147314568
    table = [int(round(top * (1 - (1 - i / 127) ** 2))) for i in range(128)]
    for i, v in ((0, 0), (1, 33682843), (32, 945782298), (64, 1618906637), (96, 2019373015), (127, top)):
        table[i] = v
    return table


def formants():
    f1 = pinned_pchip([(0, 4558), (32, 3227), (64, 3227), (95, 1966), (127, 1926)], 128)
    f2 = pinned_pchip([(0, 9185), (31, 11108), (63, 8285), (95, 6508), (127, 16384)], 128)
    f3 = pinned_pchip([(0, 17128), (32, 17128), (63, 16887), (95, 16639), (127, 21100)], 128)
    return f1, f2, f3


def emit(name, ctype, values, per_line=8):
    lines = [f"const std::array<{ctype}, {len(values)}> {name} = {{{{"]
    for i in range(0, len(values), per_line):
        lines.append("    " + ", ".join(str(v) for v in values[i:i + per_line]) + ",")
    lines.append("}};")
    return "\n".join(lines)


def main():
    f1, f2, f3 = formants()
    parts = [
        "// Generated by make_tables.py from the fixed rows of each table; do not edit.",
        '#include "engine/effects/effect_tables.h"',
        "",
        "namespace fx {",
        "",
        emit("kChorusSpeed", "uint32_t", chorus_speed()),
        "",
        emit("kFormant1", "int16_t", f1),
        "",
        emit("kFormant2", "int16_t", f2),
        "",
        emit("kFormant3", "int16_t", f3),
        "",
        emit("kFilterCutoff", "int32_t", cutoff(), 6),
        "",
        emit("kFilterResonance", "int32_t", resonance(), 6),
        "",
        "}  // namespace fx",
        "",
    ]
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "effect_tables_generated.cpp")
    with open(out, "w") as f:
        f.write("\n".join(parts))


if __name__ == "__main__":
    main()
