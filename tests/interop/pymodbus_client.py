#!/usr/bin/python3
"""Reads and writes a Modbus RTU slave over TCP with pymodbus 3.0's own
client, as an independent check on what the driver did.

    pymodbus_client.py PORT STATION COMMAND ADDR ARG... [--host H] [--timeout SECONDS]

COMMAND ADDR ARG:
    read-hr ADDR COUNT      holding registers (function 3)
    read-ir ADDR COUNT      input registers (function 4)
    read-co ADDR COUNT      coils (function 1)
    read-di ADDR COUNT      discrete inputs (function 2)
    write-hr ADDR VALUE...  holding registers (function 16)
    write-co ADDR BIT...    coils (function 15)

ADDR is the zero-based protocol address. Prints one JSON object:
{"ok": true, "values": [...]} for a read (registers as unsigned numbers, bits
as 0/1, exactly COUNT of them), {"ok": true} for a write, {"ok": false,
"exception": N} for an exception reply, {"ok": false, "error": TEXT} for
anything else. Exit status 0 when ok, 1 otherwise, 2 for a usage error.
"""

import argparse
import json
import logging
import sys

from pymodbus.client import ModbusTcpClient
from pymodbus.framer.rtu_framer import ModbusRtuFramer
from pymodbus.pdu import ExceptionResponse

READS = {
    "read-hr": ("read_holding_registers", "registers"),
    "read-ir": ("read_input_registers", "registers"),
    "read-co": ("read_coils", "bits"),
    "read-di": ("read_discrete_inputs", "bits"),
}
WRITES = {"write-hr": "write_registers", "write-co": "write_coils"}


def run(args):
    client = ModbusTcpClient(
        args.host, args.port, framer=ModbusRtuFramer, timeout=args.timeout, retries=0
    )
    if not client.connect():
        return {"ok": False, "error": f"cannot connect to {args.host}:{args.port}"}
    try:
        if args.command in READS:
            count = args.args[0]
            method, field = READS[args.command]
            reply = getattr(client, method)(args.addr, count, slave=args.station)
        else:
            values = args.args
            if args.command == "write-co":
                values = [bool(v) for v in values]
            reply = getattr(client, WRITES[args.command])(args.addr, values, slave=args.station)
    except Exception as exc:  # pylint: disable=broad-except
        return {"ok": False, "error": str(exc)}
    finally:
        client.close()

    if isinstance(reply, ExceptionResponse):
        return {"ok": False, "exception": reply.exception_code}
    if isinstance(reply, Exception) or reply.isError():
        return {"ok": False, "error": str(reply)}
    if args.command in READS:
        # Bit replies come padded to whole bytes: keep the ones asked for.
        values = [int(v) for v in getattr(reply, READS[args.command][1])][:count]
        return {"ok": True, "values": values}
    return {"ok": True}


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("port", type=int)
    parser.add_argument("station", type=int)
    parser.add_argument("command", choices=sorted(READS) + sorted(WRITES))
    parser.add_argument("addr", type=int)
    parser.add_argument("args", type=lambda t: int(t, 0), nargs="+")
    parser.add_argument("--host", default="127.0.0.1")
    # Whole seconds: this pymodbus turns the client's timeout into an int, so
    # 0.5 would become 0 and make even the connect fail.
    parser.add_argument("--timeout", type=int, default=2)
    args = parser.parse_args()
    logging.getLogger("pymodbus").setLevel(logging.CRITICAL)
    if args.command in READS and len(args.args) != 1:
        parser.error("a read takes ADDR COUNT")
    result = run(args)
    print(json.dumps(result), flush=True)
    sys.exit(0 if result["ok"] else 1)


if __name__ == "__main__":
    main()
