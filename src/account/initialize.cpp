// InitializeEx: derives the voice domain and account-server URL, picks a
// port range, and has the SDK create a connector.
#include "bridge/request_thread.h"
#include "bridge/requests.h"
#include "bridge/trace.h"
#include "module/args.h"
#include "module/deployment.h"
#include "module/entry.h"
#include "module/methods.h"

#include <cstdlib>

namespace talkwire {

PyObject *Connector_InitializeEx(PyObject *self, CallArgs args)
{
    // Seeded with the process id on every call, before the arguments.
    std::srand(static_cast<unsigned>(GetCurrentProcessId()));
    const int draw = std::rand();

    std::string domain_word = "orb";
    int use_https = 1;  // an omitted scheme means https
    std::string log_folder = ".";
    std::string log_file_prefix = "voice";
    std::string log_file_suffix = ".log";
    int log_level = 1;
    if (!args::parse(args, "|sisssi:InitializeEx", &domain_word, &use_https, &log_folder, &log_file_prefix,
                     &log_file_suffix, &log_level))
        return nullptr;

    return method_entry(self, [&](Connector &connector) {
        std::string voice_domain = domain_word + deployment::kAccountServerDomain;
        std::string url = std::string(use_https ? "https" : "http") + "://www." + voice_domain +
                          deployment::kAccountServerPath;
        const int minimum_port = (draw % 1000 + 200) * 50;

        using Record = sdk_req_connector_create_t;
        auto request = make_request(sdk_req_connector_create_create, connector.cookies);
        request.text(&Record::application_name, deployment::kProductWord);
        request.text(&Record::account_server_url, url);
        request->minimum_port = minimum_port;
        request->maximum_port = minimum_port + 50;
        request->connector_option = 0;
        request.text(&Record::log_folder, log_folder);
        request.text(&Record::log_file_prefix, log_file_prefix);
        request.text(&Record::log_file_suffix, log_file_suffix);
        request->log_level = log_level;
        require_complete(request);

        connector.voice_domain = voice_domain;
        connector.account_server_url = url;

        if (!start_request_thread(request.get())) {
            DWORD error = GetLastError();
            trace("Error Creating Thread %d\r\n", static_cast<int>(error));
            throw_error(static_cast<int32_t>(error), msg::kErrorCreatingThread);
        }
        request.release();  // the thread issues it
        return new_none();
    });
}

}  // namespace talkwire
