#!/usr/bin/env python3
"""Writes a .def that forwards every export of Wine's shcore.dll to a renamed
copy of it, except IsOS, which the shim answers itself."""
import struct
import sys


def exports(path):
    data = open(path, 'rb').read()
    pe = struct.unpack_from('<I', data, 0x3C)[0]
    nsec = struct.unpack_from('<H', data, pe + 6)[0]
    optsize = struct.unpack_from('<H', data, pe + 20)[0]
    opt = pe + 24
    magic = struct.unpack_from('<H', data, opt)[0]
    ddir = opt + (96 if magic == 0x10B else 112)
    exp_rva = struct.unpack_from('<I', data, ddir)[0]
    secs = []
    for i in range(nsec):
        s = pe + 24 + optsize + 40 * i
        vsize, va, rawsize, rawptr = struct.unpack_from('<IIII', data, s + 8)
        secs.append((va, max(vsize, rawsize), rawptr))

    def off(rva):
        for va, size, raw in secs:
            if va <= rva < va + size:
                return rva - va + raw
        raise ValueError(hex(rva))

    e = off(exp_rva)
    base, nfuncs, nnames, funcs, names, ords = struct.unpack_from('<IIIIII', data, e + 16)
    named = {}
    for i in range(nnames):
        nrva = struct.unpack_from('<I', data, off(names) + 4 * i)[0]
        idx = struct.unpack_from('<H', data, off(ords) + 2 * i)[0]
        name = data[off(nrva):data.index(b'\0', off(nrva))].decode()
        named[idx] = name
    result = []
    for idx in range(nfuncs):
        rva = struct.unpack_from('<I', data, off(funcs) + 4 * idx)[0]
        if rva == 0:
            continue
        result.append((base + idx, named.get(idx)))
    return magic == 0x20B, result


def main():
    src, target, out = sys.argv[1], sys.argv[2], sys.argv[3]
    lines = ['LIBRARY shcore.dll', 'EXPORTS']
    pe32_plus, table = exports(src)
    # x86-64 has one calling convention and no stdcall decoration.
    shim = 'ShimIsOS' if pe32_plus else 'ShimIsOS@4'
    for ordinal, name in table:
        if name == 'IsOS':
            lines.append('  IsOS=%s @%d' % (shim, ordinal))
        elif name:
            lines.append('  %s=%s.%s @%d' % (name, target, name, ordinal))
        else:
            lines.append('  ord_%d=%s.#%d @%d NONAME' % (ordinal, target, ordinal, ordinal))
    open(out, 'w').write('\n'.join(lines) + '\n')


if __name__ == '__main__':
    main()
