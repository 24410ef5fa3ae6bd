// What the settings file is built with: the growable byte buffer, numbers written as decimal bytes, and a
// rewrite when memory is short. An allocator that refuses every block above a size stands for a heap
// that still has small blocks but not the large one asked for first.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "bytes/byte_buffer.h"
#include "bytes/decimal.h"
#include "settings/config_text.h"
#include "settings_test_support.h"

using namespace std::string_literals;
using settings_test::Settings;

namespace {

std::size_t g_largestBlock = 0;

void* AllocateUpToTheLargestBlock(void* block, std::size_t size) {
    return size <= g_largestBlock ? std::realloc(block, size) : nullptr;
}

// Every ByteBuffer allocation above largest bytes fails for as long as the object lives.
class LargestBlock {
public:
    explicit LargestBlock(std::size_t largest) : previous_(g_byteBufferReallocate) {
        g_largestBlock = largest;
        g_byteBufferReallocate = AllocateUpToTheLargestBlock;
    }
    LargestBlock(const LargestBlock&) = delete;
    LargestBlock& operator=(const LargestBlock&) = delete;
    ~LargestBlock() { g_byteBufferReallocate = previous_; }

private:
    ByteBufferReallocate previous_;
};

} // namespace

TEST(ByteBuffer, GrowthThatDoesNotFitFallsBackToTheExactSize) {
    ByteBuffer buffer;
    ASSERT_TRUE(buffer.Append(std::string(100, 'a')));
    // Growing by half would ask for 151 bytes with the NUL; 111 (110 and the NUL) is all there is.
    const LargestBlock heap(111);
    EXPECT_TRUE(buffer.Append(std::string(10, 'b')));
    EXPECT_FALSE(buffer.Failed());
    EXPECT_EQ(buffer.view(), std::string(100, 'a') + std::string(10, 'b'));
    EXPECT_FALSE(buffer.Append("c"));
    EXPECT_TRUE(buffer.Failed());
    EXPECT_EQ(buffer.view(), std::string(100, 'a') + std::string(10, 'b'));
}

TEST(ByteBuffer, FailureStaysUntilClear) {
    ByteBuffer buffer;
    {
        const LargestBlock heap(8);
        EXPECT_FALSE(buffer.Reserve(100));
        EXPECT_FALSE(buffer.Append("x"));
        EXPECT_TRUE(buffer.Failed());
    }
    EXPECT_FALSE(buffer.Append("x"));
    EXPECT_EQ(buffer.view(), "");
    buffer.Clear();
    EXPECT_FALSE(buffer.Failed());
    EXPECT_TRUE(buffer.Append("xy"));
    EXPECT_EQ(buffer.view(), "xy");
    EXPECT_EQ(std::string(buffer.c_str()), "xy");
}

TEST(ByteBuffer, ResizeZeroesTheBytesItAdds) {
    ByteBuffer buffer;
    ASSERT_TRUE(buffer.Append("wxyz"));
    ASSERT_TRUE(buffer.Resize(1));
    EXPECT_EQ(buffer.view(), "w");
    ASSERT_TRUE(buffer.Resize(6));
    EXPECT_EQ(buffer.view(), "w\0\0\0\0\0"s);
    EXPECT_EQ(buffer.data()[6], '\0');
}

TEST(FormatDecimal, WrittenForms) {
    const struct {
        std::int64_t value;
        const char* text;
    } rows[] = {
        {0, "0"},
        {7, "7"},
        {-1, "-1"},
        {10, "10"},
        {-640, "-640"},
        {2147483648, "2147483648"},
        {INT64_MAX, "9223372036854775807"},
        {INT64_MIN, "-9223372036854775808"},
    };
    for (const auto& row : rows) {
        char out[kDecimalCapacity];
        EXPECT_EQ(std::string_view(out, FormatDecimal(row.value, out)), row.text) << row.text;
    }
}

// The rewrite first asks for room to spare; where that block is not to be had, the text is still
// written when its own size fits.
TEST(ConfigRewrite, RoomToSpareThatIsRefusedIsNotNeeded) {
    const std::string other(4000, '#');
    const std::string in = other + "\nbloom = 1\n";
    const std::string expected = other + "\nbloom = 0\nscreenWidth = 1\nscreenHeight = 2\nscreenBPP = 3\n";
    ByteBuffer out;
    const LargestBlock heap(expected.size() + 1);
    ASSERT_TRUE(RewriteConfigText(in, Settings(1, 2, 3, 0), kAllSettings, "\n", out));
    EXPECT_EQ(out.view(), expected);
}
