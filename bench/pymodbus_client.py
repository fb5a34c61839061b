#!/usr/bin/python3
"""Requests per second of pymodbus's own synchronous client against a slave
that speaks RTU frames over TCP (ModbusTcpClient with the RTU framer).

Run by loopback_bench once per round; prints one JSON object, requests per
second by kind. The kinds are the requests the C++ masters send:

  read_word        function 3, 1 register from address 0, station 1
  read_125_words   function 3, 125 registers from address 0
  write_123_words  function 16, 123 registers to address 0

With --expect KIND=HEX the frame pymodbus builds for a kind is compared with
the given bytes before anything is timed, so all masters send the same.
Written for Debian's python3-pymodbus 3.0 (run with /usr/bin/python3).
"""

import argparse
import json
import sys
import time

from pymodbus.client import ModbusTcpClient
from pymodbus.register_read_message import ReadHoldingRegistersRequest
from pymodbus.register_write_message import WriteMultipleRegistersRequest
from pymodbus.transaction import ModbusRtuFramer

STATION = 1
WARM_UP = 50


def write_values():
    """The 123 register values loopback_bench writes: its bytes are
    (7 i + 1) mod 256, two per register, low byte first."""
    data = [(7 * i + 1) & 0xFF for i in range(246)]
    return [data[2 * k] | (data[2 * k + 1] << 8) for k in range(123)]


def kinds(client):
    values = write_values()
    return {
        "read_word": (
            lambda: client.read_holding_registers(0, 1, slave=STATION),
            lambda: ReadHoldingRegistersRequest(0, 1, STATION),
        ),
        "read_125_words": (
            lambda: client.read_holding_registers(0, 125, slave=STATION),
            lambda: ReadHoldingRegistersRequest(0, 125, STATION),
        ),
        "write_123_words": (
            lambda: client.write_registers(0, values, slave=STATION),
            lambda: WriteMultipleRegistersRequest(0, values, STATION),
        ),
    }


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--requests", type=int, default=1000)
    parser.add_argument("--kinds", default="read_word,read_125_words,write_123_words")
    parser.add_argument("--expect", action="append", default=[], metavar="KIND=HEX")
    args = parser.parse_args()

    client = ModbusTcpClient(args.host, port=args.port, framer=ModbusRtuFramer)
    if not client.connect():
        print("cannot connect", file=sys.stderr)
        return 1
    available = kinds(client)
    for item in args.expect:
        name, _, hexbytes = item.partition("=")
        built = client.framer.buildPacket(available[name][1]())
        if built.hex() != hexbytes.lower():
            print(f"{name}: pymodbus builds {built.hex()}, expected {hexbytes}", file=sys.stderr)
            return 1

    rates = {}
    for name in args.kinds.split(","):
        call = available[name][0]
        for _ in range(WARM_UP):
            if call().isError():
                print(f"{name}: error reply", file=sys.stderr)
                return 1
        errors = 0
        start = time.perf_counter()
        for _ in range(args.requests):
            errors += 1 if call().isError() else 0
        seconds = time.perf_counter() - start
        if errors:
            print(f"{name}: {errors} of {args.requests} requests failed", file=sys.stderr)
            return 1
        rates[name] = args.requests / seconds
    client.close()
    print(json.dumps(rates))
    return 0


if __name__ == "__main__":
    sys.exit(main())
