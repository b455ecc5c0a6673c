#include "module/owner_process.h"

#include "bridge/errors.h"
#include "bridge/messages.h"
#include "module/connector.h"

namespace talkwire {

bool check_owner_process(PyObject *self)
{
    if (connector_of(self).in_owner_process())
        return true;
    raise_runtime_error(msg::kConnectorOfAnotherProcess);
    return false;
}

}  // namespace talkwire
