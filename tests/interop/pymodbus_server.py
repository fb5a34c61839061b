#!/usr/bin/python3
"""A Modbus RTU slave over TCP built on pymodbus 3.0, the independent peer of
the interoperability tests.

    pymodbus_server.py [MAP_FILE] [--host 127.0.0.1] [--port 0] [--stop-on-eof]
                       [--station 1,2] [--size 1000] [--seed N]

MAP_FILE is JSON: {"stations": {"1": {"hr": [...], "ir": [...], "co": [...],
"di": [...]}, "2": {...}}}. Each list holds the values of protocol addresses
0, 1, 2, ... of its table (registers 0..65535, bits 0/1); an address past the
end of a list is outside the map and gets exception 2. Stations missing from
the file are not answered at all. Without a map file the stations of
--station serve --size registers and bits each: every register holds its own
protocol address, every odd-numbered bit is on; with --seed N they hold
pseudo-random values instead, different for each station.

When it listens it prints "PORT <n>" on a line of its own and flushes, so a
caller that asked for port 0 learns the port. It stops on SIGTERM or SIGINT,
and with --stop-on-eof also when its standard input closes (a test fixture
holds a pipe to it, so the server never outlives it).
"""

import argparse
import asyncio
import json
import logging
import random
import signal
import sys

from pymodbus.datastore import (
    ModbusSequentialDataBlock,
    ModbusServerContext,
    ModbusSlaveContext,
)
from pymodbus.framer.rtu_framer import ModbusRtuFramer
from pymodbus.server import StartAsyncTcpServer


def slave_context(tables):
    """One station's data. zero_mode: without it pymodbus adds 1 to every
    protocol address before it looks into a block, so protocol address a
    is list index a only with zero_mode on."""

    def block(name):
        values = [int(v) for v in tables.get(name, [])]
        if name in ("co", "di"):
            values = [bool(v) for v in values]
        if values:
            return ModbusSequentialDataBlock(0, values)
        # pymodbus cannot make an empty block; one emptied afterwards
        # refuses every address, as an absent table should.
        empty = ModbusSequentialDataBlock(0, [False if name in ("co", "di") else 0])
        empty.values = []
        return empty

    return ModbusSlaveContext(
        co=block("co"), di=block("di"), hr=block("hr"), ir=block("ir"), zero_mode=True
    )


async def serve(args, stations):
    context = ModbusServerContext(
        slaves={sid: slave_context(t) for sid, t in stations.items()}, single=False
    )
    server = await StartAsyncTcpServer(
        context=context,
        address=(args.host, args.port),
        framer=ModbusRtuFramer,
        defer_start=True,
        allow_reuse_address=True,
        ignore_missing_slaves=True,
    )
    task = asyncio.create_task(server.serve_forever())
    await server.serving
    port = server.server.sockets[0].getsockname()[1]
    print(f"PORT {port}", flush=True)

    loop = asyncio.get_running_loop()
    stop = asyncio.Event()
    for sig in (signal.SIGTERM, signal.SIGINT):
        loop.add_signal_handler(sig, stop.set)
    if args.stop_on_eof:
        loop.add_reader(
            sys.stdin.fileno(),
            lambda: stop.set() if not sys.stdin.buffer.read1(4096) else None,
        )

    await stop.wait()
    await server.shutdown()
    task.cancel()
    try:
        await task
    except (asyncio.CancelledError, Exception):  # pylint: disable=broad-except
        pass


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("map_file", nargs="?")
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--stop-on-eof", action="store_true")
    parser.add_argument("--station", default="1", help="stations served without a map file")
    parser.add_argument("--size", type=int, default=1000, help="table size without a map file")
    parser.add_argument("--seed", type=int, help="pseudo-random tables without a map file")
    parser.add_argument("--log", default="CRITICAL", help="pymodbus log level")
    args = parser.parse_args()
    logging.basicConfig(level=getattr(logging, args.log.upper(), logging.CRITICAL))
    logging.getLogger("pymodbus").setLevel(getattr(logging, args.log.upper(), logging.CRITICAL))

    if args.map_file:
        with open(args.map_file, encoding="utf-8") as handle:
            data = json.load(handle)
        stations = {int(sid): tables for sid, tables in data["stations"].items()}
    else:
        size = max(1, min(args.size, 65536))
        rng = random.Random(args.seed)

        def fill(top, own):
            return [own(a) if args.seed is None else rng.randrange(top) for a in range(size)]

        stations = {
            int(sid): {
                "hr": fill(0x10000, lambda a: a & 0xFFFF),
                "ir": fill(0x10000, lambda a: a & 0xFFFF),
                "co": fill(2, lambda a: (a + 1) % 2),
                "di": fill(2, lambda a: (a + 1) % 2),
            }
            for sid in args.station.split(",")
            if sid.strip()
        }
    if not stations:
        sys.exit("no station in the map")
    asyncio.run(serve(args, stations))


if __name__ == "__main__":
    main()
