// signals.cpp - signal handlers on POSIX systems, a console control
// handler on Windows.
#include "platform/signals.h"

#include <csignal>

#include "platform/native.h"

#ifdef _WIN32

namespace {

volatile LONG g_first_event = -1;
HANDLE g_released = nullptr;
bool g_holding = false;

BOOL WINAPI HoldControlEvent(DWORD event) {
    InterlockedCompareExchange(&g_first_event, static_cast<LONG>(event), -1);
    // Ctrl+C and Ctrl+Break are taken as handled: the main thread ends the
    // process at the release. For a close, a log-off or a shutdown Windows
    // ends the process when this returns, so it waits for the release.
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && g_released) {
        WaitForSingleObject(g_released, INFINITE);
    }
    return TRUE;
}

}  // namespace

void IgnoreStreamSignals() {}

void StopSignalGuard::arm() {
    if (g_holding) return;
    if (!g_released) g_released = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    g_holding = SetConsoleCtrlHandler(HoldControlEvent, TRUE) != 0;
    armed_ = g_holding;
}

void StopSignalGuard::release() {
    if (!armed_) return;
    armed_ = false;
    // From here on an event ends the process at once, as it would have
    // without the hold.
    SetConsoleCtrlHandler(HoldControlEvent, FALSE);
    g_holding = false;
    if (g_first_event == -1) return;
    if (g_released) SetEvent(g_released);
    ExitProcess(static_cast<UINT>(STATUS_CONTROL_C_EXIT));
}

#else

namespace {

const int STOP_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
constexpr size_t STOP_SIGNAL_COUNT = sizeof STOP_SIGNALS / sizeof STOP_SIGNALS[0];

volatile sig_atomic_t g_first_signal = 0;
bool g_holding = false;
struct sigaction g_previous[STOP_SIGNAL_COUNT];
bool g_replaced[STOP_SIGNAL_COUNT] = {};

extern "C" void NoteStopSignal(int signal_number) {
    if (g_first_signal == 0) g_first_signal = signal_number;
}

bool Ignored(const struct sigaction& action) {
    return !(action.sa_flags & SA_SIGINFO) && action.sa_handler == SIG_IGN;
}

}  // namespace

void IgnoreStreamSignals() {
    signal(SIGPIPE, SIG_IGN);
    signal(SIGXFSZ, SIG_IGN);
}

void StopSignalGuard::arm() {
    if (g_holding) return;
    g_holding = true;
    armed_ = true;
    g_first_signal = 0;
    struct sigaction hold = {};
    hold.sa_handler = NoteStopSignal;
    // Restarted calls: a held signal never fails a read, a write or a sync.
    hold.sa_flags = SA_RESTART;
    sigemptyset(&hold.sa_mask);
    for (int signal_number : STOP_SIGNALS) sigaddset(&hold.sa_mask, signal_number);
    for (size_t i = 0; i < STOP_SIGNAL_COUNT; ++i) {
        g_replaced[i] = sigaction(STOP_SIGNALS[i], nullptr, &g_previous[i]) == 0 &&
                        !Ignored(g_previous[i]) &&
                        sigaction(STOP_SIGNALS[i], &hold, nullptr) == 0;
    }
}

void StopSignalGuard::release() {
    if (!armed_) return;
    armed_ = false;
    for (size_t i = 0; i < STOP_SIGNAL_COUNT; ++i) {
        if (g_replaced[i]) sigaction(STOP_SIGNALS[i], &g_previous[i], nullptr);
        g_replaced[i] = false;
    }
    g_holding = false;
    const int first = g_first_signal;
    g_first_signal = 0;
    if (first != 0) raise(first);
}

#endif

StopSignalGuard::~StopSignalGuard() { release(); }
