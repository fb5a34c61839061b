#!/usr/bin/python3
"""Reads and writes a Modbus RTU slave over TCP with pymodbus 3.0's own
client, as an independent check on what the driver did.

    pymodbus_client.py PORT STATION COMMAND ADDR ARG... [--host H] [--timeout SECONDS] [--mbap]
    pymodbus_client.py PORT --lines [--host H] [--timeout SECONDS] [--mbap]

--mbap speaks Modbus TCP (MBAP header, no CRC), as a gateway's clients do.

COMMAND ADDR ARG:
    read-hr ADDR COUNT      holding registers (function 3)
    read-ir ADDR COUNT      input registers (function 4)
    read-co ADDR COUNT      coils (function 1)
    read-di ADDR COUNT      discrete inputs (function 2)
    write-hr ADDR VALUE...  holding registers (function 16)
    write-co ADDR BIT...    coils (function 15)
    write-reg ADDR VALUE    one holding register (function 6)
    write-coil ADDR BIT     one coil (function 5)

ADDR is the zero-based protocol address; numbers may be written 0x...
Prints one JSON object: {"ok": true, "values": [...]} for a read (registers as
unsigned numbers, bits as 0/1, exactly COUNT of them), {"ok": true} for a
write, {"ok": false, "exception": N} for an exception reply, {"ok": false,
"error": TEXT} for anything else. Exit status 0 when ok, 1 otherwise, 2 for a
usage error.

With --lines it keeps one connection and reads requests from standard input,
one a line as "STATION COMMAND ADDR ARG...", answering each with one JSON
line, until the input ends; a line it cannot read gets {"ok": false,
"error": ...}. This spares a test the start-up of a process per request.
"""

import argparse
import json
import logging
import sys

from pymodbus.client import ModbusTcpClient
from pymodbus.framer.rtu_framer import ModbusRtuFramer
from pymodbus.framer.socket_framer import ModbusSocketFramer
from pymodbus.pdu import ExceptionResponse

READS = {
    "read-hr": ("read_holding_registers", "registers"),
    "read-ir": ("read_input_registers", "registers"),
    "read-co": ("read_coils", "bits"),
    "read-di": ("read_discrete_inputs", "bits"),
}
WRITES = {"write-hr": "write_registers", "write-co": "write_coils"}
SINGLE_WRITES = {"write-reg": "write_register", "write-coil": "write_coil"}


class UsageError(Exception):
    """A request that names no known command or has the wrong arguments."""


def parse_request(words):
    """STATION COMMAND ADDR ARG... -> (station, command, addr, args)."""
    if len(words) < 4:
        raise UsageError("expected STATION COMMAND ADDR ARG...")
    station, command = words[0], words[1]
    if command not in READS and command not in WRITES and command not in SINGLE_WRITES:
        raise UsageError(f"unknown command {command}")
    try:
        numbers = [int(w, 0) for w in [station] + words[2:]]
    except ValueError as exc:
        raise UsageError(str(exc)) from exc
    if command in READS and len(numbers) != 3:
        raise UsageError("a read takes ADDR COUNT")
    if command in SINGLE_WRITES and len(numbers) != 3:
        raise UsageError("a single write takes ADDR VALUE")
    return numbers[0], command, numbers[1], numbers[2:]


def execute(client, station, command, addr, args):
    """One request; the JSON-ready result."""
    try:
        if command in READS:
            count = args[0]
            reply = getattr(client, READS[command][0])(addr, count, slave=station)
        elif command in SINGLE_WRITES:
            value = bool(args[0]) if command == "write-coil" else args[0]
            reply = getattr(client, SINGLE_WRITES[command])(addr, value, slave=station)
        else:
            values = [bool(v) for v in args] if command == "write-co" else args
            reply = getattr(client, WRITES[command])(addr, values, slave=station)
    except Exception as exc:  # pylint: disable=broad-except
        return {"ok": False, "error": str(exc)}

    if isinstance(reply, ExceptionResponse):
        return {"ok": False, "exception": reply.exception_code}
    if isinstance(reply, Exception) or reply.isError():
        return {"ok": False, "error": str(reply)}
    if command in READS:
        # Bit replies come padded to whole bytes: keep the ones asked for.
        values = [int(v) for v in getattr(reply, READS[command][1])][:count]
        return {"ok": True, "values": values}
    return {"ok": True}


def connect(args):
    framer = ModbusSocketFramer if args.mbap else ModbusRtuFramer
    client = ModbusTcpClient(args.host, args.port, framer=framer, timeout=args.timeout, retries=0)
    return client if client.connect() else None


def serve_lines(args):
    client = connect(args)
    if client is None:
        print(json.dumps({"ok": False, "error": f"cannot connect to {args.host}:{args.port}"}), flush=True)
        return 1
    try:
        for line in sys.stdin:
            words = line.split()
            if not words:
                continue
            try:
                result = execute(client, *parse_request(words))
            except UsageError as exc:
                result = {"ok": False, "error": str(exc)}
            print(json.dumps(result), flush=True)
    finally:
        client.close()
    return 0


def main():
    parser = argparse.ArgumentParser(
        description=__doc__.split("\n\n", maxsplit=1)[0],
        usage="%(prog)s PORT (STATION COMMAND ADDR ARG... | --lines) [--host H] [--timeout S]",
    )
    parser.add_argument("port", type=int)
    parser.add_argument("request", nargs="*", help="STATION COMMAND ADDR ARG...")
    parser.add_argument("--lines", action="store_true", help="requests from standard input")
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--mbap", action="store_true", help="Modbus TCP framing (a gateway's clients)")
    # Whole seconds: this pymodbus turns the client's timeout into an int, so
    # 0.5 would become 0 and make even the connect fail.
    parser.add_argument("--timeout", type=int, default=2)
    args = parser.parse_args()
    logging.getLogger("pymodbus").setLevel(logging.CRITICAL)

    if args.lines:
        if args.request:
            parser.error("--lines takes its requests from standard input")
        sys.exit(serve_lines(args))
    try:
        request = parse_request(args.request)
    except UsageError as exc:
        parser.error(str(exc))
    client = connect(args)
    if client is None:
        result = {"ok": False, "error": f"cannot connect to {args.host}:{args.port}"}
    else:
        try:
            result = execute(client, *request)
        finally:
            client.close()
    print(json.dumps(result), flush=True)
    sys.exit(0 if result["ok"] else 1)


if __name__ == "__main__":
    main()
