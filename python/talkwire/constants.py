"""Named values of the talkwire protocol: error codes, status codes, login and
channel states, troubleshooter outcomes and scales."""

# Error codes of the exceptions Connector methods raise (OSError on most
# hosts, WindowsError on Windows): error.args[0] and error.winerror hold the
# code as a signed 32-bit number, error.filename the message.  A code not
# listed here is the SDK's own: the result of issuing a request it refused,
# or the status code of a synchronous request that failed.
E_NOTIMPL = -2147467263     # 0x80004001: a retired method
E_FAIL = -2147467259        # 0x80004005: a precondition is not met, or a wait failed
E_INVALIDARG = -2147024809  # 0x80070057: an argument value was rejected

# Status codes the listener may receive.
STATUS_ACCOUNT_NOT_FOUND = 20200  # the account does not exist (OnAccountNotFound)

# Login states as OnLoggedIn reports them.
LOGGED_OUT = 0
LOGGING_IN = 1
LOGGED_IN = 2
LOGGING_OUT = 3

# States of a joined channel, in the connector's own bookkeeping:
# ChannelJoinInProgressCount counts the channels in every state but IDLE.
CHANNEL_CREATED = 1     # the channel exists; its session waits to be placed
CHANNEL_CONNECTING = 2  # its session is being added
CHANNEL_CONNECTED = 3   # its session is connected: OnJoinedChannel was called
CHANNEL_LEAVING = 4     # LeaveChannel asked for its session to be removed
CHANNEL_IDLE = 5        # JoinChannelEx asked for it; the channel is not created yet

# First argument of OnConnectivityTroubleShooterErrorFound.  Any other value
# is the status code with which the whole troubleshooting request failed.
TROUBLESHOOTER_ALL_PASSED = -1
TROUBLESHOOTER_TEST_FAILED = 0

# Names of the connectivity tests, by test type.
CONNECTIVITY_TESTS = (
    "Locate Interface",
    "Ping Gateway",
    "Test DNS",
    "Test STUN",
    "Test Echo",
    "Test Echo SIP First Port",
    "Test Echo First Port Invite Request",
    "Test Echo First Port Invite Response",
    "Test Echo First Port Register Request",
    "Test Echo First Port Register Response",
    "Test Echo SIP Second Port",
    "Test Echo Second Port Invite Request",
    "Test Echo Second Port Invite Response",
    "Test Echo Second Port Register Request",
    "Test Echo Second Port Register Response",
    "Test Echo Media",
    "Test Media Large Packet",
)

# Volumes: microphone, speaker, channel and participant volumes run from 0
# to VOLUME_MAX (the SDK's level 100).
VOLUME_MAX = 32000

# OnMicrophoneIntensityEvent levels run from MIC_LEVEL_MIN to MIC_LEVEL_MAX.
MIC_LEVEL_MIN = 0
MIC_LEVEL_MAX = 100

# EnableGlobalPushToTalkMode takes at most this many (name, key code) entries.
MAX_KEY_BINDINGS = 10
