"""Reads what the release tests check in a 32-bit PE file: its data
directories, its resources and the version resource. Written from the file
format alone, so that the tests do not read back through the tool that wrote."""

import struct

IMPORT_DIRECTORY = 1
SECURITY_DIRECTORY = 4
RESOURCE_DIRECTORY = 2
RT_MANIFEST = 24
DYNAMIC_BASE = 0x0040
NX_COMPAT = 0x0100
SUBSYSTEM_WINDOWS_GUI = 2
RT_VERSION = 16
FIXED_INFO_SIGNATURE = 0xFEEF04BD


class PeError(Exception):
    pass


class PeImage:
    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise PeError("no MZ header")
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise PeError("no PE signature")
        coff = pe + 4
        self.machine, sections, self.timestamp = struct.unpack_from("<HHI", data, coff)
        optional_size = struct.unpack_from("<H", data, coff + 16)[0]
        optional = coff + 20
        if struct.unpack_from("<H", data, optional)[0] != 0x10B:
            raise PeError("not a PE32 (32-bit) image")
        # The oldest Windows the image says it runs on, and its subsystem's.
        self.os_version = struct.unpack_from("<HH", data, optional + 40)
        self.subsystem_version = struct.unpack_from("<HH", data, optional + 48)
        self.checksum = struct.unpack_from("<I", data, optional + 64)[0]
        self.subsystem, self.dll_characteristics = struct.unpack_from("<HH", data, optional + 68)
        count = struct.unpack_from("<I", data, optional + 92)[0]
        self.directories = [struct.unpack_from("<II", data, optional + 96 + 8 * i)
                            for i in range(count)]
        self.sections = []
        table = optional + optional_size
        for i in range(sections):
            entry = table + 40 * i
            name = data[entry:entry + 8].rstrip(b"\0").decode("ascii", "replace")
            vsize, vaddr, raw_size, raw_offset = struct.unpack_from("<IIII", data, entry + 8)
            self.sections.append((name, vaddr, max(vsize, raw_size), raw_offset))

    def directory(self, index):
        """(address, size); for the security directory the address is a file offset."""
        return self.directories[index] if index < len(self.directories) else (0, 0)

    def offset_of(self, rva):
        for _, vaddr, size, raw_offset in self.sections:
            if vaddr <= rva < vaddr + size:
                return raw_offset + rva - vaddr
        raise PeError(f"address {rva:#x} is in no section")

    def _text(self, rva):
        at = self.offset_of(rva)
        return self.data[at:self.data.index(b"\0", at)].decode("ascii")

    def imports(self):
        """{DLL name: [function names or ordinals]} of the import table."""
        rva, size = self.directory(IMPORT_DIRECTORY)
        found = {}
        at = self.offset_of(rva) if size else None
        while at is not None:
            lookup, _, _, name, thunks = struct.unpack_from("<5I", self.data, at)
            if name == 0:
                break
            functions = []
            entry = self.offset_of(lookup or thunks)
            while True:
                value = struct.unpack_from("<I", self.data, entry)[0]
                if value == 0:
                    break
                functions.append(value & 0xFFFF if value & 0x80000000 else self._text(value + 2))
                entry += 4
            found[self._text(name)] = functions
            at += 20
        return found

    def resources(self):
        """Every resource as (type, name, language, bytes); names are ids or strings."""
        rva, size = self.directory(RESOURCE_DIRECTORY)
        if not size:
            return []
        base = self.offset_of(rva)
        found = []

        def label(field):
            if field & 0x80000000:
                at = base + (field & 0x7FFFFFFF)
                length = struct.unpack_from("<H", self.data, at)[0]
                return self.data[at + 2:at + 2 + 2 * length].decode("utf-16-le")
            return field

        def walk(table, path):
            named, ids = struct.unpack_from("<HH", self.data, base + table + 12)
            for i in range(named + ids):
                field, target = struct.unpack_from("<II", self.data, base + table + 16 + 8 * i)
                here = path + [label(field)]
                if target & 0x80000000:
                    walk(target & 0x7FFFFFFF, here)
                else:
                    data_rva, data_size = struct.unpack_from("<II", self.data, base + target)
                    at = self.offset_of(data_rva)
                    found.append((*here, self.data[at:at + data_size]))

        walk(0, [])
        return found


def _node(blob, at):
    """One VS_VERSIONINFO node: (key, value bytes, children, end)."""
    length, value_length, kind = struct.unpack_from("<HHH", blob, at)
    end = at + length
    key_end = at + 6
    while blob[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = blob[at + 6:key_end].decode("utf-16-le")
    value_at = _align(key_end + 2)
    # Text values count UTF-16 units, binary ones bytes.
    value_bytes = value_length * 2 if kind == 1 else value_length
    value = blob[value_at:value_at + value_bytes]
    children = []
    child = _align(value_at + value_bytes)
    while child < end:
        node = _node(blob, child)
        children.append(node)
        child = _align(node[3])
    return key, value, children, end


def _align(offset):
    return (offset + 3) & ~3


def _version(high, low):
    return (high >> 16, high & 0xFFFF, low >> 16, low & 0xFFFF)


def version_info(blob):
    """The parts of a version resource: fixed versions, string tables, translations."""
    key, fixed, children, _ = _node(blob, 0)
    if key != "VS_VERSION_INFO":
        raise PeError(f"version resource's root is {key!r}")
    signature, _, file_hi, file_lo, product_hi, product_lo = struct.unpack_from("<6I", fixed)
    if signature != FIXED_INFO_SIGNATURE:
        raise PeError(f"VS_FIXEDFILEINFO signature {signature:#x}")
    file_type = struct.unpack_from("<I", fixed, 36)[0]  # dwFileType
    tables, translations = {}, []
    for child_key, _, grandchildren, _ in children:
        if child_key == "StringFileInfo":
            for table_key, _, strings, _ in grandchildren:
                tables[table_key] = {name: value.decode("utf-16-le").rstrip("\0")
                                     for name, value, _, _ in strings}
        elif child_key == "VarFileInfo":
            for var_key, value, _, _ in grandchildren:
                if var_key == "Translation":
                    translations += list(struct.iter_unpack("<HH", value))
    return {
        "file_version": _version(file_hi, file_lo),
        "product_version": _version(product_hi, product_lo),
        "file_type": file_type,
        "strings": tables,
        "translations": translations,
    }
