// Devices, levels, the microphone test, the troubleshooter and key bindings.
#include "service.h"

#include "helpers.h"
#include "messages.h"

namespace voicesdk {
namespace service {
namespace {

constexpr int kConnectivityTests = 17;

}  // namespace

void Service::connectivity(const IssuedRequest &request, Batch &batch)
{
    std::vector<sdk_connectivity_test_result_t> tests;
    for (int type = 0; type < kConnectivityTests; ++type) {
        sdk_connectivity_test_result_t test{type, 0, nullptr};
        if (type == settings_.failing_test) {
            test.test_result = settings_.failing_result;
            if (!settings_.failing_info.empty())
                test.test_info = const_cast<char *>(settings_.failing_info.c_str());
        }
        tests.push_back(test);
    }
    MessagePtr response = response_to(request);
    if (response)
        set_test_results(reinterpret_cast<sdk_resp_base_t *>(response.get()), static_cast<int>(tests.size()),
                         tests.data());
    batch.add(std::move(response));
}

void Service::devices(const IssuedRequest &request, const std::vector<std::string> &names,
                      const std::string &current, Batch &batch)
{
    std::vector<const char *> list;
    for (const std::string &name : names)
        list.push_back(name.c_str());
    MessagePtr response = response_to(request);
    if (response)
        set_devices(reinterpret_cast<sdk_resp_base_t *>(response.get()), static_cast<int>(list.size()), list.data(),
                    current.empty() ? nullptr : current.c_str());
    batch.add(std::move(response));
}

void Service::select_device(const IssuedRequest &request, const std::vector<std::string> &names,
                            std::string &current, Batch &batch)
{
    // Both set-device records carry just the device name.
    std::string name = text(request_as<sdk_req_aux_set_capture_device_t>(request)->device_name);
    if (!listed(names, name))
        return batch.add(response_to(request, kUnknownDevice, "Unknown device"));
    current = name;
    batch.add(response_to(request));
}

void Service::mic_test_start(const IssuedRequest &request, Batch &batch)
{
    mic_test_stop();
    mic_test_ = true;
    batch.add(response_to(request));
    if (settings_.mic_interval <= 0.0) {
        for (double level : settings_.mic_levels)
            batch.add(mic_level_event(level), 0.0, kMicTag);
        return;
    }
    uint64_t generation = mic_generation_;
    uint64_t to = request.origin;
    scheduler_.at(Clock::now() + seconds(settings_.latency + settings_.mic_interval), kMicTag,
                  [this, generation, to] { mic_tick(generation, to); });
}

void Service::mic_test_stop()
{
    mic_test_ = false;
    ++mic_generation_;
    mic_step_ = 0;
    scheduler_.cancel(kMicTag);
}

// Scheduler's thread, or an issuing thread in Scheduler::run_due.
void Service::mic_tick(uint64_t generation, uint64_t to)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!mic_test_ || generation != mic_generation_)
        return;
    if (!settings_.mic_levels.empty()) {
        double level = settings_.mic_levels[mic_step_++ % settings_.mic_levels.size()];
        if (MessagePtr event = mic_level_event(level))
            deliver_(to, std::move(event));
    }
    // Ticks keep a pace the receiver can follow, whatever was configured.
    double interval = std::max(settings_.mic_interval, 0.01);
    scheduler_.at(Clock::now() + seconds(interval), kMicTag, [this, generation, to] { mic_tick(generation, to); });
}

void Service::key_binding(const IssuedRequest &request, Batch &batch)
{
    auto *binding = request_as<sdk_req_aux_global_monitor_keyboard_mouse_t>(request);
    key_binding_ = text(binding->binding_name);
    int count = std::min(std::max(binding->code_count, 0), 10);
    key_codes_.assign(binding->key_codes, binding->key_codes + count);
    batch.add(response_to(request));
}
}  // namespace service
}  // namespace voicesdk
