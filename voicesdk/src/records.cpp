// Record layouts generated from records.def, and the allocator every record
// goes through.
#include "records.h"

#include "slab.h"

#include <array>
#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>

namespace voicesdk {
namespace {

// Where a response keeps its structured results (zero offsets: none).
struct ExtraLayout {
    size_t count = 0;
    size_t list = 0;
    size_t current = 0;
};

struct Layout {
    sdk_record_info_t info;
    ExtraLayout extra;
};

template <class T, class = void> struct HasTests : std::false_type {};
template <class T> struct HasTests<T, std::void_t<decltype(&T::test_results)>> : std::true_type {};
template <class T, class = void> struct HasDevices : std::false_type {};
template <class T> struct HasDevices<T, std::void_t<decltype(&T::devices)>> : std::true_type {};

template <class T> constexpr int extra_kind()
{
    if constexpr (HasTests<T>::value)
        return sdk_extra_test_results;
    else if constexpr (HasDevices<T>::value)
        return sdk_extra_devices;
    else
        return sdk_extra_none;
}

template <class T> ExtraLayout extra_layout()
{
    ExtraLayout layout;
    if constexpr (HasTests<T>::value) {
        layout.count = offsetof(T, test_count);
        layout.list = offsetof(T, test_results);
    } else if constexpr (HasDevices<T>::value) {
        layout.count = offsetof(T, count);
        layout.list = offsetof(T, devices);
        layout.current = offsetof(T, current_device);
    }
    return layout;
}

#define TW_FIELD(kind, name, n) sdk_field_info_t{#name, kind, offsetof(Rec, name), n},
#define TW_S(name) TW_FIELD(sdk_field_text, name, 1)
#define TW_I(name) TW_FIELD(sdk_field_int, name, 1)
#define TW_D(name) TW_FIELD(sdk_field_double, name, 1)
#define TW_IA(name, n) TW_FIELD(sdk_field_int_array, name, n)
#define TW_DA(name, n) TW_FIELD(sdk_field_double_array, name, n)
#define TW_END sdk_field_info_t{nullptr, 0, 0, 0}
#define TW_COUNT(fields) (static_cast<int>(sizeof(fields) / sizeof(fields[0])) - 1)

#define TW_REQUEST_FIELDS(kind, rtype)                                              \
    namespace req_##kind {                                                          \
    using Rec = sdk_req_##kind##_t;                                                 \
    const sdk_field_info_t fields[] = {SDK_REQ_FIELDS_##kind(TW_S, TW_I, TW_D, TW_IA, TW_DA) TW_END}; \
    }                                                                               \
    namespace resp_##kind {                                                         \
    using Rec = sdk_resp_##kind##_t;                                                \
    const sdk_field_info_t fields[] = {SDK_RESP_FIELDS_##kind(TW_S, TW_I, TW_D, TW_IA, TW_DA) TW_END}; \
    }
SDK_REQUEST_KINDS(TW_REQUEST_FIELDS)
#undef TW_REQUEST_FIELDS

#define TW_EVENT_FIELDS(name, etype)                                                \
    namespace evt_##name {                                                          \
    using Rec = sdk_evt_##name##_t;                                                 \
    const sdk_field_info_t fields[] = {SDK_EVT_FIELDS_##name(TW_S, TW_I, TW_D, TW_IA, TW_DA) TW_END}; \
    }
SDK_EVENT_KINDS(TW_EVENT_FIELDS)
#undef TW_EVENT_FIELDS

const sdk_field_info_t no_fields[] = {TW_END};

const Layout request_layouts[] = {
#define TW_LAYOUT(kind, rtype)                                                      \
    {{#kind, sdk_record_request, sdk_request_##kind, rtype, sizeof(sdk_req_##kind##_t), \
      TW_COUNT(req_##kind::fields), req_##kind::fields, sdk_extra_none}, {}},
    SDK_REQUEST_KINDS(TW_LAYOUT)
#undef TW_LAYOUT
};

const Layout response_layouts[] = {
#define TW_LAYOUT(kind, rtype)                                                      \
    {{#kind, sdk_record_response, sdk_request_##kind, rtype, sizeof(sdk_resp_##kind##_t), \
      TW_COUNT(resp_##kind::fields), resp_##kind::fields,                           \
      extra_kind<sdk_resp_##kind##_t>()}, extra_layout<sdk_resp_##kind##_t>()},
    SDK_REQUEST_KINDS(TW_LAYOUT)
#undef TW_LAYOUT
};

const Layout event_layouts[] = {
#define TW_LAYOUT(name, etype)                                                      \
    {{#name, sdk_record_event, -1, etype, sizeof(sdk_evt_##name##_t),               \
      TW_COUNT(evt_##name::fields), evt_##name::fields, sdk_extra_none}, {}},
    SDK_EVENT_KINDS(TW_LAYOUT)
#undef TW_LAYOUT
};

const Layout response_base_layout = {
    {nullptr, sdk_record_response, -1, -1, sizeof(sdk_resp_base_t), 0, no_fields, sdk_extra_none}, {}};
const Layout event_base_layout = {
    {nullptr, sdk_record_event, -1, -1, sizeof(sdk_evt_base_t), 0, no_fields, sdk_extra_none}, {}};
const Layout message_layout = {
    {nullptr, sdk_record_message, -1, -1, sizeof(sdk_message_base_t), 0, no_fields, sdk_extra_none}, {}};

// Type number -> layout, for the hot path.
template <size_t N> struct TypeIndex {
    std::array<const Layout *, N> slots{};
    template <size_t M> explicit TypeIndex(const Layout (&layouts)[M])
    {
        for (const Layout &layout : layouts)
            if (layout.info.type >= 0 && static_cast<size_t>(layout.info.type) < N)
                slots[static_cast<size_t>(layout.info.type)] = &layout;
    }
    const Layout *find(int type) const
    {
        return type >= 0 && static_cast<size_t>(type) < N ? slots[static_cast<size_t>(type)] : nullptr;
    }
};

constexpr int max_type_of(std::initializer_list<int> types)
{
    int top = 0;
    for (int t : types)
        top = t > top ? t : top;
    return top;
}
#define TW_TYPE(name, type) type,
constexpr size_t response_slots = max_type_of({SDK_REQUEST_KINDS(TW_TYPE)}) + 1;
constexpr size_t event_slots = max_type_of({SDK_EVENT_KINDS(TW_TYPE)}) + 1;
#undef TW_TYPE

const TypeIndex<response_slots> &response_index()
{
    static const TypeIndex<response_slots> index(response_layouts);
    return index;
}
const TypeIndex<event_slots> &event_index()
{
    static const TypeIndex<event_slots> index(event_layouts);
    return index;
}

const Layout *layout_of(const void *record)
{
    // Every info handed out is the first member of a Layout.
    return reinterpret_cast<const Layout *>(header_of(record)->info);
}

template <class T> T &at(void *record, size_t offset)
{
    return *reinterpret_cast<T *>(static_cast<char *>(record) + offset);
}
template <class T> const T &at(const void *record, size_t offset)
{
    return *reinterpret_cast<const T *>(static_cast<const char *>(record) + offset);
}

// A text inside the record's own allocation goes with the record.
void free_text(const void *record, char *text)
{
    const char *start = static_cast<const char *>(record);
    size_t extent = header_of(record)->extent;
    if (extent != 0 && text >= start && text < start + extent)
        return;
    free_record_text(text);
}

// Every text field of a record whose texts are allocations of their own
// (everything but a copy).
void free_texts(void *record, const sdk_record_info_t &info)
{
    const sdk_field_info_t *fields = info.fields;
    for (int i = 0; i < info.field_count; ++i) {
        if (fields[i].kind == sdk_field_text)
            free_record_text(at<char *>(record, fields[i].offset));
    }
}

void free_device(sdk_device_t *device)
{
    if (!device)
        return;
    std::free(device->device_id);
    std::free(device->name);
    std::free(device);
}

void free_test(sdk_connectivity_test_result_t *test)
{
    if (!test)
        return;
    std::free(test->test_info);
    std::free(test);
}

// Lists are null-terminated so they are freed whole even when the count
// field says fewer.
template <class T, class Free> void free_list(T **list, Free free_item)
{
    if (!list)
        return;
    for (T **item = list; *item; ++item)
        free_item(*item);
    std::free(list);
}

void free_extras(void *record, const Layout &layout)
{
    switch (layout.info.extra) {
    case sdk_extra_test_results:
        free_list(at<sdk_connectivity_test_result_t **>(record, layout.extra.list), free_test);
        break;
    case sdk_extra_devices:
        free_list(at<sdk_device_t **>(record, layout.extra.list), free_device);
        free_device(at<sdk_device_t *>(record, layout.extra.current));
        break;
    default:
        break;
    }
}

void discard(RecordHeader *header)
{
    Slab *slab = header->slab;
    header->~RecordHeader();
    if (slab)
        thread_state().arena.release_later(slab);
    else
        std::free(header);
}

LiveClass live_class(int record_class)
{
    switch (record_class) {
    case sdk_record_request: return live_requests;
    case sdk_record_response: return live_responses;
    default: return live_events;
    }
}

sdk_device_t *copy_device(const sdk_device_t *device, bool &ok)
{
    if (!device)
        return nullptr;
    auto *copy = static_cast<sdk_device_t *>(std::calloc(1, sizeof(sdk_device_t)));
    if (!copy) {
        ok = false;
        return nullptr;
    }
    copy->device_id = copy_plain_text(device->device_id);
    copy->name = copy_plain_text(device->name);
    if ((device->device_id && !copy->device_id) || (device->name && !copy->name))
        ok = false;
    return copy;
}

sdk_connectivity_test_result_t *copy_test(const sdk_connectivity_test_result_t *test, bool &ok)
{
    auto *copy = static_cast<sdk_connectivity_test_result_t *>(
        std::calloc(1, sizeof(sdk_connectivity_test_result_t)));
    if (!copy) {
        ok = false;
        return nullptr;
    }
    copy->test_type = test->test_type;
    copy->test_result = test->test_result;
    copy->test_info = copy_plain_text(test->test_info);
    if (test->test_info && !copy->test_info)
        ok = false;
    return copy;
}

template <class T, class Copy> T **copy_list(T *const *list, Copy copy_item, bool &ok)
{
    if (!list)
        return nullptr;
    size_t n = 0;
    while (list[n])
        ++n;
    auto **copy = static_cast<T **>(std::calloc(n + 1, sizeof(T *)));
    if (!copy) {
        ok = false;
        return nullptr;
    }
    // Stops at the first failure so the copy stays null-terminated.
    for (size_t i = 0; i < n && ok; ++i)
        copy[i] = copy_item(list[i], ok);
    return copy;
}

// Bytes that a copy's texts take: the record's text fields and, for a
// response, its status text.
size_t text_bytes(const void *record, const sdk_record_info_t &info, const char *status_text)
{
    size_t bytes = status_text ? std::strlen(status_text) + 1 : 0;
    for (int i = 0; i < info.field_count; ++i) {
        const sdk_field_info_t &field = info.fields[i];
        if (field.kind != sdk_field_text)
            continue;
        if (const char *text = at<char *>(record, field.offset))
            bytes += std::strlen(text) + 1;
    }
    return bytes;
}

// Bytes of a copy: the header, the record and `texts` bytes of text.
size_t copy_bytes(const sdk_record_info_t *info, size_t texts)
{
    return sizeof(RecordHeader) + info->size + texts;
}

// Makes the header and the record of a copy at `memory` (copy_bytes() of
// room); the record's texts still point at the prototype's.
void *construct_copy(void *memory, const sdk_record_info_t *info, const void *prototype, size_t texts)
{
    auto *header = new (memory) RecordHeader;
    header->info = info;
    header->extent = info->size + texts;
    count_live(live_class(info->record_class), 1);
    void *record = static_cast<char *>(memory) + sizeof(RecordHeader);
    std::memcpy(record, prototype, info->size);
    return record;
}

// One allocation for the header, the record and its texts: a copy costs
// one allocation and one release however many texts it has.
void *allocate_copy(const sdk_record_info_t *info, const void *prototype, size_t texts)
{
    void *memory = std::malloc(copy_bytes(info, texts));
    return memory ? construct_copy(memory, info, prototype, texts) : nullptr;
}

// Points a fresh copy's texts (which still point at the prototype's) at
// copies placed after the record.  Returns where the next text would go.
char *place_texts(void *copy, const sdk_record_info_t &info)
{
    char *cursor = static_cast<char *>(copy) + info.size;
    for (int i = 0; i < info.field_count; ++i) {
        const sdk_field_info_t &field = info.fields[i];
        if (field.kind != sdk_field_text)
            continue;
        char *&text = at<char *>(copy, field.offset);
        if (!text)
            continue;
        size_t size = std::strlen(text) + 1;
        std::memcpy(cursor, text, size);
        text = cursor;
        cursor += size;
    }
    return cursor;
}

}  // namespace

const sdk_record_info_t *request_info(int kind)
{
    if (kind < 0 || kind >= sdk_request_kind_count)
        return nullptr;
    return &request_layouts[kind].info;
}

const sdk_record_info_t *response_info(int response_type)
{
    const Layout *layout = response_index().find(response_type);
    return layout ? &layout->info : &response_base_layout.info;
}

const sdk_record_info_t *event_info(int event_type)
{
    const Layout *layout = event_index().find(event_type);
    return layout ? &layout->info : &event_base_layout.info;
}

const sdk_record_info_t *message_info()
{
    return &message_layout.info;
}

char *copy_plain_text(const char *text)
{
    if (!text)
        return nullptr;
    size_t size = std::strlen(text) + 1;
    auto *copy = static_cast<char *>(std::malloc(size));
    if (copy)
        std::memcpy(copy, text, size);
    return copy;
}

// A record text is a piece of the thread's arena with the slab it came
// from (null: malloc) written in front of it.
char *copy_text(const char *text)
{
    if (!text)
        return nullptr;
    size_t size = std::strlen(text) + 1;
    Slab *slab = nullptr;
    auto *piece = static_cast<char *>(thread_state().arena.allocate(sizeof(Slab *) + size, &slab));
    if (!piece)
        return nullptr;
    std::memcpy(piece, &slab, sizeof slab);
    std::memcpy(piece + sizeof slab, text, size);
    return piece + sizeof slab;
}

void free_record_text(char *text)
{
    if (!text)
        return;
    char *piece = text - sizeof(Slab *);
    Slab *slab = nullptr;
    std::memcpy(&slab, piece, sizeof slab);
    release_piece(piece, slab);
}

void *allocate(const sdk_record_info_t *info)
{
    // From the thread's arena; only the record is zeroed (the header is
    // constructed).
    Slab *slab = nullptr;
    void *memory = thread_state().arena.allocate(sizeof(RecordHeader) + info->size, &slab);
    if (!memory)
        return nullptr;
    auto *header = new (memory) RecordHeader;
    header->info = info;
    header->slab = slab;
    void *record = static_cast<char *>(memory) + sizeof(RecordHeader);
    std::memset(record, 0, info->size);
    count_live(live_class(info->record_class), 1);
    return record;
}

sdk_req_base_t *make_request(int kind)
{
    const sdk_record_info_t *info = request_info(kind);
    if (!info)
        return nullptr;
    auto *request = static_cast<sdk_req_base_t *>(allocate(info));
    if (request)
        request->kind = kind;
    return request;
}

sdk_resp_base_t *make_response(int response_type, sdk_req_base_t *request)
{
    auto *response = static_cast<sdk_resp_base_t *>(allocate(response_info(response_type)));
    if (!response)
        return nullptr;
    response->message.message_type = sdk_message_response;
    response->response_type = response_type;
    if (request) {
        retain_request(request);
        response->request = request;
        header_of(response)->request = request;
    }
    return response;
}

sdk_evt_base_t *make_event(int event_type)
{
    auto *event = static_cast<sdk_evt_base_t *>(allocate(event_info(event_type)));
    if (!event)
        return nullptr;
    event->message.message_type = sdk_message_event;
    event->event_type = event_type;
    return event;
}

sdk_message_base_t *make_message(int message_type)
{
    // Types 2 and 3 still get records a receiver may read as such.
    if (message_type == sdk_message_response) {
        sdk_resp_base_t *response = make_response(0, nullptr);
        return response ? &response->message : nullptr;
    }
    if (message_type == sdk_message_event) {
        sdk_evt_base_t *event = make_event(0);
        return event ? &event->message : nullptr;
    }
    auto *message = static_cast<sdk_message_base_t *>(allocate(message_info()));
    if (message)
        message->message_type = message_type;
    return message;
}

void retain_request(sdk_req_base_t *request)
{
    header_of(request)->refs.fetch_add(1, std::memory_order_relaxed);
}

void release_request(sdk_req_base_t *request)
{
    if (!request)
        return;
    RecordHeader *header = header_of(request);
    if (header->refs.fetch_sub(1, std::memory_order_acq_rel) != 1)
        return;
    // live() stopped counting it when it was issued or destroyed.
    free_texts(request, *header->info);
    free_record_text(request->cookie);
    discard(header);
}

void release_message(sdk_message_base_t *message)
{
    if (!message)
        return;
    RecordHeader *header = header_of(message);
    const Layout &layout = *layout_of(message);
    // A copy's texts lie inside its own allocation (every event of a burst
    // is one): there is nothing to free field by field.
    if (header->extent == 0)
        free_texts(message, layout.info);
    if (layout.info.record_class == sdk_record_response) {
        auto *response = reinterpret_cast<sdk_resp_base_t *>(message);
        free_text(message, response->status_text);
        free_extras(message, layout);
        release_request(header->request);
    }
    if (header->counted)
        count_live(live_class(layout.info.record_class), -1);
    discard(header);
}

sdk_resp_base_t *copy_response(const sdk_resp_base_t *prototype, sdk_req_base_t *request)
{
    const Layout &layout = *layout_of(prototype);
    size_t texts = text_bytes(prototype, layout.info, prototype->status_text);
    auto *copy = static_cast<sdk_resp_base_t *>(allocate_copy(&layout.info, prototype, texts));
    if (!copy)
        return nullptr;
    // Nothing of the prototype's may be freed with the copy.
    copy->request = nullptr;
    if (layout.info.extra != sdk_extra_none) {
        at<void *>(copy, layout.extra.list) = nullptr;
        if (layout.extra.current)
            at<void *>(copy, layout.extra.current) = nullptr;
    }
    char *status_text = place_texts(copy, layout.info);
    if (prototype->status_text) {
        std::memcpy(status_text, prototype->status_text, std::strlen(prototype->status_text) + 1);
        copy->status_text = status_text;
    }
    if (request) {
        retain_request(request);
        copy->request = request;
        header_of(copy)->request = request;
    }
    bool ok = true;
    if (layout.info.extra == sdk_extra_test_results) {
        at<sdk_connectivity_test_result_t **>(copy, layout.extra.list) =
            copy_list(at<sdk_connectivity_test_result_t **>(prototype, layout.extra.list), copy_test, ok);
    } else if (layout.info.extra == sdk_extra_devices) {
        at<sdk_device_t **>(copy, layout.extra.list) =
            copy_list(at<sdk_device_t **>(prototype, layout.extra.list), copy_device, ok);
        if (ok)
            at<sdk_device_t *>(copy, layout.extra.current) =
                copy_device(at<sdk_device_t *>(prototype, layout.extra.current), ok);
    }
    if (!ok) {
        release_message(&copy->message);
        return nullptr;
    }
    return copy;
}

sdk_evt_base_t *copy_event(const sdk_evt_base_t *prototype)
{
    const sdk_record_info_t &info = layout_of(prototype)->info;
    auto *copy = static_cast<sdk_evt_base_t *>(allocate_copy(&info, prototype, text_bytes(prototype, info, nullptr)));
    if (!copy)
        return nullptr;
    place_texts(copy, info);
    return copy;
}

bool copy_events(const sdk_evt_base_t *prototype, size_t count, std::vector<sdk_message_base_t *> &out)
{
    // Slabs small enough for the allocator's heap (no mapping per slab),
    // large enough that their allocations are rare.
    constexpr size_t kSlabBytes = 32 * 1024;
    const sdk_record_info_t &info = layout_of(prototype)->info;
    const size_t texts = text_bytes(prototype, info, nullptr);
    const size_t align = alignof(std::max_align_t);
    const size_t stride = (copy_bytes(&info, texts) + align - 1) / align * align;
    const size_t per_slab = stride < kSlabBytes ? kSlabBytes / stride : 1;
    const size_t first = out.size();
    for (size_t made = 0; made < count;) {
        const size_t n = count - made < per_slab ? count - made : per_slab;
        Slab *slab = Slab::make(n, n * stride);
        if (!slab) {
            for (size_t i = first; i < out.size(); ++i)
                release_message(out[i]);
            out.resize(first);
            return false;
        }
        for (size_t i = 0; i < n; ++i) {
            void *record = construct_copy(slab->space() + i * stride, &info, prototype, texts);
            header_of(record)->slab = slab;
            place_texts(record, info);
            out.push_back(&static_cast<sdk_evt_base_t *>(record)->message);
        }
        made += n;
    }
    return true;
}

int set_test_results(sdk_resp_base_t *response, int count, const sdk_connectivity_test_result_t *items)
{
    const Layout &layout = *layout_of(response);
    if (layout.info.extra != sdk_extra_test_results || count < 0)
        return 1;
    auto **list = static_cast<sdk_connectivity_test_result_t **>(
        std::calloc(static_cast<size_t>(count) + 1, sizeof(void *)));
    bool ok = list != nullptr;
    for (int i = 0; ok && i < count; ++i)
        list[i] = copy_test(&items[i], ok);
    if (!ok) {
        free_list(list, free_test);
        return 1;
    }
    free_list(at<sdk_connectivity_test_result_t **>(response, layout.extra.list), free_test);
    at<sdk_connectivity_test_result_t **>(response, layout.extra.list) = list;
    at<int>(response, layout.extra.count) = count;
    return 0;
}

int set_devices(sdk_resp_base_t *response, int count, const char *const *names, const char *current)
{
    const Layout &layout = *layout_of(response);
    if (layout.info.extra != sdk_extra_devices || count < 0)
        return 1;
    auto **list = static_cast<sdk_device_t **>(std::calloc(static_cast<size_t>(count) + 1, sizeof(void *)));
    bool ok = list != nullptr;
    // A device is known by its name; the id repeats it.
    for (int i = 0; ok && i < count; ++i) {
        sdk_device_t device{const_cast<char *>(names[i]), const_cast<char *>(names[i])};
        list[i] = copy_device(&device, ok);
    }
    sdk_device_t *current_copy = nullptr;
    if (ok && current) {
        sdk_device_t device{const_cast<char *>(current), const_cast<char *>(current)};
        current_copy = copy_device(&device, ok);
    }
    if (!ok) {
        free_list(list, free_device);
        free_device(current_copy);
        return 1;
    }
    free_list(at<sdk_device_t **>(response, layout.extra.list), free_device);
    free_device(at<sdk_device_t *>(response, layout.extra.current));
    at<sdk_device_t **>(response, layout.extra.list) = list;
    at<sdk_device_t *>(response, layout.extra.current) = current_copy;
    at<int>(response, layout.extra.count) = count;
    return 0;
}

}  // namespace voicesdk
