#include "scripted.h"

#include "records.h"

#include <vector>

namespace voicesdk {

ScriptedRules::~ScriptedRules()
{
    clear();
}

void ScriptedRules::add(int kind, sdk_resp_base_t *prototype, bool once)
{
    // A rule is not a message anyone must release: live() stops counting it.
    RecordHeader *header = header_of(prototype);
    if (header->counted) {
        header->counted = false;
        count_live(live_responses, -1);
    }
    sdk_resp_base_t *replaced = nullptr;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        KindRules &rules = rules_[static_cast<size_t>(kind)];
        if (once) {
            rules.once.push_back(prototype);
        } else {
            replaced = rules.standing;
            rules.standing = prototype;
        }
        kind_has_rules_[static_cast<size_t>(kind)].store(true, std::memory_order_release);
        any_.store(true, std::memory_order_release);
    }
    if (replaced)
        release_message(&replaced->message);
}

void ScriptedRules::clear()
{
    std::vector<sdk_resp_base_t *> dropped;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (KindRules &rules : rules_) {
            dropped.insert(dropped.end(), rules.once.begin(), rules.once.end());
            rules.once.clear();
            if (rules.standing)
                dropped.push_back(rules.standing);
            rules.standing = nullptr;
        }
        for (std::atomic<bool> &has_rules : kind_has_rules_)
            has_rules.store(false, std::memory_order_release);
        any_.store(false, std::memory_order_release);
    }
    for (sdk_resp_base_t *prototype : dropped)
        release_message(&prototype->message);
}

bool ScriptedRules::on_request(const IssuedRequest &request)
{
    const size_t kind = static_cast<size_t>(request.kind);
    if (!any_.load(std::memory_order_acquire) || !kind_has_rules_[kind].load(std::memory_order_acquire))
        return false;
    sdk_resp_base_t *answer = nullptr;
    sdk_resp_base_t *used = nullptr;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        KindRules &rules = rules_[kind];
        if (!rules.once.empty()) {
            used = rules.once.front();
            rules.once.pop_front();
            if (rules.once.empty() && !rules.standing)
                kind_has_rules_[kind].store(false, std::memory_order_release);
            answer = copy_response(used, request.request);
        } else if (rules.standing) {
            answer = copy_response(rules.standing, request.request);
        } else {
            return false;
        }
    }
    if (used)
        release_message(&used->message);
    if (!answer)
        return false;  // out of memory: left unanswered, as a lost reply would be
    post_message(&answer->message);
    return true;
}

}  // namespace voicesdk
