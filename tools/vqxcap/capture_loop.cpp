#include "capture_loop.h"

#include "access_unit_counter.h"
#include "encoder_session.h"
#include "error_report.h"
#include "output_stream.h"
#include "property_settings.h"

#include <windows.h>

#include <atomic>

namespace vqxcap {
namespace {

// Ctrl+C: ask the loop to stop and end a query that is waiting for output.
std::atomic<bool> g_interrupted{false};
std::atomic<EncoderSession*> g_session{nullptr};

BOOL WINAPI OnConsoleControl(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
    g_interrupted = true;
    if (EncoderSession* session = g_session.load()) session->Cancel();
    return TRUE;
}

// Installs the Ctrl+C handler for the life of the capture.
class InterruptScope {
public:
    explicit InterruptScope(EncoderSession& session) {
        g_interrupted = false;
        g_session = &session;
        SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    }
    ~InterruptScope() {
        SetConsoleCtrlHandler(OnConsoleControl, FALSE);
        g_session = nullptr;
    }
    InterruptScope(const InterruptScope&) = delete;
    InterruptScope& operator=(const InterruptScope&) = delete;
};

int ExitCodeForStep(const StepFailure& failure) {
    if (failure.code == vqx::VQX_ZEP_DISPLAY_FAILED) return kExitDisplayFailed;
    if (failure.operation == L"AcquireDisplay") return kExitDisplayFailed;
    if (failure.operation == L"CreateEncoder" || failure.operation == L"StartEncode") return kExitEncoderFailed;
    return kExitPropertyRefused;
}

CaptureOutcome StepFailed(const StepFailure& failure) {
    CaptureOutcome outcome;
    outcome.exitCode = ExitCodeForStep(failure);
    outcome.message = FailureMessage(failure.operation, failure.code);
    return outcome;
}

class Capture {
public:
    Capture(const Options& options, bool showProgress)
        : m_options(options), m_progress(showProgress) {}

    CaptureOutcome Run() {
        if (!m_output.Open(m_options.outputPath)) {
            return {kExitOutputFailed, L"vqxcap: cannot create the output file " + m_options.outputPath, {}, false};
        }
        CaptureOutcome outcome = Start();
        if (outcome.exitCode == kExitOk) outcome = PullOutputs();
        m_session.TearDown();
        m_progress.Finish();
        if (!m_output.Close() && outcome.exitCode == kExitOk) {
            outcome = {kExitOutputFailed, L"vqxcap: writing the output failed", {}, false};
        }
        outcome.stats = m_stats;
        return outcome;
    }

private:
    CaptureOutcome Start() {
        PropertySettings settings(m_options.settings);
        StepFailure failure;
        vqx::VQXEncoderKLTZEP& encoder = *m_session.Encoder();
        if (!settings.ApplyBeforeCreate(encoder, failure) || !m_session.AcquireDisplay(failure) ||
            !m_session.CreateEncoder(failure) || !settings.ApplyAfterCreate(encoder, failure) ||
            !m_session.StartEncode(failure)) {
            return StepFailed(failure);
        }
        m_startSeconds = NowSeconds();
        return {};
    }

    bool TimeIsUp() const {
        if (m_options.frames && m_stats.pictures >= *m_options.frames) return true;
        return m_options.seconds && NowSeconds() - m_startSeconds >= *m_options.seconds;
    }

    CaptureOutcome PullOutputs() {
        InterruptScope interrupt(m_session);
        bool finishing = false;  // the goal is met: write up to the next access unit
        while (!g_interrupted) {
            finishing = finishing || TimeIsUp();
            vqx::VQXPtr<vqx::VQXZepBuffer> buffer;
            const vqx::VQX_ERROR result = m_session.Encoder()->QueryOutput(buffer.put());
            if (result == vqx::VQX_REPEAT) {
                ++m_stats.timeouts;
                if (finishing) break;
                continue;
            }
            if (result != vqx::VQX_OK) {
                return {kExitQueryFailed, FailureMessage(L"QueryOutput", result), {}, false};
            }
            if (!buffer) continue;
            void* memory = nullptr;
            buffer->GetMemory(&memory);
            const auto* bytes = static_cast<const uint8_t*>(memory);
            const size_t size = buffer->GetSize();
            if (finishing && (size == 0 || BeginsAccessUnit(bytes, size))) break;
            if (!m_output.Write(bytes, size)) {
                return {kExitOutputFailed, L"vqxcap: writing the output failed", {}, false};
            }
            const int64_t timestamp = buffer->GetTimestamp();
            const double delayMs = m_delivery.DelayMs(NowSeconds(), timestamp);
            m_stats.AddOutput(size, m_counter.Feed(bytes, size), timestamp, delayMs);
            m_stats.elapsedSeconds = NowSeconds() - m_startSeconds;
            m_progress.Update(m_stats);
        }
        CaptureOutcome outcome;
        outcome.interrupted = g_interrupted;
        return outcome;
    }

    const Options& m_options;
    EncoderSession m_session;
    OutputStream m_output;
    AccessUnitCounter m_counter;
    CaptureStats m_stats;
    DeliveryClock m_delivery;
    ProgressLine m_progress;
    double m_startSeconds = 0;
};

}  // namespace

CaptureOutcome RunCapture(const Options& options, bool showProgress) {
    Capture capture(options, showProgress);
    return capture.Run();
}

}  // namespace vqxcap
