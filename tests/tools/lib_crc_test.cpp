// The byte-at-a-time CRC updates: published check values, single table
// entries, agreement with a bit-at-a-time reference, and concurrent first use.
//
// Nothing in this file may call a CRC function during static initialisation:
// the first-use test relies on a freshly started process whose tables have
// never been touched.

#include "tools/lib_crc.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <random>
#include <thread>
#include <vector>

namespace {

using Update = uint32_t (*)(uint32_t crc, uint8_t byte);

// The update functions behind one signature, so that they fit in tables.
uint32_t ccitt(uint32_t crc, uint8_t byte) { return update_crc_ccitt(uint16_t(crc), byte); }
uint32_t arc(uint32_t crc, uint8_t byte) { return update_crc_16(uint16_t(crc), byte); }
uint32_t kermit(uint32_t crc, uint8_t byte) { return update_crc_kermit(uint16_t(crc), byte); }
uint32_t dnp(uint32_t crc, uint8_t byte) { return update_crc_dnp(uint16_t(crc), byte); }
uint32_t crc32(uint32_t crc, uint8_t byte) { return update_crc_32(crc, byte); }

// Bit-at-a-time references: the textbook shift register, one message bit
// per step, with no table.
uint32_t forwardBitwise16(uint32_t poly, uint32_t crc, uint8_t byte)
{
    crc ^= uint32_t(byte) << 8;
    for (int bit = 0; bit < 8; ++bit)
        crc = (crc & 0x8000) ? ((crc << 1) ^ poly) & 0xFFFF : (crc << 1) & 0xFFFF;
    return crc;
}

uint32_t reflectedBitwise(uint32_t poly, uint32_t crc, uint8_t byte)
{
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit)
        crc = (crc & 1) ? (crc >> 1) ^ poly : crc >> 1;
    return crc;
}

struct TableFunction
{
    const char *name;
    Update update;
    bool forward;   // most significant bit first
    uint32_t poly;  // as the shift register uses it
};

const TableFunction TableFunctions[] = {
    {"ccitt", ccitt, true, 0x1021},
    {"16", arc, false, 0xA001},
    {"kermit", kermit, false, 0x8408},
    {"dnp", dnp, false, 0xA6BC},
    {"32", crc32, false, 0xEDB88320u},
};

uint32_t reference(const TableFunction &f, uint32_t crc, uint8_t byte)
{
    return f.forward ? forwardBitwise16(f.poly, crc, byte) : reflectedBitwise(f.poly, crc, byte);
}

const char CheckText[] = "123456789";

uint32_t crcOfCheckText(Update update, uint32_t initial)
{
    uint32_t crc = initial;
    for (const char *p = CheckText; *p; ++p)
        crc = update(crc, uint8_t(*p));
    return crc;
}

TEST(LibCrc, PublishedCheckValues)
{
    struct Row { const char *model; Update update; uint32_t initial; uint32_t finalXor; uint32_t check; };
    const Row rows[] = {
        {"CRC-16/ARC", arc, 0, 0, 0xBB3D},
        {"CRC-16/MODBUS", arc, 0xFFFF, 0, 0x4B37},
        {"CRC-16/XMODEM", ccitt, 0, 0, 0x31C3},
        {"CRC-16/IBM-3740", ccitt, 0xFFFF, 0, 0x29B1},
        {"CRC-16/SPI-FUJITSU", ccitt, 0x1D0F, 0, 0xE5CC},
        {"CRC-16/KERMIT", kermit, 0, 0, 0x2189},
        {"CRC-16/DNP", dnp, 0, 0xFFFF, 0xEA82},
        {"CRC-32/ISO-HDLC", crc32, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xCBF43926u},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.model);
        EXPECT_EQ(crcOfCheckText(row.update, row.initial) ^ row.finalXor, row.check);
    }
}

TEST(LibCrc, SickCheckValue)
{
    unsigned short crc = 0;
    unsigned char previous = 0;
    for (const char *p = CheckText; *p; ++p) {
        crc = update_crc_sick(crc, (unsigned char)*p, previous);
        previous = (unsigned char)*p;
    }
    EXPECT_EQ(crc, 0xA656);
}

TEST(LibCrc, SickStep)
{
    struct Row { unsigned short crc; unsigned char byte, previous; unsigned short result; };
    const Row rows[] = {
        {0x0000, 0x00, 0x00, 0x0000},
        {0x0001, 0x34, 0x12, 0x1236}, // byte low, previous byte high
        {0x8000, 0x00, 0x00, 0x8005}, // bit 15 out: the polynomial is applied
        {0x7FFF, 0x00, 0x00, 0xFFFE}, // bit 15 clear: a plain shift
        {0xFFFF, 0xFF, 0xFF, 0x8004},
    };
    for (const Row &row : rows)
        EXPECT_EQ(update_crc_sick(row.crc, row.byte, row.previous), row.result) << row.crc;
}

TEST(LibCrc, SingleTableEntries)
{
    // From a zero CRC one update returns the table entry of the byte.
    struct Row { Update update; uint8_t index; uint32_t entry; };
    const Row rows[] = {
        {ccitt, 0x01, 0x1021}, {ccitt, 0xFF, 0x1EF0},
        {arc, 0x01, 0xC0C1},   {kermit, 0x01, 0x1189},
        {dnp, 0x01, 0x365E},   {crc32, 0x01, 0x77073096u},
        {crc32, 0xFF, 0x2D02EF8Du}, {arc, 0x00, 0x0000},
    };
    for (const Row &row : rows)
        EXPECT_EQ(row.update(0, row.index), row.entry) << int(row.index);
}

TEST(LibCrc, AgreesWithBitwiseReference)
{
    std::mt19937 random(20240611);
    for (const TableFunction &f : TableFunctions) {
        SCOPED_TRACE(f.name);
        const uint32_t mask = f.update == crc32 ? 0xFFFFFFFFu : 0xFFFFu;
        for (int byte = 0; byte < 256; ++byte)
            ASSERT_EQ(f.update(0, uint8_t(byte)), reference(f, 0, uint8_t(byte))) << byte;
        for (int i = 0; i < 2000; ++i) {
            const uint32_t crc = uint32_t(random()) & mask;
            const uint8_t byte = uint8_t(random());
            ASSERT_EQ(f.update(crc, byte), reference(f, crc, byte)) << crc << " " << int(byte);
        }
    }
}

TEST(LibCrc, ResidueOfAMessageWithItsCrc)
{
    // Reflected CRCs appended low byte first, forward ones high byte first,
    // bring the register back to zero.
    const uint32_t arcCrc = crcOfCheckText(arc, 0);
    EXPECT_EQ(arc(arc(arcCrc, uint8_t(arcCrc)), uint8_t(arcCrc >> 8)), 0u);
    const uint32_t xmodem = crcOfCheckText(ccitt, 0);
    EXPECT_EQ(ccitt(ccitt(xmodem, uint8_t(xmodem >> 8)), uint8_t(xmodem)), 0u);
}

// ---- Concurrent first use ---------------------------------------------------------

// For each table in turn, every thread waits at a start line and then all
// call the same function at once, so that threads running on different cores
// meet the table while it is still unbuilt. Every result is checked against
// the bitwise reference and against a later call. Returns false (after
// printing the mismatch) when any thread saw a wrong value.
bool allThreadsAgreeOnFirstUse()
{
    const int threadCount = int(std::max(4u, 2 * std::thread::hardware_concurrency()));
    const int functionCount = int(std::size(TableFunctions));
    std::vector<std::atomic<int>> waiting(static_cast<size_t>(functionCount));
    for (std::atomic<int> &line : waiting)
        line.store(threadCount);
    std::vector<std::vector<uint32_t>> seen(static_cast<size_t>(threadCount));
    std::vector<std::thread> threads;
    for (int t = 0; t < threadCount; ++t) {
        threads.emplace_back([&, t] {
            seen[size_t(t)].reserve(size_t(functionCount) * 256);
            for (int k = 0; k < functionCount; ++k) {
                waiting[size_t(k)].fetch_sub(1);
                while (waiting[size_t(k)].load() > 0) {
                }
                for (int byte = 0; byte < 256; ++byte)
                    seen[size_t(t)].push_back(TableFunctions[k].update(0xFFFF, uint8_t(byte)));
            }
        });
    }
    for (std::thread &thread : threads)
        thread.join();

    for (int t = 0; t < threadCount; ++t) {
        for (int k = 0; k < functionCount; ++k) {
            const TableFunction &f = TableFunctions[k];
            for (int byte = 0; byte < 256; ++byte) {
                const uint32_t got = seen[size_t(t)][size_t(k * 256 + byte)];
                if (got != reference(f, 0xFFFF, uint8_t(byte)) || got != f.update(0xFFFF, uint8_t(byte))) {
                    std::fprintf(stderr, "thread %d, update_crc_%s, byte %d: 0x%X\n", t, f.name, byte, got);
                    return false;
                }
            }
        }
    }
    return true;
}

TEST(LibCrcDeathTest, ConcurrentFirstUseSeesCompleteTables)
{
    // The "threadsafe" style runs the statement in a newly executed copy of
    // this program that runs nothing but this test, so the tables are really
    // unbuilt when the threads start, whatever ran before in this process.
    // Whether threads truly overlap depends on the scheduler, so the fresh
    // start is repeated a few times.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const int freshStarts = 24;
    for (int run = 0; run < freshStarts; ++run)
        EXPECT_EXIT(std::exit(allThreadsAgreeOnFirstUse() ? 0 : 1), ::testing::ExitedWithCode(0), "")
            << "fresh start " << run;
}

} // namespace
