// The server's command line.
#ifndef SERVER_OPTIONS_H
#define SERVER_OPTIONS_H

#include "../voicesdk/src/service/settings.h"

#include <string>

namespace voiceserver {

struct Options {
    std::string host = "127.0.0.1";
    int port = 0;                 // 0: any free port
    double heartbeat = 3.0;       // seconds of silence before a client is dropped
    bool log = false;             // one line per connection and login on stdout
    voicesdk::service::Settings settings;
};

// False, with a message in `error`, for a bad command line; `help` is set
// for --help.
bool parse_options(int argc, char **argv, Options &options, std::string &error, bool &help);
const char *usage();

}  // namespace voiceserver

#endif
