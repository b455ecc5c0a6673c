#ifndef TALKWIRE_MODULE_CONNECTOR_TYPE_H
#define TALKWIRE_MODULE_CONNECTOR_TYPE_H

#include "pycompat/pycompat.h"

namespace talkwire {

// Readies the static type "_talkwire.Connector"; null with an error set on
// failure.  Borrowed reference: the type object is never freed.
PyTypeObject *ready_connector_type();

}  // namespace talkwire

#endif
