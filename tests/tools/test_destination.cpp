#include "destination.h"
#include "options.h"

#include <gtest/gtest.h>

using vqxcap::ChooseDestination;
using vqxcap::Container;
using vqxcap::Transport;

namespace {

struct DestinationCase {
    const wchar_t* output;
    const wchar_t* format;
    Container container;
    Transport transport;
};

struct RefusalCase {
    const wchar_t* output;
    const wchar_t* format;
    const wchar_t* sdp;
    const wchar_t* named;  // a piece of the message that says what is wrong
};

}  // namespace

// The destinations and refusals that vqxcap's own runs already use (tests/tools/CMakeLists.txt and
// vqxcap_streams.sh) are left to them.
TEST(VqxcapDestination, ContainerFollowsTheExtensionOrTheFormat) {
    const DestinationCase cases[] = {
        {L"C:\\captures\\x.264", L"", Container::RawH264, Transport::File},
        {L"X.MP4", L"", Container::Mp4, Transport::File},
        {L"dir.v2/x.mkv", L"", Container::Matroska, Transport::File},
        {L"capture.bin", L"matroska", Container::Matroska, Transport::File},
        {L"capture", L"mkv", Container::Matroska, Transport::File},
        {L"x.mp4", L"h264", Container::RawH264, Transport::File},
        {L"x.h264", L"TS", Container::MpegTs, Transport::File},
        {L"udp://127.0.0.1:5004", L"mpegts", Container::MpegTs, Transport::Udp},
        {L"RTP://127.0.0.1:5004", L"rtp", Container::Rtp, Transport::Rtp},
    };
    for (const DestinationCase& c : cases) {
        const auto choice = ChooseDestination(c.output, c.format, L"");
        ASSERT_TRUE(choice.destination) << c.output << " " << c.format << ": " << choice.error;
        EXPECT_EQ(c.container, choice.destination->container) << c.output << " " << c.format;
        EXPECT_EQ(c.transport, choice.destination->transport) << c.output << " " << c.format;
        EXPECT_EQ(c.output, choice.destination->target);
    }
}

TEST(VqxcapDestination, UrlsGiveHostAndPortAndKeepTheirOptions) {
    const auto udp = ChooseDestination(L"udp://239.1.2.3:1234?ttl=4", L"", L"");
    ASSERT_TRUE(udp.destination) << udp.error;
    EXPECT_EQ(L"239.1.2.3", udp.destination->host);
    EXPECT_EQ(1234, udp.destination->port);
    EXPECT_EQ(L"udp://239.1.2.3:1234?ttl=4", udp.destination->target);

    const auto rtp = ChooseDestination(L"rtp://[::1]:65535", L"", L"C:\\s.sdp");
    ASSERT_TRUE(rtp.destination) << rtp.error;
    EXPECT_EQ(L"::1", rtp.destination->host);
    EXPECT_EQ(65535, rtp.destination->port);
    EXPECT_EQ(L"C:\\s.sdp", rtp.destination->sdpPath);

    const auto named = ChooseDestination(L"udp://receiver.example:1", L"", L"");
    ASSERT_TRUE(named.destination) << named.error;
    EXPECT_EQ(L"receiver.example", named.destination->host);
    EXPECT_EQ(1, named.destination->port);
}

TEST(VqxcapDestination, RefusalsSayWhatIsWrong) {
    const RefusalCase cases[] = {
        {L"capture", L"", L"", L"no file name extension"},
        {L"dir.d\\capture", L"", L"", L"no file name extension"},
        {L"x.mp4", L"", L"s.sdp", L"--sdp needs an rtp://"},
        {L"x.mp4", L"rtp", L"", L"--format rtp needs an rtp://"},
        {L"udp://127.0.0.1:5004", L"mp4", L"", L"MPEG-TS only"},
        {L"rtp://127.0.0.1:5004", L"mpegts", L"", L"RTP only"},
        {L"udp://:5004", L"", L"", L"malformed"},
        {L"udp://127.0.0.1:0", L"", L"", L"malformed"},
        {L"udp://127.0.0.1:50x4", L"", L"", L"malformed"},
        {L"rtp://127.0.0.1:", L"", L"", L"malformed"},
        {L"rtp://[::1]5004", L"", L"", L"malformed"},
        {L"rtp://a:b:5004", L"", L"", L"malformed"},
        {L"udp://user@host:5004", L"", L"", L"malformed"},
        {L"tcp://127.0.0.1:5004", L"", L"", L"unsupported destination"},
    };
    for (const RefusalCase& c : cases) {
        const auto choice = ChooseDestination(c.output, c.format, c.sdp);
        EXPECT_FALSE(choice.destination) << c.output << " " << c.format << " " << c.sdp;
        EXPECT_NE(std::wstring::npos, choice.error.find(c.named)) << choice.error;
    }
}

TEST(VqxcapDestination, CommandLineCarriesFormatAndSdpIntoTheDestination) {
    const auto parsed = vqxcap::ParseArguments(
        {L"-o", L"rtp://127.0.0.1:5004", L"--sdp", L"s.sdp", L"--format=rtp", L"--frames", L"3"});
    ASSERT_TRUE(parsed.options) << parsed.error;
    EXPECT_EQ(Container::Rtp, parsed.options->destination.container);
    EXPECT_EQ(L"s.sdp", parsed.options->destination.sdpPath);

    const auto refused = vqxcap::ParseArguments({L"-o", L"capture.webm", L"--frames", L"3"});
    EXPECT_FALSE(refused.options);
    EXPECT_NE(std::wstring::npos, refused.error.find(L".webm"));
    EXPECT_FALSE(vqxcap::ParseArguments({L"-o", L"x.mp4", L"--frames", L"3", L"--format"}).options);
    EXPECT_FALSE(vqxcap::ParseArguments({L"-o", L"x.mp4", L"--frames", L"3", L"--sdp="}).options);
    // Modes that capture nothing do not look at the destination.
    EXPECT_TRUE(vqxcap::ParseArguments({L"--caps", L"--format", L"mp4"}).options);
}
