// Shared pieces of the tools tests: an in-process beacon on a manual clock, request lines built
// with the program's own messages, and reply decoding with the program's protocol layer, so
// the simulator is checked against an implementation it shares no code with.
#pragma once

#include "framework/CvFoundation.h"
#include "framework/CvTimer.h"
#include "protocol/QvCmdSys.h"
#include "tools/sim/QvSimBeacon.h"
#include "tools/sim/QvSimOptions.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

// A deterministic image: every byte differs from its neighbours, so a lost or shifted byte
// changes the checksum.
inline std::vector<uint8_t> SimTestImage(size_t size, uint32_t salt = 0)
{
    std::vector<uint8_t> image(size);
    for (size_t i = 0; i < size; ++i)
        image[i] = static_cast<uint8_t>((i * 131 + (i >> 8) * 7 + salt) & 0xFF);
    return image;
}

inline std::string SimEncode(TQvCmdMsgTx& msg)
{
    return msg.EncodeStr(true);
}

inline std::string SimInfoRequest()
{
    TQvCmdMsgTxSysInfo m;
    return SimEncode(m);
}

inline std::string SimConfigRequest()
{
    TQvCmdMsgTxConfigGet m;
    return SimEncode(m);
}

inline std::string SimUpdateRequest()
{
    TQvCmdMsgTxProgUpdate m;
    return SimEncode(m);
}

inline std::string SimBlockRequest(const std::vector<uint8_t>& data)
{
    TQvCmdMsgTxProgBlock m;
    m.SetData(data);
    return SimEncode(m);
}

struct TSimInit {
    uint8_t Section = 1;
    uint16_t PartNumber = 0;
    uint8_t RevMin = 0;
    uint8_t RevMax = 0;
    uint32_t SerialNumber = 0;
    uint32_t Length = 0;
    uint32_t Checksum = 0;
};

// The initialisation announcing `image` (checksum by the simulator's convention).
inline TSimInit SimInitFor(const std::vector<uint8_t>& image)
{
    TSimInit init;
    init.Length = static_cast<uint32_t>(image.size());
    init.Checksum = TCvCrc::Crc32(image);
    return init;
}

inline std::string SimInitRequest(const TSimInit& i)
{
    TQvCmdMsgTxProgInit m;
    m.SetSection(i.Section);
    m.SetPartNumber(i.PartNumber);
    m.SetPartRevisionMin(i.RevMin);
    m.SetPartRevisionMax(i.RevMax);
    m.SetSerialNumber(i.SerialNumber);
    m.SetLength(i.Length);
    m.SetChecksum(i.Checksum);
    return SimEncode(m);
}

inline std::string SimEngRequest(uint8_t action, const std::string& key = "", const TQvCmdInfoHardware& hw = {},
                                 const TQvCmdUsblCal& cal = {})
{
    TQvCmdMsgTxSysEngineering m;
    m.fAction = action;
    m.SetKey(key);
    m.SetHardware(hw);
    m.SetUsblCal(cal);
    return SimEncode(m);
}

// Decodes one reply line with the program's message class; fails the test when it does not.
template <typename TMsg>
TMsg SimDecode(const std::string& line)
{
    TMsg msg;
    const TQvCmdMsgRxDecode r = msg.DecodeStr(line);
    EXPECT_EQ(r, cdec_OK) << "reply: " << line;
    return msg;
}

inline uint8_t SimStatusOf(const std::string& line)
{
    TQvCmdMsgRx_Status msg;
    EXPECT_EQ(msg.DecodeStr(line), cdec_OK) << "reply: " << line;
    return msg.Status();
}

// A beacon on a manual clock; everything it writes collects in Out.
class TSimRig {
public:
    explicit TSimRig(const TQvSimConfig& config = TQvSimConfig())
        : fScope(&Clock)
    {
        Beacon = std::make_unique<TQvSimBeacon>(config);
        Beacon->SetOnOutput(TCvEvent<TQvSimOutputParams>::FromFunction([this](TQvSimOutputParams& p) {
            Out.append(reinterpret_cast<const char*>(p.Data), p.Count);
        }));
        Beacon->SetOnClose(TCvEvent<TQvSimBeaconParams>::FromFunction([this](TQvSimBeaconParams&) { ++Closes; }));
    }

    // From command-line options, as the program would build it.
    static std::unique_ptr<TSimRig> FromArgs(const std::vector<std::string>& args)
    {
        TQvSimOptions options;
        std::string error;
        EXPECT_TRUE(TQvSimOptions::Parse(args, options, error)) << error;
        TQvSimConfig config;
        EXPECT_TRUE(options.Resolve(config, error)) << error;
        return std::make_unique<TSimRig>(config);
    }

    void Send(const std::string& line) { Beacon->Input(line); }

    // Every complete reply line written so far, without CR LF (noise before a "$" dropped).
    std::vector<std::string> Lines()
    {
        std::vector<std::string> lines;
        size_t pos = 0;
        while (true) {
            const size_t start = Out.find('$', pos);
            if (start == std::string::npos)
                break;
            const size_t end = Out.find("\r\n", start);
            if (end == std::string::npos)
                break;
            lines.push_back(Out.substr(start, end - start));
            pos = end + 2;
        }
        return lines;
    }

    // Sends one request and returns its reply line ("" when none came).
    std::string Ask(const std::string& request)
    {
        Out.clear();
        Send(request);
        const std::vector<std::string> lines = Lines();
        return lines.empty() ? std::string() : lines.back();
    }

    // Programs `image` in blocks of `blockSize`; returns the update reply's status.
    uint8_t Program(const std::vector<uint8_t>& image, size_t blockSize = 256)
    {
        EXPECT_EQ(SimStatusOf(Ask(SimInitRequest(SimInitFor(image)))), 0);
        for (size_t pos = 0; pos < image.size(); pos += blockSize) {
            const std::vector<uint8_t> block(image.begin() + static_cast<std::ptrdiff_t>(pos),
                                             image.begin() + static_cast<std::ptrdiff_t>(std::min(image.size(), pos + blockSize)));
            EXPECT_EQ(SimStatusOf(Ask(SimBlockRequest(block))), 0) << "block at " << pos;
        }
        return SimStatusOf(Ask(SimUpdateRequest()));
    }

    TQvCmdInfo Info() { return SimDecode<TQvCmdMsgRxSysInfo>(Ask(SimInfoRequest())).Info(); }

    TCvManualClock Clock;
    std::unique_ptr<TQvSimBeacon> Beacon;
    std::string Out;
    int Closes = 0;

private:
    TCvTimerServiceScope fScope;
};
