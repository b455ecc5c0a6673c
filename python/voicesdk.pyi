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

# Message kinds, for message().
MESSAGE_EVENT: int
MESSAGE_RESPONSE: int

# Response types, for respond_to() and in what the module receives.
RESPONSE_ACCOUNT_CHANNEL_CREATE: int
RESPONSE_ACCOUNT_LOGIN: int
RESPONSE_ACCOUNT_LOGOUT: int
RESPONSE_AUX_CAPTURE_AUDIO_START: int
RESPONSE_AUX_CAPTURE_AUDIO_STOP: int
RESPONSE_AUX_CONNECTIVITY_INFO: int
RESPONSE_AUX_CREATE_ACCOUNT: int
RESPONSE_AUX_GET_CAPTURE_DEVICES: int
RESPONSE_AUX_GET_MIC_LEVEL: int
RESPONSE_AUX_GET_RENDER_DEVICES: int
RESPONSE_AUX_GET_SPEAKER_LEVEL: int
RESPONSE_AUX_GLOBAL_MONITOR_KEYBOARD_MOUSE: int
RESPONSE_AUX_SET_CAPTURE_DEVICE: int
RESPONSE_AUX_SET_MIC_LEVEL: int
RESPONSE_AUX_SET_RENDER_DEVICE: int
RESPONSE_AUX_SET_SPEAKER_LEVEL: int
RESPONSE_CHANNEL_MUTE_ALL_USERS: int
RESPONSE_CHANNEL_MUTE_USER: int
RESPONSE_CONNECTOR_CREATE: int
RESPONSE_CONNECTOR_INITIATE_SHUTDOWN: int
RESPONSE_CONNECTOR_MUTE_LOCAL_MIC: int
RESPONSE_CONNECTOR_MUTE_LOCAL_SPEAKER: int
RESPONSE_CONNECTOR_SET_LOCAL_MIC_VOLUME: int
RESPONSE_CONNECTOR_SET_LOCAL_SPEAKER_VOLUME: int
RESPONSE_SESSIONGROUP_ADD_SESSION: int
RESPONSE_SESSIONGROUP_CREATE: int
RESPONSE_SESSIONGROUP_REMOVE_SESSION: int
RESPONSE_SESSIONGROUP_SET_TX_NO_SESSION: int
RESPONSE_SESSIONGROUP_SET_TX_SESSION: int
RESPONSE_SESSION_CREATE: int
RESPONSE_SESSION_MUTE_LOCAL_SPEAKER: int
RESPONSE_SESSION_SET_3D_POSITION: int
RESPONSE_SESSION_SET_LOCAL_SPEAKER_VOLUME: int
RESPONSE_SESSION_SET_PARTICIPANT_MUTE_FOR_ME: int
RESPONSE_SESSION_SET_PARTICIPANT_VOLUME_FOR_ME: int

# Event types, for event() and event_burst().
EVENT_ACCOUNT_LOGIN_STATE_CHANGE: int
EVENT_ACCOUNT_LOGIN_STATUS: int
EVENT_AUX_AUDIO_PROPERTIES: int
EVENT_KEYBOARD_MOUSE: int
EVENT_MEDIA_STREAM_UPDATED: int
EVENT_PARTICIPANT_ADDED: int
EVENT_PARTICIPANT_PROPERTIES: int
EVENT_PARTICIPANT_REMOVED: int
EVENT_PARTICIPANT_STATE_CHANGE: int
EVENT_PARTICIPANT_UPDATED: int
EVENT_SESSION_STATE_CHANGE: int

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
# Connectors created from now on talk to the local voice server at
# "host:port" ("": to none); None follows VOICESDK_SERVER again.
def use_server(address: Optional[str]) -> None: ...
def server_protocol() -> Tuple[int, int]: ...  # (version, layout digest)

# Recorded requests and scripted answers.
def requests() -> List[_Request]: ...
def clear_requests() -> None: ...
def request_total() -> int: ...  # issued since the last clear, those no longer kept included
def request_limit(limit: Optional[int] = None) -> int: ...  # how many are kept
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
def windows() -> int: ...

# Faults.
def fail_strdup(count: int = 1) -> None: ...
def fault(name: str, count: int = 1, error: int = 0) -> None: ...
def fault_clear() -> None: ...

# The floor of a synchronous round trip, for the benchmarks.
def wake_round_trips(count: int, /) -> List[float]: ...
