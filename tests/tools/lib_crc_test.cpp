// The byte-at-a-time CRC updates: published check values, and concurrent
// first use checked against a bit-at-a-time reference.
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
#include <cstring>
#include <iterator>
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

// forward: most significant bit first; poly as the shift register uses it.
struct TableFunction { const char *name; Update update; bool forward; uint32_t poly; };

const TableFunction TableFunctions[] = {
    {"ccitt", ccitt, true, 0x1021}, {"16", arc, false, 0xA001}, {"kermit", kermit, false, 0x8408},
    {"dnp", dnp, false, 0xA6BC},    {"32", crc32, false, 0xEDB88320u},
};

// Bit-at-a-time reference: the textbook shift register, one message bit per
// step, with no table.
uint32_t reference(const TableFunction &f, uint32_t crc, uint8_t byte)
{
    crc ^= f.forward ? uint32_t(byte) << 8 : byte;
    for (int bit = 0; bit < 8; ++bit) {
        if (f.forward)
            crc = (crc & 0x8000) ? ((crc << 1) ^ f.poly) & 0xFFFF : (crc << 1) & 0xFFFF;
        else
            crc = (crc & 1) ? (crc >> 1) ^ f.poly : crc >> 1;
    }
    return crc;
}

TEST(LibCrc, PublishedCheckValues)
{
    const char text[] = "123456789";
    const struct { const char *model; Update update; uint32_t initial; uint32_t finalXor; uint32_t check; } rows[] = {
        {"CRC-16/ARC", arc, 0, 0, 0xBB3D},                {"CRC-16/MODBUS", arc, 0xFFFF, 0, 0x4B37},
        {"CRC-16/XMODEM", ccitt, 0, 0, 0x31C3},           {"CRC-16/IBM-3740", ccitt, 0xFFFF, 0, 0x29B1},
        {"CRC-16/SPI-FUJITSU", ccitt, 0x1D0F, 0, 0xE5CC}, {"CRC-16/KERMIT", kermit, 0, 0, 0x2189},
        {"CRC-16/DNP", dnp, 0, 0xFFFF, 0xEA82},           {"CRC-32/ISO-HDLC", crc32, ~0u, ~0u, 0xCBF43926u},
    };
    for (const auto &row : rows) {
        uint32_t crc = row.initial;
        for (const char *p = text; *p; ++p)
            crc = row.update(crc, uint8_t(*p));
        EXPECT_EQ(crc ^ row.finalXor, row.check) << row.model;
    }
    // The sick variant also takes the byte before the current one.
    unsigned short sick = 0;
    for (size_t i = 0; i < std::strlen(text); ++i)
        sick = update_crc_sick(sick, (unsigned char)text[i], i ? (unsigned char)text[i - 1] : 0);
    EXPECT_EQ(sick, 0xA656);
}

// For each table in turn, every thread waits at a start line and then all
// call the same function at once, so that threads running on different cores
// meet the table while it is still unbuilt. From the register 0xFFFF the 256
// bytes reach every entry of the table. Returns false (after printing the
// first mismatch) when any thread saw a value other than the bitwise reference.
bool allThreadsAgreeOnFirstUse()
{
    const size_t threadCount = std::max(4u, 2 * std::thread::hardware_concurrency());
    std::vector<std::atomic<size_t>> waiting(std::size(TableFunctions));
    for (std::atomic<size_t> &line : waiting)
        line = threadCount;
    std::atomic<bool> agreed{true};
    std::vector<std::thread> threads;
    for (size_t t = 0; t < threadCount; ++t) {
        threads.emplace_back([&] {
            for (size_t k = 0; k < waiting.size(); ++k) {
                const TableFunction &f = TableFunctions[k];
                for (--waiting[k]; waiting[k] > 0;) {
                }
                for (int byte = 0; byte < 256; ++byte) {
                    const uint32_t got = f.update(0xFFFF, uint8_t(byte));
                    if (got != reference(f, 0xFFFF, uint8_t(byte)) && agreed.exchange(false))
                        std::fprintf(stderr, "update_crc_%s, byte %d: 0x%X\n", f.name, byte, got);
                }
            }
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    return agreed;
}

TEST(LibCrcDeathTest, ConcurrentFirstUseSeesCompleteTables)
{
    // The "threadsafe" style runs the statement in a newly executed copy of
    // this program that runs nothing but this test, so the tables are really
    // unbuilt when the threads start. Whether threads truly overlap depends on
    // the scheduler, so the fresh start is repeated a few times.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    for (int run = 0; run < 24; ++run)
        EXPECT_EXIT(std::exit(allThreadsAgreeOnFirstUse() ? 0 : 1), ::testing::ExitedWithCode(0), "") << run;
}

} // namespace
