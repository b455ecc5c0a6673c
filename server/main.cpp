// talkwire-voice-server: the local voice server.  Several game processes on
// one machine log in, meet in channels, hear who talks and who is muted,
// through the stand-in SDK's network mode (VOICESDK_SERVER=host:port).
#include "event_loop.h"
#include "options.h"

#include <csignal>
#include <cstdio>
#include <sys/resource.h>

namespace {

void on_stop_signal(int)
{
    voiceserver::EventLoop::request_stop();
}

void install_signals()
{
    struct sigaction action {};
    action.sa_handler = on_stop_signal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

// A thousand clients need a thousand descriptors.
void raise_descriptor_limit()
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

}  // namespace

int main(int argc, char **argv)
{
    voiceserver::Options options;
    std::string error;
    bool help = false;
    if (!voiceserver::parse_options(argc, argv, options, error, help)) {
        std::fprintf(stderr, "talkwire-voice-server: %s\n%s", error.c_str(), voiceserver::usage());
        return 2;
    }
    if (help) {
        std::fputs(voiceserver::usage(), stdout);
        return 0;
    }
    install_signals();
    raise_descriptor_limit();
    voiceserver::EventLoop loop;
    if (!loop.listen(options, error)) {
        std::fprintf(stderr, "talkwire-voice-server: %s\n", error.c_str());
        return 1;
    }
    std::printf("talkwire voice server listening on %s:%d\n", options.host.c_str(), loop.port());
    std::fflush(stdout);
    loop.run();
    std::printf("talkwire voice server stopped\n");
    return 0;
}
