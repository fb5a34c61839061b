#!/usr/bin/env python3
"""Writes the seed corpus of every fuzz target under fuzz/corpus/<target>/.

The seeds are meaningful requests in each target's input layout (see the
comment at the top of each *_fuzzer.cpp). Replies use the fuzz device's
helpers (fuzz_device.h): 0xC0 delivers a whole first read with the right
station and function code, 0x90 a whole read whose last two bytes become the
reply's CRC, 0xF0 an exception reply with its CRC.
Run it again after changing a layout; fuzzing never writes into this folder.
"""
import os
import struct
import sys

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")

# Reply scripts -------------------------------------------------------------
FIRST = 0xC0        # all asked, header
REST = 0x90         # all asked, seal
EXCEPTION = 0xF0    # all asked, header, exception flag, seal
SILENCE = 0x02
LINK_FAILS = 0x03


def read_reply(data_bytes):
    """A function 1 to 4 reply carrying data_bytes data bytes: 5 + data bytes."""
    first = bytes([FIRST, 0, 0, data_bytes & 0xFF, 0x12, 0x34])
    return first + bytes([REST]) + bytes((0x55 + i) & 0xFF for i in range(data_bytes))


def write_reply():
    """The 8-byte answer of functions 5, 6, 15 and 16: 5 bytes, then 3."""
    return bytes([FIRST, 0, 0, 0x00, 0x10, 0x00]) + bytes([REST, 0x0A, 0, 0])


def exception_reply(code=2):
    return bytes([EXCEPTION, 0, 0, code, 0, 0])


# transaction_replies -------------------------------------------------------
TX = ["readWords", "readDWords", "readBytes", "readIRHRbits", "readDIDOs", "readBytesFromDI",
      "readBytesFromDO", "writeWords", "writeDWords", "writeBytes", "writeHRbit",
      "writeWordWithFN6", "writeWordsWithFN6", "writeBytesWithFN6", "writeDWordsWithFN6",
      "writeHRbitWithFN6", "writeCoils", "writeCoilsWithFN5"]
PREFIX = ["HR", "hr", "FN6HR", "fn6hr", "IR", "DI", "DO", "FN5DO", "fn5do", "HRX", "XY", "",
          "F", "FN6"]


def transaction(tx, prefix, address, count, script, bit=0, flags=0, station=1,
                failing_write=0, data=b"", di=(), do=()):
    head = struct.pack(">BBHiBBBB", TX.index(tx), PREFIX.index(prefix), address, count, bit,
                       flags, station, failing_write)
    entries = [(0, a) for a in di] + [(1, a) for a in do]
    body = struct.pack(">H", len(data)) + data + bytes([len(entries)])
    body += b"".join(struct.pack(">BH", kind, a) for kind, a in entries)
    return head + body + script


def transaction_seeds():
    return {
        "read_words_hr100": transaction("readWords", "HR", 99, 2, read_reply(4)),
        "read_words_125": transaction("readWords", "HR", 0, 125, read_reply(250)),
        "read_dwords_high_first": transaction("readDWords", "HR", 99, 1, read_reply(4), flags=1),
        "read_dwords_low_first": transaction("readDWords", "IR", 0, 2, read_reply(8)),
        "read_bytes_odd": transaction("readBytes", "IR", 0, 3, read_reply(4)),
        "read_register_bits": transaction("readIRHRbits", "FN6HR", 6, 2, read_reply(4), bit=15),
        "read_coils": transaction("readDIDOs", "DO", 16, 10, read_reply(2)),
        "read_inputs_2008": transaction("readDIDOs", "DI", 0, 2008, read_reply(251)),
        "read_exception": transaction("readWords", "HR", 99, 2, exception_reply()),
        "read_silence": transaction("readWords", "HR", 99, 2, bytes([SILENCE])),
        "read_link_fails": transaction("readDIDOs", "DI", 0, 8, bytes([LINK_FAILS])),
        "read_short_first": transaction("readWords", "HR", 99, 2, bytes([0x00, 3, 1, 3, 4])),
        "read_packet_loss": transaction("readWords", "HR", 99, 2,
                                        bytes([FIRST, 1, 3, 4, 0, 10, 0x00, 2, 0, 11])),
        "read_failing_write": transaction("readWords", "HR", 99, 2, read_reply(4), failing_write=1),
        "sparse_inputs": transaction("readBytesFromDI", "DI", 0, 2,
                                     read_reply(1) + read_reply(1), di=(0, 1, 2, 8)),
        "sparse_coils": transaction("readBytesFromDO", "DO", 16, 1, read_reply(1), do=(16, 17)),
        "write_words": transaction("writeWords", "HR", 99, 0, write_reply(), data=b"\x34\x12\x78\x56"),
        "write_dwords": transaction("writeDWords", "HR", 0, 0, write_reply(), flags=1,
                                    data=b"\x78\x56\x34\x12"),
        "write_bytes": transaction("writeBytes", "HR", 0, 0, write_reply(), data=b"\x11\x22\x33"),
        "write_register_bit": transaction("writeHRbit", "HR", 9, 1, read_reply(2) + write_reply(),
                                          bit=3, data=b"\x01"),
        "write_fn6_word": transaction("writeWordWithFN6", "FN6HR", 99, 0, write_reply(),
                                      data=b"\x12\x34"),
        "write_fn6_words": transaction("writeWordsWithFN6", "FN6HR", 99, 0, write_reply() * 3,
                                       data=b"\x01\x00\x02\x00\x03\x00"),
        "write_fn6_second_fails": transaction("writeWordsWithFN6", "FN6HR", 0, 0,
                                              write_reply() + exception_reply(),
                                              data=b"\x01\x00\x02\x00\x03\x00"),
        "write_fn6_bytes": transaction("writeBytesWithFN6", "FN6HR", 0, 0, write_reply() * 2,
                                       data=b"\x11\x22\x33"),
        "write_fn6_dwords": transaction("writeDWordsWithFN6", "FN6HR", 0, 0, write_reply() * 2,
                                        data=b"\x78\x56\x34\x12"),
        "write_fn6_register_bit": transaction("writeHRbitWithFN6", "FN6HR", 9, 1,
                                              read_reply(2) + write_reply(), bit=3, data=b"\x01"),
        "write_coils": transaction("writeCoils", "DO", 16, 10, write_reply(), data=b"\xCD\x01"),
        "write_coils_fn5": transaction("writeCoilsWithFN5", "FN5DO", 16, 3, write_reply() * 3,
                                       data=b"\x05"),
    }


# dispatch ------------------------------------------------------------------
READ, WRITE, LINK_DOWN, OPEN_FAILS = 0x00, 0x01, 0x02, 0x04
BIT, BYTE, WORD, DWORD, QWORD = 0, 1, 2, 3, 4


def request(operation, data_type, count, address, script=b"", retries=0, station=1,
            failing_write=0, data=b""):
    text = address.encode()
    return (struct.pack(">BbiBBBH", operation, data_type, count, retries, station, failing_write,
                        len(data)) + data + bytes([len(text)]) + text + script)


def dispatch_seeds():
    return {
        "read_hr100_words": request(READ, WORD, 2, "HR100", read_reply(4)),
        "read_hr100sw_dword": request(READ, DWORD, 1, "HR100SW", read_reply(4)),
        "read_fn6hr_bit": request(READ, BIT, 1, "FN6HR7.3", read_reply(2)),
        "read_do_bits": request(READ, BIT, 4, "DO5", read_reply(1)),
        "read_di_bytes": request(READ, BYTE, 2, "DI1", read_reply(1) * 3),
        "read_do_bytes": request(READ, BYTE, 1, "DO1", read_reply(1) * 3),
        "read_retried": request(READ, WORD, 1, "IR5", bytes([SILENCE, SILENCE]) + read_reply(2),
                                retries=3),
        "read_link_down": request(READ | LINK_DOWN | OPEN_FAILS, WORD, 1, "HR1"),
        "read_unsupported": request(READ, QWORD, 1, "HR1"),
        "write_hr100_word": request(WRITE, WORD, 1, "HR100", write_reply(), data=b"\x34\x12"),
        "write_hr100sw_dword": request(WRITE, DWORD, 1, "HR100SW", write_reply(),
                                       data=b"\x78\x56\x34\x12"),
        "write_fn6hr_bit": request(WRITE, BIT, 1, "FN6HR7.3", read_reply(2) + write_reply(),
                                   data=b"\x01"),
        "write_fn5do": request(WRITE, BIT, 1, "FN5DO17", write_reply(), data=b"\x01"),
        "write_do_coils": request(WRITE, BIT, 10, "DO17", write_reply(), data=b"\xCD\x01"),
        "write_ir_refused": request(WRITE, WORD, 1, "IR5", retries=2, data=b"\x01\x00"),
        "write_unsupported": request(WRITE, QWORD, 1, "HR1", data=b"\x00" * 8),
    }


# tag_table -----------------------------------------------------------------
def tag_table_seeds():
    return {
        "mixed_stations": b"DI1\nDI1\ndi3\n2-DI7\n2-do1\nFN5DO4\nHR10\n1-HR5",
        "default_station_2": b"@2\nDI5\n2-DI6\n#DI7\n#2-DO1",
        "odd_numbers": b"DI0\nDI\nDI5X\n1-DI5X\n300-DI1\n1-DI65537\nfn5do2\n3-FN5DO2",
        "coil_run": b"DO1\nDO2\nDO3\nDO10\nDO65536",
        "empty": b"",
    }


# settings_stream -----------------------------------------------------------
def qstring(text, order=">"):
    if text is None:
        return struct.pack(order + "I", 0xFFFFFFFF)
    encoded = text.encode("utf-16-be" if order == ">" else "utf-16-le")
    return struct.pack(order + "I", len(encoded)) + encoded


def device_setting(type_, string, numbers, sockets, order=">"):
    out = struct.pack(order + "i", type_) + qstring(string, order)
    out += struct.pack(order + "7i", *numbers) + struct.pack(order + "i", len(sockets))
    for ip, port in sockets:
        out += qstring(ip, order) + struct.pack(order + "H", port)
    return out


def settings_seeds():
    two = [("10.0.0.1", 502), ("10.0.0.2", 503)]
    # flags: 0x01 little-endian, 0x02 target already holds sockets, 0x0C version
    little = device_setting(16, "COM2", [9600, 8, 0, 2, 0, -1, 0], two[:1], order="<")
    return {
        "device_two_sockets": b"\x0C" + device_setting(16, "COM2", [9600, 8, 0, 2, 7, 4, 1], two),
        "device_into_held_sockets": b"\x0E" + device_setting(32, "ETHERNET", [0, 0, 0, 0, 0, 1, 2], two),
        "device_null_string": b"\x00" + device_setting(0, None, [0, 0, 0, 0, 0, -1, 0], []),
        "device_little_endian": b"\x0D" + little,
        "driver_defaults": b"\x0C" + struct.pack(">4i", 3000, 3, 1, 0),
    }


# hex_to_uint ---------------------------------------------------------------
def hex_seeds():
    def h(length, text):
        return struct.pack(">b", length) + text
    return {
        "prefixed": h(4, b"0x1A"),
        "lower": h(2, b"1a"),
        "prefix_only": h(2, b"0x"),
        "bad_digit": h(2, b"1G"),
        "cut_by_length": h(2, b"FFFF"),
        "nine_digits_any_length": h(127, b"123456789"),
        "leading_zero": h(3, b"0FF"),
        "negative_length": h(-1, b"12"),
    }


def main():
    targets = {
        "transaction_replies": transaction_seeds(),
        "dispatch": dispatch_seeds(),
        "tag_table": tag_table_seeds(),
        "settings_stream": settings_seeds(),
        "hex_to_uint": hex_seeds(),
    }
    for target, seeds in targets.items():
        folder = os.path.join(ROOT, target)
        os.makedirs(folder, exist_ok=True)
        for name in os.listdir(folder):
            os.remove(os.path.join(folder, name))
        for name, data in seeds.items():
            with open(os.path.join(folder, name), "wb") as f:
                f.write(data)
        print(f"{target}: {len(seeds)} seeds", file=sys.stderr)


if __name__ == "__main__":
    main()
