#include <gtest/gtest.h>

#include <cstring>

#include "sockets/tcp/AsyncReadPacket.h"
#include "sockets/tcp/AsyncTcpSocketPreBuffer.h"

namespace corvaline {
namespace {

void put(AsyncTcpSocketPreBuffer& buffer, const std::string& text) {
    buffer.ensureCapacityForWrite(text.size());
    std::memcpy(buffer.writeBuffer(), text.data(), text.size());
    buffer.didWrite(text.size());
}

TEST(TcpPreBuffer, GrowsByWhatIsMissingKeepsItsBytesAndRewindsWhenEmpty) {
    AsyncTcpSocketPreBuffer buffer(8);
    EXPECT_EQ(buffer.availableSpace(), 8u);
    put(buffer, "abcdef");
    buffer.didRead(2);
    EXPECT_EQ(buffer.availableBytes(), 4u);
    EXPECT_EQ(buffer.availableSpace(), 2u);  // the space before the read position stays used

    put(buffer, "ghij");  // 2 missing: grows by exactly 2
    EXPECT_EQ(buffer.availableSpace(), 0u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(buffer.readBuffer()), 8), "cdefghij");

    const std::uint8_t* read = nullptr;
    std::size_t available = 0;
    buffer.getReadBuffer(&read, &available);
    EXPECT_EQ(read, buffer.readBuffer());
    EXPECT_EQ(available, 8u);
    buffer.getReadBuffer(nullptr, nullptr);

    buffer.didRead(8);
    EXPECT_EQ(buffer.availableBytes(), 0u);
    EXPECT_EQ(buffer.availableSpace(), 10u);  // back at the start of the block
    std::uint8_t* write = nullptr;
    std::size_t space = 0;
    buffer.getWriteBuffer(&write, &space);
    EXPECT_EQ(write, buffer.writeBuffer());
    EXPECT_EQ(space, 10u);

    put(buffer, "xy");
    buffer.reset();
    EXPECT_EQ(buffer.availableBytes(), 0u);
    EXPECT_EQ(buffer.availableSpace(), 10u);
}

// The terminator search over what a read holds and what was read ahead, at every place the
// terminator can lie.
TEST(TcpReadPacket, FindsTheTerminatorAcrossTheReadAndThePreBuffer) {
    struct Case {
        std::string held;   // already in the read
        std::string ahead;  // in the pre-buffer
        std::uint64_t maxLength;
        bool found;
        std::size_t taken;
    };
    const Case cases[] = {
        {"", "ab\r\ncd", 0, true, 4},
        {"ab", "\r\ncd", 0, true, 2},
        {"ab\r", "\ncd", 0, true, 1},  // split: CR held, LF ahead
        {"ab", "cd", 0, false, 2},
        {"", "\r", 0, false, 1},  // too short to hold the terminator
        {"", "\r\r\n", 0, true, 3},
        {"abc", "\r\nxx", 5, true, 2},
        {"abcd", "x\r\n", 5, false, 1},  // the limit stops the search
        {"", "x\r\n", 2, false, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.held + "|" + c.ahead);
        auto held = std::make_shared<Data>(c.held.begin(), c.held.end());
        AsyncReadPacket packet(held, 0, c.maxLength, -1, 0, Data{'\r', '\n'}, 0, 0);
        packet.bytesDone = c.held.size();
        AsyncTcpSocketPreBuffer ahead(4);
        put(ahead, c.ahead);
        bool found = false;
        EXPECT_EQ(packet.readLengthForTermWithPreBuffer(ahead, &found), c.taken);
        EXPECT_EQ(found, c.found);
    }
}

TEST(TcpReadPacket, SearchesBytesReadStraightIntoItsBuffer) {
    struct Case {
        std::string held, added;
        long after;
    };
    const Case cases[] = {
        {"", "ab\r\ncd", 2}, {"ab\r", "\ncd", 2}, {"ab", "\r\n", 0},
        {"ab", "cd", -1},    {"\r\n", "x", -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.held + "|" + c.added);
        std::string all = c.held + c.added;
        auto buffer = std::make_shared<Data>(all.begin(), all.end());
        AsyncReadPacket packet(buffer, 0, 0, -1, 0, Data{'\r', '\n'}, 0, 0);
        packet.bytesDone = c.held.size();
        EXPECT_EQ(packet.searchForTermAfterPreBuffering(c.added.size()), c.after);
    }
}

}  // namespace
}  // namespace corvaline
