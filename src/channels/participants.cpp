// GetParticipants: the channel's participants in URI order.
#include "bridge/error_codes.h"
#include "bridge/messages.h"
#include "module/args.h"
#include "module/entry.h"
#include "module/methods.h"

#include <vector>

namespace talkwire {
namespace {

OwnedRef participant_tuple(const Participant &participant)
{
    OwnedRef uri = OwnedRef::steal(check(py::text(participant.uri)));
    OwnedRef flag_a = OwnedRef::steal(check(py::integer(participant.flag_a ? 1 : 0)));
    OwnedRef flag_b = OwnedRef::steal(check(py::integer(participant.flag_b ? 1 : 0)));
    return OwnedRef::steal(check(PyTuple_Pack(3, uri.get(), flag_a.get(), flag_b.get())));
}

}  // namespace

PyObject *Connector_GetParticipants(PyObject *self, CallArgs args)
{
    std::string name;
    if (!args::parse(args, "s:GetParticipants", &name))
        return nullptr;
    return method_entry(self, [&](Connector &connector) {
        if (name.empty())
            throw_error(kErrorInvalidArg, msg::kInvalidChannelName);
        // Copied out first: building Python objects may run arbitrary code
        // (a collection, a finalizer) that leaves the channel.
        std::vector<Participant> participants;
        if (const Channel *channel = connector.registry.find_channel(name)) {
            participants.reserve(channel->participants.size());
            for (const auto &entry : channel->participants)
                participants.push_back(entry.second);
        }
        OwnedRef list = OwnedRef::steal(check(PyList_New(0)));
        for (const Participant &participant : participants) {
            // A tuple that cannot be built fails the call rather than
            // shortening the list unnoticed.
            OwnedRef tuple = participant_tuple(participant);
            if (PyList_Append(list.get(), tuple.get()) < 0)
                throw PyErrOccurred();
        }
        return list.release();
    });
}

}  // namespace talkwire
