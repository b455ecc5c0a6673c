// RAII owner of an SDK request that has not been issued yet.  A request is
// either handed to sdk_issue_request (which owns it from then on, accepted or
// refused) or released with destroy_req when its owner goes away.
#ifndef TALKWIRE_BRIDGE_SDK_REQUEST_H
#define TALKWIRE_BRIDGE_SDK_REQUEST_H

#include "bridge/cookie_counter.h"
#include "voicesdk/voicesdk.h"

#include <new>
#include <string>
#include <utility>

namespace talkwire {

template <class Record>
class Request {
public:
    using CreateFunction = Record *(*)();

    // Creates the record and gives it the next cookie, before any other
    // field is written.
    static Request create(CreateFunction create_record, CookieCounter &cookies)
    {
        Request request = create_without_cookie(create_record);
        request.take_cookie(cookies);
        return request;
    }

    // Throws std::bad_alloc when the SDK cannot make the record.
    static Request create_without_cookie(CreateFunction create_record)
    {
        Record *record = create_record();
        if (!record)
            throw std::bad_alloc();
        return Request(record);
    }

    Request(Request &&other) noexcept
        : record_(std::exchange(other.record_, nullptr)), complete_(other.complete_) {}
    Request &operator=(Request &&other) noexcept
    {
        Request(std::move(other)).swap(*this);
        return *this;
    }
    Request(const Request &) = delete;
    Request &operator=(const Request &) = delete;
    ~Request()
    {
        if (record_)
            destroy_req(&record_->base);
    }

    explicit operator bool() const { return record_ != nullptr; }
    Record *operator->() const { return record_; }
    Record *get() const { return record_; }

    void take_cookie(CookieCounter &cookies) { check(record_->base.cookie = cookies.next()); }

    // Stores an SDK-owned copy of `value` in a text field.
    void text(char *Record::*field, const std::string &value)
    {
        check(record_->*field = sdk_strdup(value.c_str()));
    }
    void text(char *Record::*field, const char *value)
    {
        check(record_->*field = sdk_strdup(value));
    }

    // False when the record or one of its copies could not be allocated.
    bool complete() const { return record_ != nullptr && complete_; }

    // Hands the record to the SDK; the SDK owns it whatever the result.
    int issue() { return sdk_issue_request(&release()->base); }

    Record *release() { return std::exchange(record_, nullptr); }

    void swap(Request &other) noexcept
    {
        std::swap(record_, other.record_);
        std::swap(complete_, other.complete_);
    }

private:
    explicit Request(Record *record) : record_(record) {}
    void check(const char *copy) { complete_ = complete_ && copy != nullptr; }

    Record *record_ = nullptr;
    bool complete_ = true;
};

template <class Record>
Request<Record> make_request(Record *(*create_record)(), CookieCounter &cookies)
{
    return Request<Record>::create(create_record, cookies);
}

}  // namespace talkwire

#endif
