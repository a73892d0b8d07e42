// The simulator's own line framing against known answers and the lines a beacon must ignore.
#include "tools/sim/QvSimLine.h"

#include <gtest/gtest.h>

TEST(SimLine, EncodesKnownAnswers)
{
    EXPECT_EQ(TQvSimLine::Encode('#', {0x02}), "#0281C1\r\n");
    EXPECT_EQ(TQvSimLine::Encode('#', {0x1A}), "#1A81CB\r\n");
    EXPECT_EQ(TQvSimLine::Encode('#', {0x0F}), "#0F4004\r\n");
    EXPECT_EQ(TQvSimLine::Encode('$', {0x02}), "$0281C1\r\n");
    EXPECT_NE(TQvSimLine::Encode('$', {0x02}, true), "$0281C1\r\n");
    EXPECT_EQ(TQvSimLine::Encode('$', {0x02}, true).substr(0, 3), "$02");
}

TEST(SimLine, ReaderAcceptsGoodLinesAndIgnoresBadOnes)
{
    struct TCase {
        const char* Input;
        std::vector<EQvSimLineStatus> Statuses; // one per completed line
        std::vector<uint8_t> FirstBytes;        // bytes of the first good line
    };
    const std::vector<TCase> cases = {
        {"#0281C1\r\n", {SIMLINE_OK}, {0x02}},
        {"#0281c1\n", {SIMLINE_OK}, {0x02}},                      // lower case, LF alone
        {"xx\x01#0281C1\r\n\r\n", {SIMLINE_OK}, {0x02}},          // noise, repeated ends
        {"#02#0281C1\r", {SIMLINE_OK}, {0x02}},                   // "#" restarts the line
        {"#02x1C1\r\n#0281C1\r", {SIMLINE_BAD_CHAR, SIMLINE_OK}, {0x02}},
        {"#02 81C1\r", {SIMLINE_BAD_CHAR}, {}},
        {"#0281C2\r", {SIMLINE_BAD_CHECKSUM}, {}},
        {"#0281C\r", {SIMLINE_ODD_DIGITS}, {}},
        {"#0281\r", {SIMLINE_TOO_SHORT}, {}},
        {"#\r", {SIMLINE_TOO_SHORT}, {}},
        {"$0281C1\r\n", {}, {}},                                  // a reply is no request
    };
    for (const TCase& c : cases) {
        TQvSimLineReader reader;
        std::vector<EQvSimLineStatus> statuses;
        std::vector<uint8_t> first;
        for (const char* p = c.Input; *p; ++p) {
            TQvSimLineResult r;
            if (reader.Feed(static_cast<uint8_t>(*p), r)) {
                statuses.push_back(r.Status);
                if (r.Status == SIMLINE_OK && first.empty())
                    first = r.Bytes;
            }
        }
        EXPECT_EQ(statuses, c.Statuses) << c.Input;
        EXPECT_EQ(first, c.FirstBytes) << c.Input;
    }
}

TEST(SimLine, ReaderTakesTheLargestBlockAndRefusesLonger)
{
    // A block of 65535 data bytes fits; one more pair of digits does not.
    std::vector<uint8_t> block(3 + 65535, 0xA5);
    block[0] = 0x0E;
    block[1] = 0xFF;
    block[2] = 0xFF;
    const std::string line = TQvSimLine::Encode('#', block);
    TQvSimLineReader reader;
    TQvSimLineResult r;
    bool done = false;
    for (char c : line)
        done = reader.Feed(static_cast<uint8_t>(c), r) || done;
    ASSERT_TRUE(done);
    EXPECT_EQ(r.Status, SIMLINE_OK);
    EXPECT_EQ(r.Bytes.size(), block.size());

    std::string longer = line.substr(0, line.size() - 6) + "A5A5" + line.substr(line.size() - 6);
    done = false;
    for (char c : longer)
        done = reader.Feed(static_cast<uint8_t>(c), r) || done;
    ASSERT_TRUE(done);
    EXPECT_EQ(r.Status, SIMLINE_TOO_LONG);
}
