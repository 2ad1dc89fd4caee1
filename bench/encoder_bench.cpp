// Output delivery of the display encoder against the stand-in encode service, next to two naive
// hosts that poll the service themselves:
//   vqx QueryOutput  - the encoder's paced query (sleeps until the predicted frame time, then polls
//                      in 1 ms event waits)
//   Sleep(1) loop    - ZEPQueryOutputs, then Sleep(1) whenever nothing came
//   spinning loop    - ZEPQueryOutputs again at once whenever nothing came
// For every output: the delay from the moment the stand-in makes it available (its start time
// plus the frame's due time, from the entry's timestamp) to the moment the host has it in hand;
// median and 99th percentile. And the CPU time (GetThreadTimes) of the querying thread per second
// of the loop, which is all waiting apart from the service's own coding work. The host cannot read
// the stand-in's start time (taken inside the start call, after it codes picture 0), so each delay
// is counted from the promptest output of the loop: arrival minus due time, less the smallest such
// offset of the loop.
//
// Usage: encoder_bench [MODE [OUTPUTS]]   MODE: the simulated display as GRXAPIXX_MODE's custom form
// W,H,HTOTAL,VTOTAL,PCLK (default 320x240 at 30 fps, which the stand-in keeps up with under
// emulation); OUTPUTS per loop (default 300). bench/stream_bench.sh picks the largest size that
// keeps up.
#include "../drivers/qztrvx32/qzt_test_api.h"
#include "abi/win32_resource.h"
#include "abi/zep_records.h"

#include <vqx/encoder.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

using namespace vqx;
using namespace vqx::zep;

namespace {

constexpr int64_t kTimestampUnitsPerSecond = 10000000;

// The simulated display: its mode text and the frame rate the stand-in is created with.
struct DisplayMode {
    char text[64] = "320,240,400,250,300";  // 320x240 at 3000000 / 100000 = 30 fps
    uint32_t width = 320, height = 240;
    uint32_t fpsNumerator = 3000000;
    uint32_t fpsDenominator = 100000;
    int outputs = 300;
};
DisplayMode g_mode;

// W,H,HTOTAL,VTOTAL,PCLK as grxapixx reads it: PCLK x 10000 / (HTOTAL x VTOTAL) frames per second.
bool ParseMode(const char* text, DisplayMode& mode) {
    unsigned width = 0, height = 0, hTotal = 0, vTotal = 0, clock = 0;
    if (std::sscanf(text, "%u,%u,%u,%u,%u", &width, &height, &hTotal, &vTotal, &clock) != 5 || hTotal == 0 ||
        vTotal == 0 || clock == 0 || std::strlen(text) >= sizeof mode.text) {
        return false;
    }
    std::strcpy(mode.text, text);
    mode.width = width;
    mode.height = height;
    mode.fpsNumerator = clock * 10000u;
    mode.fpsDenominator = hTotal * vTotal;
    return true;
}

int64_t Qpc() {
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return counter.QuadPart;
}

int64_t QpcFrequency() {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return frequency.QuadPart;
}

// The stand-in's frame time: index x D x units / N without overflow.
int64_t FrameTime(uint64_t index, int64_t unitsPerSecond) {
    const uint64_t scaled = index * g_mode.fpsDenominator;
    return static_cast<int64_t>(scaled / g_mode.fpsNumerator * static_cast<uint64_t>(unitsPerSecond) +
                                scaled % g_mode.fpsNumerator * static_cast<uint64_t>(unitsPerSecond) /
                                    g_mode.fpsNumerator);
}

// When the output with this timestamp became available, in counter ticks.
int64_t AvailableAt(int64_t start, int64_t timestamp) {
    const double frames = static_cast<double>(timestamp) * g_mode.fpsNumerator /
                          (static_cast<double>(g_mode.fpsDenominator) * kTimestampUnitsPerSecond);
    return start + FrameTime(static_cast<uint64_t>(frames + 0.5), QpcFrequency());
}

int64_t ThreadCpu100ns() {
    FILETIME created, exited, kernel, user;
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
    auto ticks = [](const FILETIME& t) { return (static_cast<int64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
    return ticks(kernel) + ticks(user);
}

struct Figures {
    std::vector<double> delaysMs;
    double wallSeconds = 0;
    double cpuSeconds = 0;
    uint32_t polls = 0;
};

void Print(const char* name, Figures figures) {
    std::vector<double>& d = figures.delaysMs;
    if (d.empty()) {
        std::printf("%-16s no outputs\n", name);
        return;
    }
    std::sort(d.begin(), d.end());
    const double promptest = d.front();
    for (double& delay : d)
        delay -= promptest;
    const double median = d[d.size() / 2];
    const double p99 = d[std::min(d.size() - 1, (d.size() * 99 + 99) / 100 - 1)];
    std::printf("%-16s %6zu outputs  delay median %6.2f ms  p99 %7.2f ms  CPU %6.1f ms per s  %6.1f polls per output\n",
                name, d.size(), median, p99, 1000.0 * figures.cpuSeconds / figures.wallSeconds,
                static_cast<double>(figures.polls) / static_cast<double>(d.size()));
}

// --- the encoder ------------------------------------------------------------------------------

bool RunEncoder(const qzt::TestControls& controls, Figures& figures, ZEPCreateParams& create, ZEPConfig& config) {
    VQXEncoderKLTZEP* encoder = nullptr;
    VQXCreateEncoderKLTZEP(&encoder);
    bool ok = encoder->SetProperty(L"Wait Frame Max", VQXVariant::FromInt64(1000)) == VQX_OK &&
              encoder->AcquireDisplay() == VQX_OK && encoder->CreateEncoder() == VQX_OK &&
              encoder->StartEncode() == VQX_OK;
    const int64_t start = Qpc();
    const double frequency = static_cast<double>(QpcFrequency());
    const uint32_t pollsBefore = controls.GetCallCount("ZEPQueryOutputs");
    const int64_t cpuBefore = ThreadCpu100ns();
    while (ok && static_cast<int>(figures.delaysMs.size()) < g_mode.outputs) {
        VQXZepBuffer* buffer = nullptr;
        const VQX_ERROR result = encoder->QueryOutput(&buffer);
        const int64_t now = Qpc();
        if (result == VQX_REPEAT) continue;
        if (result != VQX_OK) {
            ok = false;
            break;
        }
        figures.delaysMs.push_back(1000.0 * static_cast<double>(now - AvailableAt(start, buffer->GetTimestamp())) /
                                   frequency);
        buffer->Release();
    }
    figures.cpuSeconds = static_cast<double>(ThreadCpu100ns() - cpuBefore) / 1e7;
    figures.wallSeconds = static_cast<double>(Qpc() - start) / frequency;
    figures.polls = controls.GetCallCount("ZEPQueryOutputs") - pollsBefore;
    controls.GetLastCreateParams(&create, sizeof(create));
    controls.GetLastConfig(&config, sizeof(config));
    encoder->Release();
    return ok;
}

// --- the naive hosts, straight on the service's ordinals ---------------------------------------

struct Service {
    using CreateFn = int32_t(__stdcall*)(ZEPCreateParams*, ZEPCreateVersion*, ZEPCreateResult*, ZEPCreateInfo*);
    using HandleFn = int32_t(__stdcall*)(ZEPHandleParams*, ZEPStatus*);
    using ConfigFn = int32_t(__stdcall*)(uint32_t, ZEPConfigHeader*, ZEPStatus*);
    using ControlFn = int32_t(__stdcall*)(uint32_t, ZEPControlParams*, ZEPStatus*);
    using QueryFn = int32_t(__stdcall*)(uint32_t, ZEPQueryParams*, ZEPQueryResult*);
    using ReclaimFn = int32_t(__stdcall*)(uint32_t, ZEPHandleParams*, ZEPStatus*);

    explicit Service(HMODULE module)
        : create(Bind<CreateFn>(module, 1300)),
          destroy(Bind<HandleFn>(module, 1301)),
          setConfig(Bind<ConfigFn>(module, 1303)),
          start(Bind<ControlFn>(module, 1304)),
          stop(Bind<ControlFn>(module, 1305)),
          query(Bind<QueryFn>(module, 1307)),
          reclaim(Bind<ReclaimFn>(module, 1308)) {}

    bool Ready() const { return create && destroy && setConfig && start && stop && query && reclaim; }

    template <typename Fn>
    static Fn Bind(HMODULE module, int ordinal) {
        return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, MAKEINTRESOURCEA(ordinal))));
    }

    CreateFn create;
    HandleFn destroy;
    ConfigFn setConfig;
    ControlFn start;
    ControlFn stop;
    QueryFn query;
    ReclaimFn reclaim;
};

enum class Idle { Sleep1, Spin };

bool RunNaive(const Service& service, Idle idle, ZEPCreateParams create, ZEPConfig config, Figures& figures) {
    ZEPCreateVersion version{sizeof(ZEPCreateVersion), 0, 0x60000};
    ZEPCreateResult created{sizeof(ZEPCreateResult), 0, 0, 0};
    ZEPCreateInfo info{sizeof(ZEPCreateInfo), 0, 0};
    if (service.create(&create, &version, &created, &info) != 0) return false;
    const uint32_t handle = created.handle;
    ZEPStatus status{sizeof(ZEPStatus), 0};
    ZEPConfigHeader header{sizeof(ZEPConfigHeader), 0, &config, 0};
    ZEPControlParams control{sizeof(ZEPControlParams), 0, 0};
    bool ok = service.setConfig(handle, &header, &status) == 0 && service.start(handle, &control, &status) == 0;
    const int64_t start = Qpc();
    const double frequency = static_cast<double>(QpcFrequency());
    const int64_t cpuBefore = ThreadCpu100ns();
    while (ok && static_cast<int>(figures.delaysMs.size()) < g_mode.outputs) {
        ZEPOutputEntry entry{};
        entry.size = sizeof(entry);
        ZEPQueryParams params{sizeof(ZEPQueryParams), 0, 1, 0};
        ZEPQueryResult result{sizeof(ZEPQueryResult), 0, 0, &entry};
        ++figures.polls;
        if (service.query(handle, &params, &result) != 0) {
            ok = false;
            break;
        }
        const int64_t now = Qpc();
        if (result.returnedCount == 1 && IsOutput(entry)) {
            figures.delaysMs.push_back(1000.0 * static_cast<double>(now - AvailableAt(start, entry.timestamp)) /
                                       frequency);
            ZEPHandleParams resource{sizeof(ZEPHandleParams), 0, entry.resourceId, 0};
            service.reclaim(handle, &resource, &status);
        } else if (idle == Idle::Sleep1) {
            Sleep(1);
        }
    }
    figures.cpuSeconds = static_cast<double>(ThreadCpu100ns() - cpuBefore) / 1e7;
    figures.wallSeconds = static_cast<double>(Qpc() - start) / frequency;
    service.stop(handle, &control, &status);
    ZEPHandleParams destroy{sizeof(ZEPHandleParams), 0, handle, 0};
    service.destroy(&destroy, &status);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if ((argc > 1 && !ParseMode(argv[1], g_mode)) || (argc > 2 && (g_mode.outputs = std::atoi(argv[2])) <= 0)) {
        std::printf("usage: encoder_bench [W,H,HTOTAL,VTOTAL,PCLK [OUTPUTS]]\n");
        return 2;
    }
    const win32::UniqueModule zepModule(LoadLibraryW(L"qztrvx32.dll"));
    qzt::TestControls controls;
    if (!zepModule || !controls.Load(zepModule.Get())) {
        std::printf("encoder_bench: the stand-in qztrvx32.dll is not on the path\n");
        return 1;
    }
    const Service service(zepModule.Get());
    SetEnvironmentVariableA("GRXAPIXX_MODE", g_mode.text);
    std::printf("encoder_bench: %d outputs each, %ux%u at %.2f fps from the stand-in service\n", g_mode.outputs,
                g_mode.width, g_mode.height, static_cast<double>(g_mode.fpsNumerator) / g_mode.fpsDenominator);

    Figures encoder;
    ZEPCreateParams create{};
    ZEPConfig config{};
    if (!RunEncoder(controls, encoder, create, config) || !service.Ready()) {
        std::printf("encoder_bench: the encoder run failed\n");
        return 1;
    }
    Print("vqx QueryOutput", encoder);
    Figures sleeping;
    Figures spinning;
    if (!RunNaive(service, Idle::Sleep1, create, config, sleeping) ||
        !RunNaive(service, Idle::Spin, create, config, spinning)) {
        std::printf("encoder_bench: a naive run failed\n");
        return 1;
    }
    Print("Sleep(1) loop", sleeping);
    Print("spinning loop", spinning);
    return 0;
}
