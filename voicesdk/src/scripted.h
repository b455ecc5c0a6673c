// Answer rules set from the control interface: per request kind, once-rules
// used up in order, then the latest standing rule.
#ifndef VOICESDK_SRC_SCRIPTED_H
#define VOICESDK_SRC_SCRIPTED_H

#include "responder.h"

#include <array>
#include <atomic>
#include <deque>
#include <mutex>

namespace voicesdk {

class ScriptedRules : public Responder {
public:
    ~ScriptedRules() override;
    // Adopts the prototype response.
    void add(int kind, sdk_resp_base_t *prototype, bool once);
    void clear();
    bool on_request(const IssuedRequest &request) override;
    // False when no rule stands for the kind: nothing would answer.
    bool answers(int kind) const
    {
        return any_.load(std::memory_order_acquire) &&
               kind_has_rules_[static_cast<size_t>(kind)].load(std::memory_order_acquire);
    }

private:
    struct KindRules {
        std::deque<sdk_resp_base_t *> once;
        sdk_resp_base_t *standing = nullptr;
    };
    std::mutex mutex_;
    std::array<KindRules, sdk_request_kind_count> rules_;
    std::atomic<bool> any_{false};  // lets the hot path skip the lock
    // Per kind: whether a rule stands, so that requests of the other kinds
    // skip the lock too.
    std::array<std::atomic<bool>, sdk_request_kind_count> kind_has_rules_{};
};

}  // namespace voicesdk

#endif
