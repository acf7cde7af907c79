"""Builds self-extracting stand-ins: the selfextract_standin program with files
appended (see tests/helpers/selfextract_standin.cpp for the layout)."""
import struct


def pack(stub_path, files, out_path):
    """files: list of (name inside the kit, bytes); names may use '\\' for sub-folders."""
    with open(stub_path, 'rb') as f:
        image = f.read()
    payload = bytearray()
    for name, data in files:
        encoded = name.encode('utf-8')
        payload += struct.pack('<I', len(encoded)) + encoded + struct.pack('<I', len(data)) + data
    with open(out_path, 'wb') as f:
        f.write(image)
        f.write(payload)
        f.write(struct.pack('<I', len(image)) + b'KITPACK1')
