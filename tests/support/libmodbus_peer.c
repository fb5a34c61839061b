/*
 * An independent Modbus RTU slave for the tests: libmodbus's own RTU backend
 * serving fixed tables, on a serial line or on TCP connections (RTU frames
 * over TCP, the way transparent gateways carry them).
 *
 *   libmodbus_peer serial PATH BAUD PARITY DATA-BITS STOP-BITS STATION
 *   libmodbus_peer tcp PORT STATION        (PORT 0: any free port)
 *
 * It prints "ready" (with "port N" on TCP) once it serves, and after every
 * write one line per register or coil it wrote, read back from its tables:
 * "hr ADDRESS VALUE" or "coil ADDRESS VALUE" (zero-based addresses).
 * Tables at the start, zero-based address i below 10000:
 *   holding register 0x1000 + i, input register (7 * i) & 0xFFFF,
 *   coil on when i % 3 == 0, discrete input on when i % 5 == 0.
 */
#include <errno.h>
#include <modbus.h>
#include <netinet/in.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

enum { TABLE_SIZE = 10000 };

static modbus_mapping_t *make_tables(void)
{
    modbus_mapping_t *map = modbus_mapping_new(TABLE_SIZE, TABLE_SIZE, TABLE_SIZE, TABLE_SIZE);
    if (!map)
        return NULL;
    for (int i = 0; i < TABLE_SIZE; ++i) {
        map->tab_registers[i] = (uint16_t)(0x1000 + i);
        map->tab_input_registers[i] = (uint16_t)(7 * i);
        map->tab_bits[i] = i % 3 == 0;
        map->tab_input_bits[i] = i % 5 == 0;
    }
    return map;
}

/* Prints what a write request changed, as the tables now hold it. */
static void report_write(modbus_t *ctx, const uint8_t *query, const modbus_mapping_t *map)
{
    const int at = modbus_get_header_length(ctx);
    const int function = query[at];
    const int address = (query[at + 1] << 8) | query[at + 2];
    const int count = function == 15 || function == 16 ? (query[at + 3] << 8) | query[at + 4] : 1;
    if (function != 5 && function != 6 && function != 15 && function != 16)
        return;
    for (int i = address; i < address + count && i < TABLE_SIZE; ++i) {
        if (function == 6 || function == 16)
            printf("hr %d %d\n", i, map->tab_registers[i]);
        else
            printf("coil %d %d\n", i, map->tab_bits[i]);
    }
    fflush(stdout);
}

/* Takes one request from the context's descriptor and answers it; -1 when
 * the descriptor failed. */
static int serve_one(modbus_t *ctx, modbus_mapping_t *map)
{
    uint8_t query[MODBUS_RTU_MAX_ADU_LENGTH];
    const int length = modbus_receive(ctx, query);
    if (length < 0)
        return errno == EMBBADCRC || errno == EMBBADDATA ? 0 : -1;
    if (length > 0 && modbus_reply(ctx, query, length, map) >= 0)
        report_write(ctx, query, map);
    return 0;
}

static int serve_serial(char **argv, modbus_mapping_t *map)
{
    modbus_t *ctx = modbus_new_rtu(argv[2], atoi(argv[3]), argv[4][0], atoi(argv[5]), atoi(argv[6]));
    if (!ctx || modbus_set_slave(ctx, atoi(argv[7])) != 0 || modbus_connect(ctx) != 0) {
        fprintf(stderr, "libmodbus_peer: %s: %s\n", argv[2], modbus_strerror(errno));
        return 1;
    }
    printf("ready\n");
    fflush(stdout);
    for (;;) {
        if (serve_one(ctx, map) < 0) {
            /* The line broke or garbled: drain it and go on, gently while
             * the other end of the line is gone. */
            modbus_flush(ctx);
            usleep(10000);
        }
    }
}

static int serve_tcp(char **argv, modbus_mapping_t *map)
{
    /* An RTU context whose descriptor is set to each connection in turn:
     * libmodbus's RTU backend reads and writes it as it would a serial line. */
    modbus_t *ctx = modbus_new_rtu("/dev/null", 9600, 'N', 8, 1);
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    struct sockaddr_in address = {0};
    socklen_t length = sizeof address;
    const int on = 1;
    address.sin_family = AF_INET;
    address.sin_port = htons((uint16_t)atoi(argv[2]));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (!ctx || modbus_set_slave(ctx, atoi(argv[3])) != 0 || listener < 0
        || bind(listener, (struct sockaddr *)&address, sizeof address) != 0 || listen(listener, 16) != 0
        || getsockname(listener, (struct sockaddr *)&address, &length) != 0) {
        fprintf(stderr, "libmodbus_peer: cannot serve TCP: %s\n", strerror(errno));
        return 1;
    }
    printf("ready port %d\n", ntohs(address.sin_port));
    fflush(stdout);
    fd_set open_fds;
    FD_ZERO(&open_fds);
    FD_SET(listener, &open_fds);
    int highest = listener;
    for (;;) {
        fd_set ready = open_fds;
        if (select(highest + 1, &ready, NULL, NULL, NULL) < 0)
            continue;
        for (int fd = 0; fd <= highest; ++fd) {
            if (!FD_ISSET(fd, &ready))
                continue;
            if (fd == listener) {
                const int connection = accept(listener, NULL, NULL);
                if (connection >= 0) {
                    FD_SET(connection, &open_fds);
                    highest = connection > highest ? connection : highest;
                }
                continue;
            }
            modbus_set_socket(ctx, fd);
            if (serve_one(ctx, map) < 0) {
                close(fd);
                FD_CLR(fd, &open_fds);
            }
        }
    }
}

int main(int argc, char **argv)
{
    signal(SIGPIPE, SIG_IGN);
    modbus_mapping_t *map = make_tables();
    if (map && argc == 8 && strcmp(argv[1], "serial") == 0)
        return serve_serial(argv, map);
    if (map && argc == 4 && strcmp(argv[1], "tcp") == 0)
        return serve_tcp(argv, map);
    fprintf(stderr, "usage: libmodbus_peer serial PATH BAUD PARITY DATA-BITS STOP-BITS STATION\n"
                    "       libmodbus_peer tcp PORT STATION\n");
    return 2;
}
