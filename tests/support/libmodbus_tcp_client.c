/*
 * An independent Modbus TCP client for the gateway's tests, on libmodbus.
 *
 *   libmodbus_tcp_client lines PORT
 *       one request a line on standard input, "UNIT FUNCTION ADDRESS ARG...":
 *       1-4 ADDRESS COUNT, 5 and 6 ADDRESS VALUE, 15 and 16 ADDRESS VALUE...
 *       (zero-based addresses); answers each with one line: "ok" and the
 *       values read, "exception N" (the code in decimal), or "error TEXT".
 *   libmodbus_tcp_client load PORT CLIENTS SECONDS DEADLINE-MS [REQUESTS]
 *       CLIENTS connections at once for SECONDS (or until REQUESTS have been
 *       sent, all clients together), each writing and reading back registers
 *       of its own on stations 1 and 2, one request at a time. A value read
 *       must be the last one written there and acknowledged (a write answered
 *       with an exception makes it unknown until the next acknowledged one).
 *       Prints the figures; exits 0 only when no value was wrong, every
 *       request was answered within DEADLINE-MS (the gateway's deadline) and
 *       ALLOWANCE_MS for this side, and each client's answers are within a
 *       factor of two of the mean.
 */
#include <errno.h>
#include <modbus.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

enum { MAX_CLIENTS = 64, MAX_ITEMS = 2000, REGS_PER_CLIENT = 8, FIRST_REGISTER = 1000 };
/* What the client's own side (threads, sockets on a busy machine) may add to
 * the gateway's deadline before an answer counts as late. */
enum { ALLOWANCE_MS = 250 };

/* The requests the load may still send, all clients together, when limited. */
static int g_limited;
static long g_budget;

static double now_ms(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1000.0 + t.tv_nsec / 1e6;
}

static modbus_t *connect_to(int port, double timeout_ms)
{
    modbus_t *ctx = modbus_new_tcp("127.0.0.1", port);
    if (!ctx)
        return NULL;
    modbus_set_response_timeout(ctx, (uint32_t)(timeout_ms / 1000), (uint32_t)((int)timeout_ms % 1000) * 1000);
    if (modbus_connect(ctx) == 0)
        return ctx;
    modbus_free(ctx);
    return NULL;
}

/* The exception code behind a failed call, 0 when it was no exception. */
static int exception_code(void)
{
    return errno > MODBUS_ENOBASE && errno <= MODBUS_ENOBASE + 0x0B ? errno - MODBUS_ENOBASE : 0;
}

/* One request of a line: n numbers, UNIT FUNCTION ADDRESS ARG... */
static void run_line(modbus_t *ctx, const long *v, int n)
{
    uint16_t words[MAX_ITEMS];
    uint8_t bits[MAX_ITEMS];
    const int function = n > 1 ? (int)v[1] : 0, address = n > 2 ? (int)v[2] : 0, count = n > 3 ? (int)v[3] : 0;
    int got = -2;
    for (int i = 3; i < n; ++i) {
        words[i - 3] = (uint16_t)v[i];
        bits[i - 3] = v[i] != 0;
    }
    modbus_set_slave(ctx, (int)v[0]);
    if (n >= 4 && (function > 4 || (n == 4 && count >= 0 && count <= MAX_ITEMS))) {
        switch (function) {
        case 1: got = modbus_read_bits(ctx, address, count, bits); break;
        case 2: got = modbus_read_input_bits(ctx, address, count, bits); break;
        case 3: got = modbus_read_registers(ctx, address, count, words); break;
        case 4: got = modbus_read_input_registers(ctx, address, count, words); break;
        case 5: got = modbus_write_bit(ctx, address, bits[0]); break;
        case 6: got = modbus_write_register(ctx, address, words[0]); break;
        case 15: got = modbus_write_bits(ctx, address, n - 3, bits); break;
        case 16: got = modbus_write_registers(ctx, address, n - 3, words); break;
        }
    }
    if (got == -2)
        printf("error expected UNIT FUNCTION ADDRESS ARG...\n");
    else if (got < 0 && exception_code())
        printf("exception %d\n", exception_code());
    else if (got < 0)
        printf("error %s\n", modbus_strerror(errno));
    else {
        printf("ok");
        for (int i = 0; function <= 4 && i < got; ++i)
            printf(" %d", function <= 2 ? bits[i] : words[i]);
        printf("\n");
    }
    fflush(stdout);
}

static int serve_lines(int port)
{
    modbus_t *ctx = connect_to(port, 3000);
    char line[16384];
    long numbers[MAX_ITEMS + 3];
    if (!ctx) {
        printf("error cannot connect: %s\n", modbus_strerror(errno));
        return 1;
    }
    while (fgets(line, sizeof line, stdin)) {
        int n = 0;
        for (char *word = strtok(line, " \t\n"); word && n < MAX_ITEMS + 3; word = strtok(NULL, " \t\n"))
            numbers[n++] = strtol(word, NULL, 0);
        if (n > 0)
            run_line(ctx, numbers, n);
    }
    modbus_close(ctx);
    modbus_free(ctx);
    return 0;
}

struct client
{
    int index, port;
    double deadline_ms, end_ms, worst_ms;
    long requests, answers, exceptions, unanswered, wrong, late;
    uint16_t written[2][REGS_PER_CLIENT];
    int known[2][REGS_PER_CLIENT];
};

/* Counts one request of the load by its outcome; returns the call's result. */
static int counted(struct client *c, int got, double started)
{
    const double took = now_ms() - started;
    c->worst_ms = took > c->worst_ms ? took : c->worst_ms;
    c->late += took > c->deadline_ms + ALLOWANCE_MS;
    ++c->requests;
    c->answers += got >= 0 || exception_code();
    c->exceptions += got < 0 && exception_code();
    c->unanswered += got < 0 && !exception_code();
    return got;
}

static void *load_client(void *arg)
{
    struct client *c = arg;
    /* Past the deadline by a margin, so that a late answer is seen as late, not lost. */
    modbus_t *ctx = connect_to(c->port, c->deadline_ms + 1000);
    unsigned seed = (unsigned)c->index * 7919u + 1;
    const int base = FIRST_REGISTER + c->index * REGS_PER_CLIENT;
    c->unanswered = !ctx;
    while (ctx && now_ms() < c->end_ms && (!g_limited || __atomic_sub_fetch(&g_budget, 1, __ATOMIC_RELAXED) >= 0)) {
        const int s = rand_r(&seed) % 2, at = rand_r(&seed) % (REGS_PER_CLIENT - 1), write = rand_r(&seed) % 2;
        uint16_t values[2] = {(uint16_t)rand_r(&seed), (uint16_t)rand_r(&seed)};
        const double started = now_ms();
        modbus_set_slave(ctx, s + 1);
        const int got = counted(c, write ? modbus_write_registers(ctx, base + at, 2, values)
                                         : modbus_read_registers(ctx, base + at, 2, values), started);
        for (int i = 0; i < 2; ++i) {
            if (write) {
                c->written[s][at + i] = values[i];
                c->known[s][at + i] = got >= 0;
            } else {
                c->wrong += got >= 0 && c->known[s][at + i] && values[i] != c->written[s][at + i];
            }
        }
    }
    if (ctx) {
        modbus_close(ctx);
        modbus_free(ctx);
    }
    return NULL;
}

static int run_load(int port, int clients, double seconds, double deadline_ms)
{
    static struct client c[MAX_CLIENTS];
    pthread_t threads[MAX_CLIENTS];
    struct client all = {0};
    long least = -1, most = 0;
    const double started = now_ms();
    if (clients < 1 || clients > MAX_CLIENTS)
        return 2;
    for (int i = 0; i < clients; ++i) {
        c[i] = (struct client){.index = i, .port = port, .deadline_ms = deadline_ms, .end_ms = started + seconds * 1000};
        pthread_create(&threads[i], NULL, load_client, &c[i]);
    }
    for (int i = 0; i < clients; ++i) {
        pthread_join(threads[i], NULL);
        all.requests += c[i].requests, all.answers += c[i].answers, all.exceptions += c[i].exceptions;
        all.unanswered += c[i].unanswered, all.wrong += c[i].wrong, all.late += c[i].late;
        all.worst_ms = c[i].worst_ms > all.worst_ms ? c[i].worst_ms : all.worst_ms;
        least = least < 0 || c[i].answers < least ? c[i].answers : least;
        most = c[i].answers > most ? c[i].answers : most;
    }
    const double mean = (double)all.answers / clients, took = (now_ms() - started) / 1000;
    const int fair = least * 2 >= mean && most <= 2 * mean;
    printf("%d clients, %.1f s: %ld requests (%.0f/s), %ld answered (%ld exceptions), %ld unanswered, "
           "%ld wrong values, %ld past the %.0f ms deadline (slowest %.0f ms); answers per client min %ld, "
           "mean %.0f, max %ld: %s\n",
           clients, took, all.requests, all.requests / took, all.answers, all.exceptions, all.unanswered, all.wrong,
           all.late, deadline_ms, all.worst_ms, least, mean, most, fair ? "fair" : "UNFAIR");
    return all.wrong == 0 && all.unanswered == 0 && all.late == 0 && fair && all.answers > 0 ? 0 : 1;
}

int main(int argc, char **argv)
{
    if (argc == 3 && strcmp(argv[1], "lines") == 0)
        return serve_lines(atoi(argv[2]));
    if ((argc == 6 || argc == 7) && strcmp(argv[1], "load") == 0) {
        g_limited = argc == 7;
        g_budget = g_limited ? atol(argv[6]) : 0;
        return run_load(atoi(argv[2]), atoi(argv[3]), atof(argv[4]), atof(argv[5]));
    }
    fprintf(stderr, "usage: %s lines PORT | load PORT CLIENTS SECONDS DEADLINE-MS [REQUESTS]\n", argv[0]);
    return 2;
}
