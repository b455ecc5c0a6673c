#include "records.h"

#include "../records.h"

#include <cstring>

namespace voicesdk {
namespace wire {
namespace {

template <class T> T &at(void *record, size_t offset)
{
    return *reinterpret_cast<T *>(static_cast<char *>(record) + offset);
}
template <class T> const T &at(const void *record, size_t offset)
{
    return *reinterpret_cast<const T *>(static_cast<const char *>(record) + offset);
}

void put_fields(Writer &writer, const void *record, const sdk_record_info_t &info)
{
    for (int i = 0; i < info.field_count; ++i) {
        const sdk_field_info_t &field = info.fields[i];
        for (int n = 0; n < field.length; ++n) {
            switch (field.kind) {
            case sdk_field_text:
                writer.text(at<char *>(record, field.offset));
                break;
            case sdk_field_int:
            case sdk_field_int_array:
                writer.i32(at<int>(record, field.offset + static_cast<size_t>(n) * sizeof(int)));
                break;
            default:
                writer.f64(at<double>(record, field.offset + static_cast<size_t>(n) * sizeof(double)));
                break;
            }
        }
    }
}

bool read_text(Reader &reader, char *&out)
{
    std::string text;
    bool is_null = false;
    if (!reader.text(text, is_null))
        return false;
    if (is_null)
        return true;
    out = copy_text(text.c_str());
    return out != nullptr;
}

bool get_fields(Reader &reader, void *record, const sdk_record_info_t &info)
{
    for (int i = 0; i < info.field_count; ++i) {
        const sdk_field_info_t &field = info.fields[i];
        for (int n = 0; n < field.length; ++n) {
            bool ok;
            switch (field.kind) {
            case sdk_field_text:
                ok = read_text(reader, at<char *>(record, field.offset));
                break;
            case sdk_field_int:
            case sdk_field_int_array: {
                int32_t value = 0;
                ok = reader.i32(value);
                at<int>(record, field.offset + static_cast<size_t>(n) * sizeof(int)) = value;
                break;
            }
            default:
                ok = reader.f64(at<double>(record, field.offset + static_cast<size_t>(n) * sizeof(double)));
                break;
            }
            if (!ok)
                return false;
        }
    }
    return reader.finished();
}

void mix(uint32_t &hash, const void *data, size_t size)
{
    const auto *bytes = static_cast<const uint8_t *>(data);
    for (size_t i = 0; i < size; ++i) {
        hash ^= bytes[i];
        hash *= 16777619u;
    }
}

void mix_record(uint32_t &hash, const sdk_record_info_t &info)
{
    mix(hash, &info.record_class, sizeof info.record_class);
    mix(hash, &info.type, sizeof info.type);
    for (int i = 0; i < info.field_count; ++i) {
        const sdk_field_info_t &field = info.fields[i];
        mix(hash, field.name, std::strlen(field.name) + 1);
        mix(hash, &field.kind, sizeof field.kind);
        mix(hash, &field.length, sizeof field.length);
    }
}

}  // namespace

uint32_t layout_digest()
{
    static const uint32_t digest = [] {
        uint32_t hash = 2166136261u;
        for (int kind = 0; kind < sdk_request_kind_count; ++kind) {
            mix_record(hash, *request_info(kind));
            mix_record(hash, *response_info(request_info(kind)->type));
        }
#define TW_DIGEST_EVENT(name, etype) mix_record(hash, *event_info(etype));
        SDK_EVENT_KINDS(TW_DIGEST_EVENT)
#undef TW_DIGEST_EVENT
        return hash;
    }();
    return digest;
}

std::string hello_frame()
{
    Writer writer(FrameType::hello);
    writer.raw(kMagic, sizeof kMagic);
    writer.u16(kVersion);
    writer.u32(layout_digest());
    return writer.finish();
}

std::string request_frame(uint32_t id, const sdk_req_base_t *request)
{
    const sdk_record_info_t &info = *header_of(request)->info;
    Writer writer(FrameType::request);
    writer.u32(id);
    writer.u16(static_cast<uint16_t>(info.type));
    put_fields(writer, request, info);
    return writer.finish();
}

std::string response_frame(uint32_t id, const sdk_resp_base_t *response)
{
    const sdk_record_info_t &info = *header_of(response)->info;
    Writer writer(FrameType::response);
    writer.u32(id);
    writer.u16(static_cast<uint16_t>(response->response_type));
    writer.i32(response->return_code);
    writer.i32(response->status_code);
    writer.text(response->status_text);
    put_fields(writer, response, info);
    return writer.finish();
}

std::string event_frame(const sdk_evt_base_t *event)
{
    Writer writer(FrameType::event);
    writer.u16(static_cast<uint16_t>(event->event_type));
    put_fields(writer, event, *header_of(event)->info);
    return writer.finish();
}

sdk_req_base_t *read_request(Reader &reader)
{
    uint16_t type;
    if (!reader.u16(type))
        return nullptr;
    const sdk_record_info_t *info = response_info(type);
    if (info->kind < 0)
        return nullptr;
    sdk_req_base_t *request = make_request(info->kind);
    if (!request)
        return nullptr;
    if (!get_fields(reader, request, *request_info(info->kind))) {
        release_request(request);
        return nullptr;
    }
    return request;
}

sdk_resp_base_t *read_response(Reader &reader, sdk_req_base_t *request)
{
    uint16_t type;
    int32_t return_code, status_code;
    if (!reader.u16(type) || !reader.i32(return_code) || !reader.i32(status_code))
        return nullptr;
    const sdk_record_info_t *info = response_info(type);
    if (info->kind < 0 || (request && header_of(request)->info->kind != info->kind))
        return nullptr;
    sdk_resp_base_t *response = make_response(type, request);
    if (!response)
        return nullptr;
    response->return_code = return_code;
    response->status_code = status_code;
    if (!read_text(reader, response->status_text) || !get_fields(reader, response, *info)) {
        release_message(&response->message);
        return nullptr;
    }
    return response;
}

sdk_evt_base_t *read_event(Reader &reader)
{
    uint16_t type;
    if (!reader.u16(type))
        return nullptr;
    const sdk_record_info_t *info = event_info(type);
    if (info->type < 0)
        return nullptr;
    sdk_evt_base_t *event = make_event(type);
    if (!event)
        return nullptr;
    if (!get_fields(reader, event, *info)) {
        release_message(&event->message);
        return nullptr;
    }
    return event;
}

char **text_field(void *record, const char *name)
{
    const sdk_record_info_t &info = *header_of(record)->info;
    for (int i = 0; i < info.field_count; ++i)
        if (info.fields[i].kind == sdk_field_text && std::strcmp(info.fields[i].name, name) == 0)
            return &at<char *>(record, info.fields[i].offset);
    return nullptr;
}

}  // namespace wire
}  // namespace voicesdk
