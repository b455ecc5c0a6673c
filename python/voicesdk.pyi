# Type stub of voicesdk, the control module of the voice SDK stand-in: it
# scripts the SDK (recorded requests, answers, events, faults) and runs its
# simulated voice service.  A development and test tool: programs that use
# talkwire do not need it.
from typing import Any, Dict, List, Mapping, Optional, Tuple, TypedDict, Union

class _Request(TypedDict):
    kind: str  # the create function's name without sdk_req_ and _create
    cookie: Optional[str]
    sync: bool
    accepted: bool
    fields: List[Tuple[str, object]]  # in record order; strings never written are None

class _Live(TypedDict):
    requests: int
    responses: int
    events: int

# fault() works (platform calls can be made to fail) only where the platform
# layer is the stand-in's own: not on Windows.
PLATFORM_FAULTS: int

# Modes and the simulated voice service.
def reset() -> None: ...
def mode(name: str) -> None: ...  # "scripted" or "service"
def service(
    *,
    latency: float = ...,
    accounts: Union[None, Mapping[str, Optional[str]], List[str]] = ...,
    peers: List[str] = ...,
    channel_peers: Optional[Mapping[str, List[str]]] = ...,
    peer_interval: float = ...,
    talk_rounds: int = ...,
    peers_leave: bool = ...,
    capture_devices: List[str] = ...,
    render_devices: List[str] = ...,
    mic_levels: List[float] = ...,
    mic_interval: float = ...,
    failing_test: Union[None, int, Tuple[int, int], Tuple[int, int, str]] = ...,
) -> Dict[str, Any]: ...  # every setting, after the change
def service_state() -> Dict[str, Any]: ...
def settle(timeout: float = 5.0) -> bool: ...

# Recorded requests and scripted answers.
def requests() -> List[_Request]: ...
def clear_requests() -> None: ...
def refuse(code: int, count: int = 1) -> None: ...
def answer(
    kind: str,
    return_code: int = 0,
    status_code: int = 0,
    status_text: Optional[str] = None,
    once: bool = False,
    **results: object,
) -> None: ...
def respond(
    which: Union[int, str],  # index in requests() or cookie
    return_code: int = 0,
    status_code: int = 0,
    status_text: Optional[str] = None,
    **results: object,
) -> None: ...
def respond_to(
    response_type: int,
    request_kind: str,
    request_fields: Mapping[str, object],
    return_code: int = 0,
    status_code: int = 0,
    status_text: Optional[str] = None,
    **results: object,
) -> None: ...
def event(event_type: int, **fields: object) -> None: ...
def event_burst(count: int, event_type: int, **fields: object) -> None: ...
def message(message_type: int) -> None: ...

# Delivery, the pump and leak checks.
def flush(timeout: float = 5.0) -> bool: ...
def post_quit(thread_id: int = 0, /) -> None: ...  # 0: the calling thread
def thread_id() -> int: ...
def live() -> _Live: ...
def handlers() -> int: ...

# Faults.
def fail_strdup(count: int = 1) -> None: ...
def fault(name: str, count: int = 1, error: int = 0) -> None: ...
def fault_clear() -> None: ...

# The floor of a synchronous round trip, for the benchmarks.
def wake_round_trips(count: int, /) -> List[float]: ...
