// Deployment values fixed in the module.
#ifndef TALKWIRE_MODULE_DEPLOYMENT_H
#define TALKWIRE_MODULE_DEPLOYMENT_H

namespace talkwire {
namespace deployment {

// Appended to the domain word in the voice domain and the account-server
// host name; must begin with ".".
constexpr const char *kAccountServerDomain = ".voiceservice.example";
constexpr const char *kAccountServerPath = "/api2";
constexpr const char *kProductWord = "Orb";
// The public DNS server the connectivity tests ask.
constexpr const char *kPublicDnsServer = "8.8.8.8";

}  // namespace deployment
}  // namespace talkwire

#endif
