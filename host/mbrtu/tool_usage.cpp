// mbrtu's usage: the command forms for a usage error and the whole text of
// --help, with the limits of one request.

#include "host/mbrtu/tool_usage.h"

#include "host/mbrtu/request_plan.h"
#include "host/link/station_health.h"
#include "host/mbrtu/run_status.h"

QString shortUsageText()
{
    return QStringLiteral(
        "usage: mbrtu read ADDRESS [--type TYPE [--order O]] [--count N] [--poll MS] [--polls N] [--json|--csv] [LINK...]\n"
        "       mbrtu write ADDRESS VALUE... [--type TYPE [--order O]] [--json] [LINK...]\n"
        "       mbrtu project [--link DEV] [--station N] [--tags LIST] [--link-id N] [--app-dir DIR]\n"
        "                     [--host H] [--port P | --serial PORT [SERIAL...]] | --show [--link DEV]\n"
        "       mbrtu simulate [--port P] [--host ADDR | --serial PORT [SERIAL...]] [--station N[,N...]]\n"
        "                      [--gateway] [--unreachable LIST] [--map FILE] [--count-up LIST [--count-every MS]]\n"
        "                      [--echo] [--line-baud N [--line-bits 10|11]] [FAULTS...] [--trace]\n"
        "       mbrtu proxy --to HOST:PORT [--listen PORT] [--host ADDR] [FAULTS...] [--trace]\n"
        "       mbrtu scan [--stations LIST] [--address ADDRESS] [LINK...]\n"
        "       mbrtu watch [--tags LIST | --tags-file FILE] [--once | --period MS [--polls N]] [--json|--csv] [LINK...]\n"
        "       mbrtu --version\n");
}

QString usageText()
{
    return shortUsageText() + QStringLiteral(
        "\n"
        "ADDRESS  AREA NUMBER [.BIT] [SW]: DI5, DO17, FN5DO17 (function 5), HR100, HR100.3,\n"
        "         HR100SW (double word, high word first), FN6HR100 (function 6), IR7\n"
        "TYPE     bit, byte, word (default), dword, block; or a number over registers: int16, uint16,\n"
        "         int32, uint32, float32, int64, uint64, float64, in --order ABCD (default, big-endian),\n"
        "         CDAB (words swapped), BADC (bytes swapped) or DCBA (little-endian)\n"
        "VALUE    decimal or 0x hex; bits 0/1/on/off; double words also take floats (1.5)\n"
        "LINK     --host H (127.0.0.1)  --port P (5020)  --station N  --retries N  --delay MS\n"
        "         --timeout MS  --link DEV  --trace  --plugin-dir DIR  --echo\n"
        "         or, instead of --host and --port, --serial PORT [SERIAL...]\n"
        "         station, retries, delay, time-out and link default to the driver's defaults;\n"
        "         --echo: the adapter or gateway hands every request back before the reply\n"
        "SERIAL   --baud N (9600)  --parity N|E|O (E)  --data-bits 7|8 (8)  --stop-bits 1|2 (1)\n"
        "LIST     [STATION-]AREA FIRST[-LAST],... as in DI1-64,DO1-32,2-DI5\n"
        "FAULTS   --faults KINDS  --fault-rate R (0.1)  --seed N (1)  --late-ms MS (1000)\n"
        "         KINDS: drop, delay, corrupt, split, close, late, echo (all when not given);\n"
        "         a share R of the replies gets one of them; late replies go out MS after\n"
        "         their request, delays and split pauses last up to MS\n")
        + limitsText() + QStringLiteral(
        "STATION  1 to 255 (the driver's default when not given); 0 is a broadcast: writes only, sent\n"
        "         once, no reply awaited\n"
        "\n"
        "simulate serves TCP, or the serial line of --serial (opened again when it comes back); each\n"
        "         station has tables of its own; --map FILE sets start values: lines AREA,ADDRESS,VALUE\n"
        "         (HR, IR, DO, DI; addresses from 1; decimal or 0x hex; 0/1 for bits) for every station,\n"
        "         STATION,AREA,ADDRESS,VALUE for one; --count-up LIST (e.g. HR10,2-IR5,HR1-4; HR and IR)\n"
        "         adds one to those registers every --count-every MS (1000), wrapping at 65535, from their\n"
        "         start values; --trace also shows input discarded or ignored\n"
        "         --gateway answers exception 0x0B for stations it does not serve, --unreachable\n"
        "         (e.g. 5,7-9) exception 0x0A; --echo sends every request back before its reply;\n"
        "         --line-baud paces replies as a serial line behind a gateway (11 bits a byte)\n"
        "scan     reads one register (--address, HR1) from each station of --stations (1 to 247,\n"
        "         all when not given) with a short time-out (--timeout, 200 ms; no retries) and lists\n"
        "         those that answer, an exception reply included, with their response time; a\n"
        "         station that gives no reply is a finding, not a failure: scan fails when none\n"
        "         answered or the link failed\n"
        "read --station 1,2,5-9 reads each station in turn and prints a block for each; --poll MS\n"
        "         repeats the read (--polls N times, else until Ctrl-C; --polls alone every 1000 ms)\n"
        "watch    polls the tags of --tags ([STATION-]ADDRESS[-LAST][:TYPE[:ORDER]],..., e.g.\n"
        "         HR100:float32:CDAB,IR7:int16,DI1-16,2-HR5), of --tags-file (CSV: name, address,\n"
        "         type; a header line is skipped) or else the project's tags for the link, in block\n"
        "         requests per station and area, as a panel does; --once reads each tag once and\n"
        "         prints a table (records with --json or --csv); else one cycle every --period\n"
        "         (1000 ms; after a cycle that overran it, the next begins at once), --polls N\n"
        "         cycles or until Ctrl-C: on a terminal a table redrawn in place (value, age, trend,\n"
        "         status; per station requests/s, median and 99th percentile, failures, back-off),\n"
        "         otherwise a line, --json record or --csv row per tag per cycle, stamped when its\n"
        "         reply came. The first time a station gives no reply costs the link's time-out and\n"
        "         retries; it is then backed off (its tags say so each cycle, with the next try),\n"
        "         at least twice the period and %1 times what the silence cost, doubling up to\n"
        "         %2 s, and each try is one attempt waiting %3 times its 99th-percentile response\n"
        "         time (else the link's) plus %4 ms, at most --timeout\n"
        ).arg(LinkHealth::kSilentCostFactor).arg(LinkHealth::kMaxBackoffMs / 1000).arg(LinkHealth::kProbeFactor)
            .arg(LinkHealth::kProbeMarginMs) + QStringLiteral(
        "proxy    listens on --listen (any free port when not given), connects every master\n"
        "         to the slave at --to and passes bytes both ways, with faults in the replies\n"
        "\n"
        "The plug-in is looked for in --plugin-dir, $MBRTU_PLUGIN_DIR, beside mbrtu, in its parent\n"
        "and in the installed plug-in folder.\n"
        "read, write, scan and watch need the driver's project database (compile/database/database)\n"
        "below the application folder: --app-dir DIR, else $MBRTU_APP_DIR, else mbrtu's own folder in\n"
        "a build tree, else $XDG_DATA_HOME/mbrtu (~/.local/share/mbrtu); one is written for the link\n"
        "if there is none (see mbrtu project). Without --host, --port and --serial they go to the\n"
        "address or serial line mbrtu project stored for the link, and their output names it;\n"
        "project keeps what is stored unless --host, --port or --serial is given (--serial puts\n"
        "the link on a serial line, --host or --port back on TCP), and --show prints it.\n")
        + exitStatusText();
}
