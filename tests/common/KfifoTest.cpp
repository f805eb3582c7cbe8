#include "common/Kfifo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

namespace {

std::vector<unsigned char> Bytes(int n, int first)
{
    std::vector<unsigned char> bytes(static_cast<size_t>(n));
    std::iota(bytes.begin(), bytes.end(), static_cast<unsigned char>(first));
    return bytes;
}

} // namespace

TEST(Kfifo, PutsFillTheQueueAndAFurtherPutChangesNothing)
{
    KFifoFF fifo(1, 160);
    ASSERT_TRUE(fifo.HasBuffer());
    EXPECT_EQ(fifo.GetCount(), 0);
    EXPECT_EQ(fifo.GetFree(), 160);
    EXPECT_EQ(fifo.Put(Bytes(100, 0).data(), 100), 100);
    EXPECT_EQ(fifo.Put(Bytes(60, 100).data(), 60), 60);
    EXPECT_EQ(fifo.GetCount(), 160);
    EXPECT_EQ(fifo.GetFree(), 0);
    const unsigned char extra = 0xAA;
    EXPECT_EQ(fifo.Put(&extra, 1), -1);
    EXPECT_EQ(fifo.GetCount(), 160);

    std::vector<unsigned char> out(161, 0xEE);
    EXPECT_EQ(fifo.Get(out.data(), 160), 160);
    EXPECT_EQ(std::vector<unsigned char>(out.begin(), out.begin() + 160), Bytes(160, 0));
    EXPECT_EQ(out[160], 0);
}

TEST(Kfifo, OversizedPutStoresNothing)
{
    KFifoFF fifo(1, 160);
    EXPECT_EQ(fifo.Put(Bytes(161, 0).data(), 161), -1);
    EXPECT_EQ(fifo.GetCount(), 0);
    EXPECT_EQ(fifo.GetFree(), 160);
    EXPECT_EQ(fifo.Put(Bytes(10, 0).data(), 10), 10);
    EXPECT_EQ(fifo.Put(Bytes(151, 0).data(), 151), -1);
    EXPECT_EQ(fifo.GetCount(), 10);
}

TEST(Kfifo, GetTakesAtMostAskedClosesWithZeroAndKeepsOrder)
{
    KFifoFF fifo(1, 160);
    ASSERT_EQ(fifo.Put(Bytes(150, 1).data(), 150), 150);
    std::vector<unsigned char> out(81 + 10, 0xEE);
    EXPECT_EQ(fifo.Get(out.data(), 80), 80);
    EXPECT_EQ(std::vector<unsigned char>(out.begin(), out.begin() + 80), Bytes(80, 1));
    EXPECT_EQ(out[80], 0);
    EXPECT_EQ(out[81], 0xEE); // nothing written past the zero byte
    EXPECT_EQ(fifo.GetCount(), 70);
    EXPECT_EQ(fifo.GetFree(), 90);

    // The freed room is usable at once, behind what waits.
    ASSERT_EQ(fifo.Put(Bytes(90, 200).data(), 90), 90);
    EXPECT_EQ(fifo.Get(out.data(), 80), 80);
    EXPECT_EQ(std::vector<unsigned char>(out.begin(), out.begin() + 70), Bytes(70, 81));
    EXPECT_EQ(std::vector<unsigned char>(out.begin() + 70, out.begin() + 80), Bytes(10, 200));
    EXPECT_EQ(fifo.Get(out.data(), 80), 80);
    EXPECT_EQ(std::vector<unsigned char>(out.begin(), out.begin() + 80), Bytes(80, 210));
    EXPECT_EQ(fifo.GetCount(), 0);
}

TEST(Kfifo, TextLinesComeBackAsZeroTerminatedText)
{
    KFifoFF fifo(1, 160);
    const std::string first = "+0,\"NO ERROR\"";
    const std::string second = "I/P";
    ASSERT_EQ(fifo.Put(first.data(), static_cast<int>(first.size())), static_cast<int>(first.size()));
    ASSERT_EQ(fifo.Put(second.data(), static_cast<int>(second.size())), 3);
    char text[81];
    std::fill(std::begin(text), std::end(text), 'X');
    EXPECT_EQ(fifo.Get(text, 80), static_cast<int>(first.size() + second.size()));
    EXPECT_EQ(std::string(text), first + second);
}

TEST(Kfifo, EmptyQueueAndZeroCounts)
{
    KFifoFF fifo(1, 160);
    unsigned char out[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    EXPECT_EQ(fifo.Get(out, 3), -1);
    EXPECT_EQ(out[0], 0xEE); // untouched
    EXPECT_EQ(fifo.Put(out, 0), 0);
    EXPECT_EQ(fifo.Put(out, -5), 0);
    EXPECT_EQ(fifo.GetCount(), 0);
    ASSERT_EQ(fifo.Put(Bytes(2, 7).data(), 2), 2);
    EXPECT_EQ(fifo.Get(out, 0), 0);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(fifo.Get(out, -1), -1);
    EXPECT_EQ(fifo.Put(nullptr, 1), -1);
    EXPECT_EQ(fifo.Get(nullptr, 1), -1);
    EXPECT_EQ(fifo.GetCount(), 2);
}

TEST(Kfifo, ClearEmptiesFreeAndAllocGiveAFreshQueue)
{
    KFifoFF fifo(1, 160);
    ASSERT_EQ(fifo.Put(Bytes(50, 0).data(), 50), 50);
    fifo.Clear();
    EXPECT_EQ(fifo.GetCount(), 0);
    EXPECT_EQ(fifo.GetFree(), 160);
    ASSERT_EQ(fifo.Put(Bytes(5, 9).data(), 5), 5);
    unsigned char out[6];
    EXPECT_EQ(fifo.Get(out, 5), 5);
    EXPECT_EQ(out[0], 9);

    ASSERT_EQ(fifo.Put(Bytes(5, 9).data(), 5), 5);
    EXPECT_TRUE(fifo.Alloc()); // with a buffer: emptied, kept
    EXPECT_EQ(fifo.GetCount(), 0);
    fifo.Free();
    EXPECT_FALSE(fifo.HasBuffer());
    fifo.Free();
    EXPECT_TRUE(fifo.Alloc());
    EXPECT_EQ(fifo.Put(Bytes(160, 0).data(), 160), 160);
}

TEST(Kfifo, WithoutBufferEveryPutAndGetIsRefused)
{
    KFifoFF freed(1, 160);
    freed.Free();
    KFifoFF tooLarge(2, 20000); // more than a 16-bit size can hold
    KFifoFF empty(1, 0);
    KFifoFF negative(-1, 10);
    for (KFifoFF* fifo : {&freed, &tooLarge, &empty, &negative}) {
        EXPECT_FALSE(fifo->HasBuffer());
        const unsigned char in[2] = {1, 2};
        unsigned char out[3] = {0xEE, 0xEE, 0xEE};
        EXPECT_EQ(fifo->Put(in, 1), -1);
        EXPECT_EQ(fifo->Put(in, 0), -1);
        EXPECT_EQ(fifo->Get(out, 2), -1);
        EXPECT_EQ(out[0], 0xEE);
        EXPECT_EQ(fifo->GetCount(), 0);
    }
    EXPECT_FALSE(tooLarge.Alloc());
}

TEST(Kfifo, MultiByteElementsThroughTheInterface)
{
    std::unique_ptr<KFifo> fifo = std::make_unique<KFifoFF>(4, 8);
    const int values[5] = {10, 20, 30, 40, 50};
    EXPECT_EQ(fifo->Put(values, 5), 5);
    EXPECT_EQ(fifo->GetFree(), 3);
    EXPECT_EQ(fifo->Put(values, 4), -1);
    int out[3] = {};
    unsigned char raw[2 * sizeof(int) + 1];
    EXPECT_EQ(fifo->Get(raw, 2), 2);
    std::memcpy(out, raw, 2 * sizeof(int));
    EXPECT_EQ(out[0], 10);
    EXPECT_EQ(out[1], 20);
    EXPECT_EQ(raw[2 * sizeof(int)], 0);
    EXPECT_EQ(fifo->GetCount(), 3);
    EXPECT_EQ(fifo->Put(values, 5), 5);
    EXPECT_EQ(fifo->GetCount(), 8);
    int all[8] = {};
    unsigned char rawAll[8 * sizeof(int) + 1];
    EXPECT_EQ(fifo->Get(rawAll, 8), 8);
    std::memcpy(all, rawAll, sizeof(all));
    EXPECT_EQ(all[0], 30);
    EXPECT_EQ(all[2], 50);
    EXPECT_EQ(all[3], 10);
    EXPECT_EQ(all[7], 50);
}
