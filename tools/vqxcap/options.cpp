// Parses vqxcap's command line. Shortcut options are rewritten into property assignments so that
// every property setting takes the same path through the encoder.
#include "options.h"

#include <cerrno>
#include <cwchar>
#include <map>

namespace vqxcap {
namespace {

// --usage wireless etc. map to the encoder's "Usage" values.
const std::map<std::wstring, std::wstring>& UsageNames() {
    static const std::map<std::wstring, std::wstring> names = {
        {L"generic", L"1"}, {L"wireless", L"2"}, {L"wireless-display", L"2"}, {L"low-latency", L"4"}};
    return names;
}

// Shortcut option -> property name.
const std::map<std::wstring, std::wstring>& Shortcuts() {
    static const std::map<std::wstring, std::wstring> shortcuts = {
        {L"--profile", L"Profile"},         {L"--bitrate", L"Bitrate"},         {L"--peak-bitrate", L"Peak Bitrate"},
        {L"--idr-period", L"IDR Period"},   {L"--fps-wait", L"Wait Frame Max"}, {L"--slices", L"Slices Per Frame"},
        {L"--output-type", L"Output Type"},
    };
    return shortcuts;
}

bool ParseUnsigned(const std::wstring& text, uint64_t& value) {
    if (text.empty() || text[0] == L'-') return false;
    wchar_t* end = nullptr;
    errno = 0;
    const unsigned long long parsed = std::wcstoull(text.c_str(), &end, 10);
    if (errno != 0 || end == nullptr || *end != L'\0') return false;
    value = parsed;
    return true;
}

bool ParseSeconds(const std::wstring& text, double& value) {
    wchar_t* end = nullptr;
    const double parsed = std::wcstod(text.c_str(), &end);
    if (text.empty() || end == nullptr || *end != L'\0' || !(parsed > 0.0)) return false;
    value = parsed;
    return true;
}

bool ParseLevel(const std::wstring& text, int32_t& value) {
    wchar_t* end = nullptr;
    errno = 0;
    const long parsed = std::wcstol(text.c_str(), &end, 10);
    if (text.empty() || errno != 0 || end == nullptr || *end != L'\0') return false;
    value = static_cast<int32_t>(parsed);
    return true;
}

class ArgumentReader {
public:
    explicit ArgumentReader(const std::vector<std::wstring>& args) : m_args(args) {}
    bool Done() const { return m_next >= m_args.size(); }
    const std::wstring& Next() { return m_args[m_next++]; }
    // The value of an option given as "--opt value" or "--opt=value".
    std::optional<std::wstring> ValueOf(const std::wstring& inlineValue, bool hasInline) {
        if (hasInline) return inlineValue;
        if (Done()) return std::nullopt;
        return Next();
    }

private:
    const std::vector<std::wstring>& m_args;
    size_t m_next = 0;
};

ParseResult Fail(std::wstring message) {
    return ParseResult{std::nullopt, std::move(message)};
}

}  // namespace

ParseResult ParseArguments(const std::vector<std::wstring>& args) {
    Options options;
    ArgumentReader reader(args);
    while (!reader.Done()) {
        std::wstring arg = reader.Next();
        std::wstring inlineValue;
        bool hasInline = false;
        const size_t eq = arg.find(L'=');
        if (arg.rfind(L"--", 0) == 0 && eq != std::wstring::npos) {
            inlineValue = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
            hasInline = true;
        }
        auto value = [&]() { return reader.ValueOf(inlineValue, hasInline); };

        if (arg == L"-h" || arg == L"--help") {
            options.mode = Mode::Help;
        } else if (arg == L"--list-properties") {
            options.mode = Mode::ListProperties;
        } else if (arg == L"--caps") {
            options.mode = Mode::Caps;
        } else if (arg == L"--no-progress") {
            options.progress = false;
        } else if (arg == L"-o" || arg == L"--output") {
            auto v = value();
            if (!v || v->empty()) return Fail(L"-o needs a file name (or - for standard output)");
            options.outputPath = *v;
        } else if (arg == L"--format") {
            auto v = value();
            if (!v || v->empty()) return Fail(L"--format needs a container name");
            options.format = *v;
        } else if (arg == L"--sdp") {
            auto v = value();
            if (!v || v->empty()) return Fail(L"--sdp needs a file name");
            options.sdpPath = *v;
        } else if (arg == L"--frames") {
            auto v = value();
            uint64_t frames = 0;
            if (!v || !ParseUnsigned(*v, frames) || frames == 0) return Fail(L"--frames needs a positive number");
            options.frames = frames;
        } else if (arg == L"--seconds") {
            auto v = value();
            double seconds = 0;
            if (!v || !ParseSeconds(*v, seconds)) return Fail(L"--seconds needs a positive number");
            options.seconds = seconds;
        } else if (arg == L"--set") {
            auto v = value();
            const size_t split = v ? v->find(L'=') : std::wstring::npos;
            if (!v || split == std::wstring::npos || split == 0) return Fail(L"--set needs NAME=VALUE");
            options.settings.push_back({v->substr(0, split), v->substr(split + 1)});
        } else if (arg == L"--usage") {
            auto v = value();
            const auto found = v ? UsageNames().find(*v) : UsageNames().end();
            if (found == UsageNames().end()) return Fail(L"--usage takes generic, wireless or low-latency");
            options.settings.push_back({L"Usage", found->second});
        } else if (Shortcuts().count(arg) != 0) {
            auto v = value();
            if (!v) return Fail(arg + L" needs a value");
            options.settings.push_back({Shortcuts().at(arg), *v});
        } else if (arg == L"--trace-level") {
            auto v = value();
            int32_t level = 0;
            if (!v || !ParseLevel(*v, level)) return Fail(L"--trace-level needs a number");
            options.traceLevel = level;
        } else if (arg == L"--log") {
            auto v = value();
            if (!v || v->empty()) return Fail(L"--log needs a file name");
            options.logPath = *v;
        } else {
            return Fail(L"unknown option: " + arg);
        }
    }
    if (options.mode == Mode::Capture) {
        if (options.outputPath.empty()) return Fail(L"no output file: give -o FILE (or -o - for standard output)");
        if (!options.frames && !options.seconds) return Fail(L"say how long to capture: --frames N or --seconds S");
        DestinationChoice choice = ChooseDestination(options.outputPath, options.format, options.sdpPath);
        if (!choice.destination) return Fail(choice.error);
        options.destination = *choice.destination;
    }
    return ParseResult{options, L""};
}

const wchar_t* UsageText() {
    return L"usage: vqxcap -o DEST (--frames N | --seconds S) [options]\n"
           L"       vqxcap --list-properties [--set NAME=VALUE ...]\n"
           L"       vqxcap --caps\n"
           L"\n"
           L"Captures the remote display as H.264: a raw Annex-B stream, a container or a live stream.\n"
           L"\n"
           L"  -o, --output DEST     where the stream goes; the destination picks the container:\n"
           L"                        FILE.h264 or FILE.264 raw Annex-B, FILE.mp4 fragmented MP4,\n"
           L"                        FILE.mkv Matroska, FILE.ts MPEG-TS, - raw to standard output,\n"
           L"                        udp://HOST:PORT MPEG-TS over UDP, rtp://HOST:PORT H.264 over RTP\n"
           L"  --format NAME         container instead of the guess: h264, mp4, matroska, mpegts, rtp\n"
           L"  --sdp FILE            with rtp://: write the session description a player opens\n"
           L"  --frames N            stop after N pictures\n"
           L"  --seconds S           stop after S seconds\n"
           L"  --set NAME=VALUE      set an encoder property by its exact name (repeatable);\n"
           L"                        the value is converted by the encoder's own rules\n"
           L"  --usage U             generic, wireless or low-latency (property \"Usage\")\n"
           L"  --profile N           property \"Profile\" (66, 77, 100)\n"
           L"  --bitrate BPS         property \"Bitrate\"\n"
           L"  --peak-bitrate BPS    property \"Peak Bitrate\"\n"
           L"  --idr-period N        property \"IDR Period\"\n"
           L"  --slices N            property \"Slices Per Frame\"\n"
           L"  --output-type N       property \"Output Type\"\n"
           L"  --fps-wait MS         property \"Wait Frame Max\"\n"
           L"  --list-properties     print every property with its type, default, range,\n"
           L"                        when it can be set and its usages\n"
           L"  --caps                print the capability properties\n"
           L"  --trace-level N       trace threshold (default 2)\n"
           L"  --log FILE            write the trace to FILE (UTF-16)\n"
           L"  --no-progress         no progress line\n"
           L"  -h, --help            this text\n"
           L"\n"
           L"Exit codes: 0 done, 1 internal error, 2 bad command line, 3 property refused,\n"
           L"4 display failed, 5 encoder create/start failed, 6 output query failed,\n"
           L"7 output error (file, network or container).\n";
}

}  // namespace vqxcap
