#include "run/stop.h"

#include <csignal>
#include <string>
#include <system_error>
#include <thread>

#include "base/system.h"

namespace varnel {
namespace {

#if defined(_WIN32)

// The console handler runs on a thread of the system's, with nothing but the
// event: the output files of this process's one run are where it finds them.
output_files* watched = nullptr;

BOOL WINAPI on_console_event(DWORD event) {
    const char* what = event == CTRL_C_EVENT       ? "Ctrl-C"
                       : event == CTRL_BREAK_EVENT ? "Ctrl-Break"
                       : event == CTRL_CLOSE_EVENT ? "closing the console"
                                                   : nullptr;
    if (what == nullptr || watched == nullptr) return FALSE;
    watched->stop(std::string("Stopped by ") + what);
    return FALSE;  // the run is over: the default handler ends the process
}

#else

const char* signal_name(int sig) {
    switch (sig) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    default: return "SIGHUP";
    }
}

#endif

}  // namespace

void stop_on_signals(output_files& files) {
#if defined(_WIN32)
    watched = &files;
    SetConsoleCtrlHandler(on_console_event, TRUE);
#else
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
    sigset_t set;
    sigemptyset(&set);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction was;
        if (sigaction(sig, nullptr, &was) == 0 && was.sa_handler != SIG_IGN) sigaddset(&set, sig);  // nohup's stays ignored
    }
    // Blocked in every thread, the signals wait for one thread that takes them
    // with sigwait and may then do what no signal handler can: take a lock.
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    try {
        std::thread([&files, set] {
            int sig = 0;
            while (sigwait(&set, &sig) != 0) {
            }
            files.stop(std::string("Stopped by ") + signal_name(sig));
            std::signal(sig, SIG_DFL);  // the run is over: the signal ends the process as by default
            pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
            raise(sig);
        }).detach();
    } catch (const std::system_error&) {
        pthread_sigmask(SIG_UNBLOCK, &set, nullptr);  // no thread to be had: the signals act as by default
    }
#endif
}

}  // namespace varnel
